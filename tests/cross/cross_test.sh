#!/usr/bin/env bash
# The 32-bit host driving the 64-bit worker beside it, for real: image formats, status, validation
# through the worker with the log replayed, sizes above 4 GiB, a missing worker, and either side
# killed during a request; mail through the worker to a real SMTP server on 127.0.0.1.
# Usage: cross_test.sh BIN_DIR MAPI64 SOURCE_DIR (the 32-bit build's bin/, the shipped 64-bit mail
# client library, the source tree).
set -uo pipefail
bin=$(cd "$1" && pwd)
mapi64=$2
src=$(cd "$3" && pwd)
work=$(mktemp -d)
trap 'kill -9 ${host:-} ${wpid:-} ${smtp:-} 2>/dev/null; rm -rf "$work"' EXIT
export VX64_DIALOGS=none VX64_DEBUG_LOG=none
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
ok() { echo "ok: $*"; }
now_ms() { echo $(($(date +%s%N) / 1000000)); }
# Ended, or a zombie waiting to be reaped.
gone() { [ ! -e "/proc/$1" ] || grep -q '^[0-9]* ([^)]*) Z' "/proc/$1/stat" 2>/dev/null; }
worker_of() {
  local p
  for _ in $(seq 500); do
    p=$(pgrep -P "$1" 2>/dev/null | head -n1)
    [ -n "$p" ] && { echo "$p"; return 0; }
    sleep 0.01
  done
  return 1
}

# The images: a 32-bit host, a 64-bit worker.
file -L "$bin/vxhost" | grep -q 'ELF 32-bit LSB .*Intel 80386' && ok "vxhost is ELF32 i386" ||
  fail "vxhost: $(file -L "$bin/vxhost")"
file -L "$bin/vx64BWorker" | grep -q 'ELF 64-bit LSB .*x86-64' && ok "vx64BWorker is ELF64 x86-64" ||
  fail "vx64BWorker: $(file -L "$bin/vx64BWorker")"

cd "$work"
"$bin/vxhost" --help | grep -q 'każdy plik w procesie vx64BWorker' &&
  ok "help names the 32-bit host's mode" || fail "help: $("$bin/vxhost" --help | grep -A2 'bez opcji')"
out=$("$bin/vxhost" status)
[ "$out" = READY ] && ok "status READY" || fail "status: $out"

# Without a mode flag the 32-bit host on the 64-bit kernel hands every file to the worker; the
# worker's log lines come back and are replayed.
printf '<root/>' >good.xml
printf '<root><a></root>' >bad.xml
out=$("$bin/vxhost" validate -v good.xml 2>log); rc=$?
if [ "$out" = OK ] && [ $rc -eq 0 ] && grep -qx 'Walidacja XML: W trybie 64-bit.' log &&
   grep -qx 'Walidacja XML: Stworzono obiekt XSD - OK.' log && ! grep -q 'W trybie 32-bit' log; then
  ok "valid file through the worker"
else
  fail "valid file: rc=$rc out=$out"; cat log
fi
out=$("$bin/vxhost" validate -v bad.xml 2>log); rc=$?
if [ "$out" = "Opening and ending tag mismatch: a line 1 and root" ] && [ $rc -eq 1 ] &&
   grep -qx 'Walidacja XML: W trybie 64-bit.' log &&
   grep -qx 'Walidacja XML: Sprawdzenia pliku XML wględem poprawności jego struktury - Koniec.' log; then
  ok "invalid file through the worker"
else
  fail "invalid file: rc=$rc out=$out"; cat log
fi

# Sizes and time in the 32-bit process are 64-bit wide.
truncate -s 5G big5g.xml
out=$("$bin/vx_cross_probe" big5g.xml)
grep -q 'pointer=32 time_t=64 off_t=64 wow64=1' <<<"$out" && grep -qx 'size=5368709120' <<<"$out" &&
  ok "32-bit host: 64-bit time and offsets, IsWow64Process, 5 GiB size" || fail "probe: $out"

# No worker beside the host: validated in this process.
mkdir alone && cp "$bin/vxhost" alone/
out=$(cd alone && ./vxhost validate -v ../good.xml 2>../log); rc=$?
if [ "$out" = OK ] && grep -qx 'Walidacja XML: W trybie 32-bit.' log && ! grep -q 'W trybie 64-bit' log; then
  ok "missing worker: in-process"
else
  fail "missing worker: rc=$rc out=$out"; cat log
fi

# A request the worker needs a while for: a large well-formed document.
/usr/bin/python3 - <<'PY'
with open("long.xml", "w") as f:
    f.write("<root>")
    row = "<a b='1'>" + "x" * 40 + "</a>" * 1 + "\n"
    f.write(row * 3_000_000)
    f.write("</root>")
PY

# The host killed with SIGKILL during the request: the worker ends by itself (the wait below only
# guards against a hang; how soon it ends is measured by bench/link, not asserted here).
{ "$bin/vxhost" validate long.xml >/dev/null 2>&1 & } 2>/dev/null
host=$!
if wpid=$(worker_of $host); then
  sleep 0.3
  if gone "$wpid"; then
    fail "host kill: the worker ended before the host was killed (file too small?)"
  else
    kill -9 $host
    t0=$(now_ms)
    while ! gone "$wpid" && [ $(($(now_ms) - t0)) -lt 5000 ]; do sleep 0.002; done
    took=$(($(now_ms) - t0))
    gone "$wpid" && ok "host killed: worker ended in $took ms" ||
      fail "host killed: worker still there after $took ms"
  fi
