#!/bin/bash
# Run by clean_root_test.sh inside the clean Debian root, as an ordinary user, after the packages
# were installed with apt: the programs, mail through the packaged mail library, and the example
# application built against vx64-dev four ways. Nothing names the worker or the registry: the
# installed files must be found as installed. Every step runs; the failures are counted.
# Environment: VX64_CONNECT_TO (the samples' schema server), SMTP_PORT (the mail sink).
set -u
cd "$HOME"
failures=0
problem() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
# expect EXIT PATTERN COMMAND...: the exit code and a line of the output (stdout and stderr).
expect() {
  local want=$1 pattern=$2 rc=0 out
  shift 2
  out=$("$@" 2>&1 </dev/null) || rc=$?
  if [ "$rc" -ne "$want" ]; then
    problem "$* exited $rc, expected $want: $out"
  elif ! grep -Eq -- "$pattern" <<<"$out"; then
    problem "$* printed \"$out\", expected /$pattern/"
  else
    echo "ok: $*"
  fi
}

expect 0 '^READY$' vxhost status
expect 0 '^OK$' vxhost validate samples/faktura_poprawna.xml
expect 0 '^OK$' vxhost validate --worker samples/faktura_poprawna.xml
expect 1 "NIP'.*pattern" vxhost validate --worker samples/faktura_bledna.xml
expect 1 "NIP'.*pattern" vxhost validate samples/faktura_bledna.xml

# Mail through the packaged library (the machine registry names it) to the sink outside the root.
mkdir -p .config/vx64
printf '[mail]\nserver = smtp://127.0.0.1:%s\nfrom = tester@vx64.test\n' "$SMTP_PORT" >.config/vx64/mail.conf
expect 0 '' vxhost mail --to odbiorca@vx64.test --subject "vx64 clean root" --body "Zażółć gęślą jaźń"

# The example against vx64-dev: pkg-config (shared and static) and CMake (both targets).
if make -s -C example >make.log 2>&1; then echo "ok: example built by pkg-config"; else
  problem "make: $(cat make.log)"
fi
if cmake -S example -B example/build >cmake.log 2>&1 && cmake --build example/build >>cmake.log 2>&1; then
  echo "ok: example built by CMake"
else
  problem "cmake: $(cat cmake.log)"
fi
for program in example/vx64-example example/build/vx64-example; do
  readelf -d "$program" 2>/dev/null | grep -q 'NEEDED.*libvx64-host\.so\.0' || problem "$program: not on the shared library"
done
for program in example/vx64-example-static example/build/vx64-example-static; do
  ! readelf -d "$program" 2>/dev/null | grep -q 'NEEDED.*libvx64' || problem "$program: not static"
done
for program in example/vx64-example example/vx64-example-static example/build/vx64-example \
  example/build/vx64-example-static; do
  expect 0 'worker status: READY' "$program" samples/faktura_poprawna.xml
  expect 1 "NIP'.*pattern" "$program" samples/faktura_bledna.xml
done
echo "user steps: $failures failed"
exit $((failures > 0))
