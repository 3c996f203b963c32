#!/usr/bin/env bash
# Installs the build into a temporary prefix other than the configured one and uses the installed
# tree from there alone, as a user and as an application developer would: the programs find the
# worker, the registry and the mail library relative to their own place; the worker keeps its
# files in the user's folders; the example built against the installed library through
# pkg-config and through find_package finds the worker by itself.
# Usage: install_test.sh SOURCE_DIR BUILD_DIR
src=$1
build=$2
. "$src/tests/install/lib.sh"

# DESTDIR is honoured: everything lands below it, under the prefix.
DESTDIR="$work/dest" cmake --install "$build" --prefix /opt/vx64 >/dev/null
outside=$(cd "$work/dest" && find . -mindepth 1 -not -path './opt' -not -path './opt/vx64*')
[ -z "$outside" ] || fail "installed outside the prefix: $outside"

prefix="$work/prefix"
configured=$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
[ "$prefix" != "$configured" ] || fail "the test prefix is the configured one"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || fail "install: $(cat "$work/install.log")"
! grep -q 'Warning' "$work/install.log" || fail "the install warned: $(cat "$work/install.log")"
lib=$(sed -n 's/^CMAKE_INSTALL_LIBDIR:PATH=//p' "$build/CMakeCache.txt")
worker="$prefix/libexec/vx64/vx64BWorker"
for f in bin/vxhost libexec/vx64/vx64BWorker $lib/libvx64-host.so $lib/libvx64-host.so.0 $lib/libvx64-host.a \
  $lib/libvx64mapi.so.1 etc/vx64/registry.reg \
  include/vx64/host.h include/vx64/mail.h include/vx64/json.h include/vx64/version.h include/vx64/export.h \
  $lib/pkgconfig/vx64-host.pc \
  $lib/cmake/vx64/vx64Config.cmake $lib/cmake/vx64/vx64ConfigVersion.cmake $lib/cmake/vx64/vx64Targets.cmake \
  share/doc/vx64/README.md share/doc/vx64/LICENSE share/man/man1/vxhost.1 share/man/man8/vx64BWorker.8 \
  share/man/pl/man1/vxhost.1 share/man/pl/man8/vx64BWorker.8; do
  [ -e "$prefix/$f" ] || fail "not installed: $f"
done
[ ! -e "$prefix/bin/vx64BWorker" ] || fail "the worker, an internal program, is in bin/"
[ "$(PKG_CONFIG_PATH="$prefix/$lib/pkgconfig" pkg-config --variable=worker vx64-host)" -ef "$worker" ] ||
  fail "the pkg-config file names another worker"
[ "$(readelf -d "$prefix/$lib/libvx64-host.so" | grep -o 'soname: \[[^]]*\]')" = "soname: [libvx64-host.so.0]" ] ||
  fail "no SONAME libvx64-host.so.0"
leaked=$(nm -D --defined-only -C "$prefix/$lib/libvx64-host.so" | grep -v ' vx64::' || true)
[ -z "$leaked" ] || fail "the shared library exports more than its API: $leaked"
[ -z "$(ls "$prefix/include/vx64" | grep -Ev '^[a-z_]+\.h$')" ] || fail "stray files among the headers"

# Every program below runs in $work, where programs of the worker's name lie: none of them may run.
for name in vx64BWorker VX64BWORKER.EXE vx64bworker.exe; do
  printf '#!/bin/sh\ntouch "%s/planted-ran"\nexit 0\n' "$work" >"$work/$name"
  chmod 755 "$work/$name"
done
# And an archive of 64-bit libraries, which only a worker run without arguments unpacks.
/usr/bin/python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1], "w").writestr("libtls.so", "x")' \
  "$work/LIB64BIT.ZIP"
tree() { (cd "$prefix" && find . | sort); }
tree >"$work/tree.before"

# The programs from the prefix.
version=$(sed -n 's/^#define VX64_VERSION "\(.*\)"$/\1/p' "$prefix/include/vx64/version.h")
expect_run 0 "^vxhost \(vx64\) $version$" "$prefix/bin/vxhost" --version
expect_run 0 "^vxhost \(vx64\) $version$" "$prefix/bin/vxhost" --help
# The worker's options answer and touch nothing.
expect_run 0 "^vx64BWorker \(vx64\) $version$" "$worker" --version
expect_run 0 '^Użycie: vx64BWorker UCHWYT$' "$worker" --help
expect_run 2 '^$' "$worker" --bogus
grep -q '^vx64BWorker: nieznana opcja "--bogus"' "$work/stderr" || fail "--bogus: $(cat "$work/stderr")"
[ ! -e "$XDG_CACHE_HOME" ] || fail "the worker's options prepared its library folder"
# Run without arguments it refreshes its library folder: the user's, never the installed tree.
expect_run 0 '^$' "$worker"
[ -f "$XDG_CACHE_HOME/vx64/64bit/libtls.so" ] && [ -f "$XDG_CACHE_HOME/vx64/64bit/LIB64BIT.ZIP" ] ||
  fail "the installed worker did not unpack into \$XDG_CACHE_HOME/vx64/64bit"