else
  fail "host kill: no worker started"
fi
wait $host 2>/dev/null  # the killed host's status is not of interest
kill -9 "$wpid" 2>/dev/null

# The worker killed during the request: the host logs the worker's failure and ends with the
# failure text; it does not validate the file itself after a worker that died.
"$bin/vxhost" validate -v long.xml >out 2>log &
host=$!
if wpid=$(worker_of $host); then
  sleep 0.3
  kill -9 "$wpid"
  t0=$(now_ms)
  while ! grep -qx 'Walidacja XML: W trybie 64-bit brak odpowiedzi procesu vx64BWorker.' log &&
        [ $(($(now_ms) - t0)) -lt 5000 ]; do sleep 0.002; done
  took=$(($(now_ms) - t0))
  wait $host; rc=$?
  if grep -qx 'Walidacja XML: W trybie 64-bit brak odpowiedzi procesu vx64BWorker.' log &&
     [ $rc -eq 3 ] && ! grep -qx 'Walidacja XML: W trybie 32-bit.' log; then
    ok "worker killed: host reported the failure in $took ms (exit $rc), no in-process run"
  else
    fail "worker killed: no failure line after $took ms (exit $rc): $(cat out)"
    cat log
  fi
else
  fail "worker kill: no worker started"
fi

# Mail: the registered client library is the shipped 64-bit one, which the 32-bit host cannot
# load; it hands the message to the worker, which sends it to the SMTP server.
file -L "$mapi64" | grep -q 'ELF 64-bit LSB .*x86-64' && ok "mail library is ELF64 x86-64" ||
  fail "mail library: $(file -L "$mapi64")"
register() {
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail]\r\n@="vx64"\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Clients\\Mail\\vx64]\r\n@="vx64 mail"\r\n"DLLPath"="%s"\r\n' \
    "$1" >"$work/machine.reg"
}
register "$mapi64"
export VX64_REGISTRY_HKLM="$work/machine.reg" VX64_REGISTRY_HKCU="$work/user.reg"
export XDG_CONFIG_HOME="$work/config" LC_ALL=C.UTF-8
mkdir -p "$work/spool" "$XDG_CONFIG_HOME/vx64"
/usr/bin/python3 "$src/tests/mapi/smtp_server.py" --spool "$work/spool" >"$work/smtp.out" 2>"$work/smtp.err" &
smtp=$!
for _ in $(seq 500); do grep -q '^READY' "$work/smtp.out" && break; sleep 0.02; done
port=$(awk '/^READY/ {print $2}' "$work/smtp.out")
printf '[mail]\nserver = smtp://127.0.0.1:%s\nfrom = Biuro <biuro@example.pl>\n' "$port" >"$XDG_CONFIG_HOME/vx64/mail.conf"
chmod 600 "$XDG_CONFIG_HOME/vx64/mail.conf"
head -c 70000 /dev/urandom >"dane ż.bin"
"$bin/vxhost" mail --to "lukasz@example.pl" --subject "Faktura – zażółć gęślą jaźń" \
  --body "Dzień dobry" --attach "$work/dane ż.bin" >out 2>err; rc=$?
eml=$(ls "$work"/spool/*.eml 2>/dev/null | head -n1)
if [ $rc -eq 0 ] && [ ! -s err ] && [ -n "$eml" ] && /usr/bin/python3 - "$eml" "$work/dane ż.bin" <<'PY'
import email, sys
from email import policy
m = email.message_from_binary_file(open(sys.argv[1], "rb"), policy=policy.default)
parts = list(m.iter_attachments())
ok = (m["subject"] == "Faktura – zażółć gęślą jaźń" and len(parts) == 1
      and parts[0].get_filename() == "dane ż.bin"
      and parts[0].get_content() == open(sys.argv[2], "rb").read()
      and "Dzień dobry" in m.get_body(("plain",)).get_content())
sys.exit(0 if ok else 1)
PY
then
  ok "mail from the 32-bit host through the worker: attachment byte for byte, Polish letters"
else
  fail "mail: rc=$rc $(cat err) eml=${eml:-none}"
fi
# The failure texts come back to the 32-bit host's error hook.
"$bin/vxhost" mail --to a@example.pl --attach "$work/brak.bin" >out 2>err; rc=$?
[ $rc -eq 1 ] && grep -q 'Błąd MAPI (11) "Załącznik nie został odnaleziony"' err &&
  ok "missing attachment: Błąd MAPI (11) at the host" || fail "missing attachment: rc=$rc $(cat err)"
"$bin/vxhost" mail --subject "bez adresata" >out 2>err; rc=$?
[ $rc -eq 1 ] && grep -q 'Błąd MAPI (25) "Niepoprawni adresaci"' err &&
  ok "no recipients: Błąd MAPI (25) at the host" || fail "no recipients: rc=$rc $(cat err)"
# A 32-bit client library: the 32-bit host could load it, but the 64-bit worker cannot and says so
# (no further worker).
gcc -m32 -shared -fPIC -fvisibility=hidden -I"$src/src" -o "$work/client32.so" \
  "$src/tests/mail/clients/recording_client.c"
register "$work/client32.so"
"$bin/vxhost" mail --worker --to a@example.pl >out 2>err; rc=$?
[ $rc -eq 1 ] && grep -q "nie można załadować w procesie vx64BWorker" err &&
  ok "32-bit client library refused by the worker" || fail "32-bit library: rc=$rc $(cat err)"

[ $failures -eq 0 ] && echo "all cross-architecture checks passed" || echo "$failures failed"
[ $failures -eq 0 ]
