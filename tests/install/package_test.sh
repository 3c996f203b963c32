#!/usr/bin/env bash
# Makes the Debian packages from the build, checks their control data and file lists, runs
# lintian on them (no errors allowed; warnings are printed), installs both into a throw-away root
# with dpkg --root and uses the programs and the library from there.
# Usage: package_test.sh SOURCE_DIR BUILD_DIR
src=$1
build=$2
. "$src/tests/install/lib.sh"

cpack -G DEB -B "$work/pkg" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  fail "cpack: $(cat "$work/cpack.log")"
version=$(sed -n 's/^#define VX64_VERSION "\(.*\)"$/\1/p' "$build/include/vx64/version.h")
deb="$work/pkg/vx64_${version}_amd64.deb"
dev="$work/pkg/vx64-dev_${version}_amd64.deb"
[ -f "$deb" ] && [ -f "$dev" ] || fail "no vx64_${version}_amd64.deb and vx64-dev: $(ls "$work/pkg")"

# Control data: dependencies computed from the binaries, the -dev package on the runtime one.
[ "$(dpkg-deb -f "$deb" Package)" = vx64 ] || fail "package name"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libc6 libstdc++6 libxml2 libcurl4; do
  grep -q "$lib" <<<"$depends" || fail "Depends lacks $lib: $depends"
done
grep -q "vx64 (= $version)" <<<"$(dpkg-deb -f "$dev" Depends)" || fail "vx64-dev does not depend on vx64 (= $version)"

# File lists: programs, library and texts in the runtime package; development files in -dev.
files() { dpkg-deb -c "$1" | awk '{print $6}' | sed 's|^\./|/|'; }
files "$deb" >"$work/deb.files"
files "$dev" >"$work/dev.files"
for f in /usr/bin/vxhost /usr/bin/vx64BWorker /usr/lib/libvx64-host.so.0 /usr/lib/libvx64-host.so.$version \
  /usr/share/man/man1/vxhost.1.gz /usr/share/man/man8/vx64BWorker.8.gz /usr/share/man/pl/man1/vxhost.1.gz \
  /usr/share/man/pl/man8/vx64BWorker.8.gz /usr/share/doc/vx64/copyright /usr/share/doc/vx64/README.md; do
  grep -qx "$f" "$work/deb.files" || fail "vx64 lacks $f"
done
for f in /usr/lib/libvx64-host.so /usr/lib/libvx64-host.a /usr/include/vx64/host.h /usr/lib/pkgconfig/vx64-host.pc \
  /usr/lib/cmake/vx64/vx64Config.cmake /usr/share/doc/vx64-dev/copyright; do
  grep -qx "$f" "$work/dev.files" || fail "vx64-dev lacks $f"
done
! grep -q '^/usr/include' "$work/deb.files" || fail "headers in the runtime package"

command -v lintian >/dev/null || fail "lintian is not installed (scripts/setup installs it)"
lintian --fail-on error --tag-display-limit 0 "$deb" "$dev" >"$work/lintian.log" 2>&1 ||
  fail "lintian: $(cat "$work/lintian.log")"
sed 's/^/lintian: /' "$work/lintian.log"

# Into a throw-away root: dpkg's own database there, dependencies taken from the running system.
root="$work/root"
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates" "$root/var/lib/dpkg/triggers"
touch "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/available"
as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(fakeroot); fi
"${as_root[@]}" dpkg --root="$root" --log=/dev/null --force-not-root --force-depends --force-script-chrootless \
  -i "$deb" "$dev" >"$work/dpkg.log" 2>&1 || fail "dpkg -i: $(cat "$work/dpkg.log")"
dpkg --root="$root" -s vx64 vx64-dev | grep -q '^Status: install ok installed' || fail "not installed in the root"

expect_run 0 "^vxhost \(vx64\) $version$" "$root/usr/bin/vxhost" --version
expect_run 0 '^READY$' "$root/usr/bin/vxhost" status
serve_samples
expect_run 0 '^OK$' "$root/usr/bin/vxhost" validate --worker "$src/samples/faktura_poprawna.xml"
expect_run 0 'NAME' man -P cat -l "$root/usr/share/man/man1/vxhost.1.gz"
expect_run 0 'NAZWA' man -P cat -l "$root/usr/share/man/pl/man1/vxhost.1.gz"

cp -r "$src/examples/validate" "$work/example"
PKG_CONFIG_PATH="$root/usr/lib/pkgconfig" make -s -C "$work/example" >/dev/null
VX64_WORKER="$root/usr/bin/vx64BWorker" expect_run 0 '^OK$' "$work/example/vx64-example" "$src/samples/faktura_poprawna.xml"
echo "package test passed"