tree | diff "$work/tree.before" - >/dev/null || fail "the worker wrote into the installed tree"

expect_run 0 '^READY$' "$prefix/bin/vxhost" status
serve_samples
expect_run 0 '^OK$' "$prefix/bin/vxhost" validate --worker "$src/samples/faktura_poprawna.xml"
readelf -d "$prefix/bin/vxhost" | grep -q 'NEEDED.*libvx64-host.so.0' || fail "vxhost not on the shared library"
expect_run 1 "NIP'.*pattern" "$prefix/bin/vxhost" validate --worker "$src/samples/faktura_bledna.xml"
expect_run 0 'NAME' man -P cat -l "$prefix/share/man/man1/vxhost.1"
expect_run 0 'NAZWA' man -P cat -l "$prefix/share/man/pl/man1/vxhost.1"

# Mail through the installed registry (no override) and the installed mail library, in the
# process and through the worker, to an SMTP sink on 127.0.0.1.
start_smtp_sink
mkdir -p "$XDG_CONFIG_HOME/vx64"
printf '[mail]\nserver = smtp://127.0.0.1:%s\nfrom = Biuro <biuro@example.pl>\n' "$smtp_port" \
  >"$XDG_CONFIG_HOME/vx64/mail.conf"
chmod 600 "$XDG_CONFIG_HOME/vx64/mail.conf"
expect_run 0 '^$' "$prefix/bin/vxhost" mail --to jan@example.pl --subject "vx64 z instalacji" --body "Dzień dobry"
expect_run 0 '^$' "$prefix/bin/vxhost" mail --worker --to ewa@example.pl --subject "vx64 przez proces" --body "Cześć"
for rcpt in jan@example.pl ewa@example.pl; do
  env=$(grep -l "^$rcpt$" "$work"/spool/*.env 2>/dev/null | head -n1)
  [ -n "$env" ] || fail "no mail delivered to $rcpt: $(ls "$work/spool") $(cat "$work/smtp.err")"
  grep -q '^Subject: vx64 ' "${env%.env}.eml" || fail "the mail to $rcpt: $(cat "${env%.env}.eml")"
done

# The example through pkg-config and through find_package.
cp -r "$src/examples/validate" "$work/example"
PKG_CONFIG_PATH="$prefix/$lib/pkgconfig" make -s -C "$work/example" CXXFLAGS="-O0 -Wall -Wextra -Werror" >/dev/null
readelf -d "$work/example/vx64-example" | grep -q 'NEEDED.*libvx64-host.so.0' || fail "pkg-config example not on the shared library"
cmake -S "$work/example" -B "$work/example/build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build "$work/example/build" -j2 >/dev/null
# On the shared library the application finds the install through the library's place; on the
# static one through its own, once installed in the prefix. Built elsewhere, it is told the
# worker the packages name.
cp "$work/example/build/vx64-example-static" "$prefix/bin/"
check_example() {
  expect_run 0 'worker status: READY' "$@" "$src/samples/faktura_poprawna.xml"
  expect_run 0 '^OK$' "$@" "$src/samples/faktura_poprawna.xml"
  expect_run 1 "NIP'.*pattern" "$@" "$src/samples/faktura_bledna.xml"
  grep -q '^\[0\] ' "$work/stderr" || fail "$*: the worker's log lines were not replayed"
  # The mail document of a dry run, with the installed registry's default client (the shipped one).
  expect_run 0 '"Address":"a@b.pl","Kind":1.*"Subject":"vx64 ' "$@" --mail-to a@b.pl
}
for program in "$work/example/vx64-example" "$work/example/build/vx64-example" "$prefix/bin/vx64-example-static"; do
  check_example "$program"
done
check_example env VX64_WORKER="$(PKG_CONFIG_PATH="$prefix/$lib/pkgconfig" pkg-config --variable=worker vx64-host)" \
  VX64_REGISTRY_HKLM="$prefix/etc/vx64/registry.reg" "$work/example/build/vx64-example-static"
expect_run 0 '^OK$' "$work/example/build/vx64-example-static" --in-process "$src/samples/faktura_poprawna.xml"

[ ! -e "$work/planted-ran" ] || fail "a program of the worker's name in the current directory ran"
echo "install test passed"
