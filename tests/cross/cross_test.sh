#!/usr/bin/env bash
# The 32-bit host driving the 64-bit worker beside it, for real: image formats, status, validation
# through the worker with the log replayed, sizes above 4 GiB, a missing worker, and either side
# killed during a request. Usage: cross_test.sh BIN_DIR (the 32-bit build's bin/).
set -uo pipefail
bin=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'kill -9 ${host:-} ${wpid:-} 2>/dev/null; rm -rf "$work"' EXIT
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

# The host killed with SIGKILL during the request: the worker ends within 100 ms.
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
    gone "$wpid" && [ $took -lt 100 ] && ok "host killed: worker ended in $took ms" ||
      fail "host killed: worker still there after $took ms"
  fi
else
  fail "host kill: no worker started"
fi
wait $host 2>/dev/null  # the killed host's status is not of interest
kill -9 "$wpid" 2>/dev/null

# The worker killed during the request: within 1 s the host logs the worker's failure and ends
# with the failure text; it does not validate the file itself after a worker that died.
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
  if [ $took -lt 1000 ] && [ $rc -eq 3 ] && ! grep -qx 'Walidacja XML: W trybie 32-bit.' log; then
    ok "worker killed: host reported the failure in $took ms (exit $rc), no in-process run"
  else
    fail "worker killed: no failure line after $took ms (exit $rc): $(cat out)"
    cat log
  fi
else
  fail "worker kill: no worker started"
fi

[ $failures -eq 0 ] && echo "all cross-architecture checks passed" || echo "$failures failed"
[ $failures -eq 0 ]
