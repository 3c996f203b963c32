# Shared by the install and package tests: a scratch folder, a local server for the bundled
# samples' schemas, and a quiet, hermetic environment for the programs.
set -euo pipefail
work=$(mktemp -d)
server=
smtp=
cleanup() {
  for pid in $server $smtp; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# Serves samples/www from 127.0.0.1 and sends the samples' schema host there.
serve_samples() {
  /usr/bin/python3 "$src/samples/serve.py" >"$work/port" &
  server=$!
  for _ in $(seq 200); do [ -s "$work/port" ] && break; sleep 0.05; done
  [ -s "$work/port" ] || fail "the sample server did not start"
  export VX64_CONNECT_TO="wzory.vx64.test:80:127.0.0.1:$(head -n1 "$work/port")"
}

# Starts the SMTP sink of the mail tests on 127.0.0.1 (messages land in $work/spool as <n>.eml
# and <n>.env) and sets smtp_port.
start_smtp_sink() {
  mkdir -p "$work/spool"
  /usr/bin/python3 "$src/tests/mapi/smtp_server.py" --spool "$work/spool" >"$work/smtp.out" 2>"$work/smtp.err" &
  smtp=$!
  for _ in $(seq 500); do grep -q '^READY' "$work/smtp.out" && break; sleep 0.02; done
  grep -q '^READY' "$work/smtp.out" || fail "the SMTP sink did not start: $(cat "$work/smtp.err")"
  smtp_port=$(awk '/^READY/ {print $2}' "$work/smtp.out")
}

export VX64_XSD_MAP="$work/xsd_map.ini"
export VX64_DIALOGS=none
export VX64_DEBUG_LOG=none
# The user's folders are the test's own; the registry is the installed one.
export XDG_CONFIG_HOME="$work/config" XDG_CACHE_HOME="$work/cache"
unset VX64_WORKER VX64_REGISTRY_HKLM VX64_REGISTRY_HKCU

# expect_run EXPECTED_EXIT EXPECTED_OUTPUT_PATTERN COMMAND...: runs in $work, checks both.
expect_run() {
  local want=$1 pattern=$2 rc=0 out
  shift 2
  out=$(cd "$work" && "$@" 2>"$work/stderr") || rc=$?
  [ "$rc" -eq "$want" ] || fail "$* exited $rc, expected $want: $out $(cat "$work/stderr")"
  grep -Eq -- "$pattern" <<<"$out" || fail "$* printed \"$out\", expected /$pattern/"
}
