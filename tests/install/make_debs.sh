#!/usr/bin/env bash
# Makes the Debian packages as the README says: a build configured with the defaults, then
# `cpack -G DEB` in it. The build leaves out the tests and benchmarks, which are not installed;
# its folder (BUILD_DIR/debs/build) is kept between runs, so a second run only rebuilds what
# changed. The package tests take the .deb files from there.
# Usage: make_debs.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1
out=$2/debs/build
mkdir -p "$out"
log() { echo "make_debs: $*"; }
start=$SECONDS
cmake -S "$src" -B "$out" -DVX_BUILD_TESTS=OFF -DVX_BUILD_BENCH=OFF >"$out/configure.log" 2>&1 ||
  { cat "$out/configure.log"; exit 1; }
cmake --build "$out" -j"$(nproc)" >"$out/build.log" 2>&1 || { tail -n 60 "$out/build.log"; exit 1; }
rm -f "$out"/*.deb
# cpack reports errors of its own scripts without failing.
if ! (cd "$out" && cpack -G DEB) >"$out/cpack.log" 2>&1 || grep -q 'CMake Error' "$out/cpack.log"; then
  cat "$out/cpack.log"
  exit 1
fi
log "$(cd "$out" && ls ./*.deb | tr '\n' ' ') in $((SECONDS - start)) s"
