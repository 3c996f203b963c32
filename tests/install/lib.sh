# Shared by the install and package tests: a scratch folder, a local server for the bundled
# samples' schemas, and a quiet, hermetic environment for the programs.
set -euo pipefail
work=$(mktemp -d)
server=
cleanup() {
  if [ -n "$server" ]; then kill "$server" 2>/dev/null || true; fi
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

export VX64_XSD_MAP="$work/xsd_map.ini"
export VX64_DIALOGS=none
export VX64_DEBUG_LOG=none
unset VX64_WORKER

# expect_run EXPECTED_EXIT EXPECTED_OUTPUT_PATTERN COMMAND...: runs in $work, checks both.
expect_run() {
  local want=$1 pattern=$2 rc=0 out
  shift 2
  out=$(cd "$work" && "$@" 2>"$work/stderr") || rc=$?
  [ "$rc" -eq "$want" ] || fail "$* exited $rc, expected $want: $out $(cat "$work/stderr")"
  grep -Eq -- "$pattern" <<<"$out" || fail "$* printed \"$out\", expected /$pattern/"
}
