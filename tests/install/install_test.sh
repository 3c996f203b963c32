#!/usr/bin/env bash
# Installs the build into a temporary prefix and uses the installed tree as a user and as an
# application developer would: the programs, the manual page, and the example built against the
# installed library through pkg-config and through find_package.
# Usage: install_test.sh SOURCE_DIR BUILD_DIR
src=$1
build=$2
. "$src/tests/install/lib.sh"

# DESTDIR is honoured: everything lands below it, under the prefix.
DESTDIR="$work/dest" cmake --install "$build" --prefix /opt/vx64 >/dev/null
outside=$(cd "$work/dest" && find . -mindepth 1 -not -path './opt' -not -path './opt/vx64*')
[ -z "$outside" ] || fail "installed outside the prefix: $outside"

prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
for f in bin/vxhost bin/vx64BWorker lib/libvx64-host.so lib/libvx64-host.so.0 lib/libvx64-host.a \
  include/vx64/host.h include/vx64/mail.h include/vx64/json.h include/vx64/version.h include/vx64/export.h \
  lib/pkgconfig/vx64-host.pc \
  lib/cmake/vx64/vx64Config.cmake lib/cmake/vx64/vx64ConfigVersion.cmake lib/cmake/vx64/vx64Targets.cmake \
  share/doc/vx64/README.md share/doc/vx64/LICENSE share/man/man1/vxhost.1 share/man/man8/vx64BWorker.8 \
  share/man/pl/man1/vxhost.1 share/man/pl/man8/vx64BWorker.8; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
[ "$(readelf -d "$prefix/lib/libvx64-host.so" | grep -o 'soname: \[[^]]*\]')" = "soname: [libvx64-host.so.0]" ] ||
  fail "no SONAME libvx64-host.so.0"
leaked=$(nm -D --defined-only -C "$prefix/lib/libvx64-host.so" | grep -v ' vx64::' || true)
[ -z "$leaked" ] || fail "the shared library exports more than its API: $leaked"
[ -z "$(ls "$prefix/include/vx64" | grep -Ev '^[a-z_]+\.h$')" ] || fail "stray files among the headers"

# The programs from the prefix.
version=$(sed -n 's/^#define VX64_VERSION "\(.*\)"$/\1/p' "$prefix/include/vx64/version.h")
expect_run 0 "^vxhost \(vx64\) $version$" "$prefix/bin/vxhost" --version
expect_run 0 "^vxhost \(vx64\) $version$" "$prefix/bin/vxhost" --help
before=$(ls -A "$prefix/bin")
expect_run 0 "^vx64BWorker \(vx64\) $version$" "$prefix/bin/vx64BWorker" --version
[ "$(ls -A "$prefix/bin")" = "$before" ] || fail "vx64BWorker --version prepared something"
expect_run 0 '^READY$' "$prefix/bin/vxhost" status
serve_samples
expect_run 0 '^OK$' "$prefix/bin/vxhost" validate --worker "$src/samples/faktura_poprawna.xml"
readelf -d "$prefix/bin/vxhost" | grep -q 'NEEDED.*libvx64-host.so.0' || fail "vxhost not on the shared library"
expect_run 1 "NIP'.*pattern" "$prefix/bin/vxhost" validate --worker "$src/samples/faktura_bledna.xml"
expect_run 0 'NAME' man -P cat -l "$prefix/share/man/man1/vxhost.1"
expect_run 0 'NAZWA' man -P cat -l "$prefix/share/man/pl/man1/vxhost.1"

# The example through pkg-config and through find_package.
cp -r "$src/examples/validate" "$work/example"
PKG_CONFIG_PATH="$prefix/lib/pkgconfig" make -s -C "$work/example" CXXFLAGS="-O0 -Wall -Wextra -Werror" >/dev/null
readelf -d "$work/example/vx64-example" | grep -q 'NEEDED.*libvx64-host.so.0' || fail "pkg-config example not on the shared library"
cmake -S "$work/example" -B "$work/example/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$work/example/build" -j2 >/dev/null
export VX64_WORKER="$prefix/bin/vx64BWorker"
for program in "$work/example/vx64-example" "$work/example/build/vx64-example" "$work/example/build/vx64-example-static"; do
  expect_run 0 'worker status: READY' "$program" "$src/samples/faktura_poprawna.xml"
  expect_run 0 '^OK$' "$program" "$src/samples/faktura_poprawna.xml"
  expect_run 1 "NIP'.*pattern" "$program" "$src/samples/faktura_bledna.xml"
  grep -q '^\[0\] ' "$work/stderr" || fail "$program: the worker's log lines were not replayed"
  # The mail document of a dry run, with the installed registry's default client (the shipped one).
  VX64_REGISTRY_HKLM="$prefix/etc/vx64/registry.reg" VX64_REGISTRY_HKCU="$work/user.reg" \
    expect_run 0 '"Address":"a@b.pl","Kind":1.*"Subject":"vx64 ' "$program" --mail-to a@b.pl
done
expect_run 0 '^OK$' "$work/example/build/vx64-example-static" --in-process "$src/samples/faktura_poprawna.xml"
echo "install test passed"
