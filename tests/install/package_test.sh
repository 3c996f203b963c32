#!/usr/bin/env bash
# Checks the Debian packages made by make_debs.sh as Debian checks its own: package names after
# the libraries' SONAMEs, control data (dependencies, recommendations, descriptions), file lists,
# maintainer scripts, symbols files, hardening, the pkg-config file, the changelog, and lintian
# with no errors and no warnings (the informational tags are printed). Every check runs; the
# failures are listed at the end.
# Usage: package_test.sh SOURCE_DIR BUILD_DIR
src=$1
build=$2
. "$src/tests/install/lib.sh"
set +e
debs="$build/debs/build"
failures=0
problem() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

version=$(sed -n 's/^#define VX64_VERSION "\(.*\)"$/\1/p' "$debs/include/vx64/version.h")
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
lib=/usr/lib/$multiarch
declare -A deb
for p in vx64 libvx64-host0 libvx64mapi1 vx64-dev; do
  deb[$p]="$debs/${p}_${version}_amd64.deb"
  [ -f "${deb[$p]}" ] || fail "no ${p}_${version}_amd64.deb: $(ls "$debs"/*.deb)"
done

# Control data.
field() { dpkg-deb -f "${deb[$1]}" "$2"; }
for p in "${!deb[@]}"; do
  [ "$(field "$p" Package)" = "$p" ] || problem "$p: Package is $(field "$p" Package)"
  [ "$(field "$p" Version)" = "$version" ] || problem "$p: Version is $(field "$p" Version)"
done
has() { # has PACKAGE FIELD RELATION: the field holds the relation as one of its entries
  tr ',' '\n' <<<"$(field "$1" "$2")" | sed 's/^ *//; s/ *$//' | grep -qxF -- "$3" ||
    problem "$1: $2 lacks \"$3\": $(field "$1" "$2")"
}
has vx64 Depends "libvx64-host0 (= $version)"
has vx64 Recommends "libvx64mapi1"
has vx64 Recommends "default-mta | mail-transport-agent"
has vx64 Recommends "xdg-utils"
has vx64 Suggests "zenity | kdialog"
has libvx64mapi1 Recommends "default-mta | mail-transport-agent"
has libvx64mapi1 Recommends "xdg-utils"
# A validation-only install (vx64 without its recommendations) pulls no GMime.
if field vx64 Depends | grep -q gmime || field libvx64-host0 Depends | grep -q gmime; then
  problem "vx64 or libvx64-host0 depends on GMime: $(field vx64 Depends)"
fi
field libvx64mapi1 Depends | grep -q 'libgmime-3.0-0' || problem "libvx64mapi1 lacks GMime: $(field libvx64mapi1 Depends)"
# The development package: the shared library and what the static library links, nothing more.
expected="libvx64-host0 (= $version)
libcurl4-openssl-dev | libcurl-dev
libelf-dev
libxml2-dev
libzip-dev"
actual=$(field vx64-dev Depends | tr ',' '\n' | sed 's/^ *//; s/ *$//' | sort)
[ "$actual" = "$(sort <<<"$expected")" ] || problem "vx64-dev Depends: $(field vx64-dev Depends)"
for p in libvx64-host0 libvx64mapi1; do
  [ "$(field "$p" Section)" = libs ] || problem "$p: Section $(field "$p" Section)"
  [ "$(field "$p" Multi-Arch)" = same ] || problem "$p: Multi-Arch $(field "$p" Multi-Arch)"
done
[ "$(field vx64-dev Section)" = libdevel ] || problem "vx64-dev: Section $(field vx64-dev Section)"
# Descriptions: a synopsis of each package's own, and an extended text indented by one space.
synopses=$(for p in "${!deb[@]}"; do field "$p" Description | head -n1; done)
[ "$(sort -u <<<"$synopses" | wc -l)" -eq 4 ] || problem "synopses not distinct: $synopses"
for p in "${!deb[@]}"; do
  body=$(field "$p" Description | tail -n +2)
  [ -n "$body" ] || problem "$p: no extended description"
  ! grep -qv '^ [^ ]' <<<"$body" || problem "$p: description lines not indented by one space: $body"
done

# File lists.
files() { dpkg-deb -c "${deb[$1]}" | awk '{print $6}' | sed 's|^\./|/|; s|/$||'; }
expect_files() {
  local p=$1 f
  shift
  for f in "$@"; do grep -qxF "$f" <<<"$(files "$p")" || problem "$p lacks $f"; done
}
expect_files vx64 /usr/bin/vxhost /usr/libexec/vx64/vx64BWorker /etc/vx64/registry.reg \
  /usr/share/man/man1/vxhost.1.gz /usr/share/man/man8/vx64BWorker.8.gz /usr/share/man/pl/man1/vxhost.1.gz \
  /usr/share/man/pl/man8/vx64BWorker.8.gz /usr/share/doc/vx64/copyright /usr/share/doc/vx64/changelog.gz
expect_files libvx64-host0 $lib/libvx64-host.so.0 $lib/libvx64-host.so.$version \
  /usr/share/doc/libvx64-host0/copyright /usr/share/doc/libvx64-host0/changelog.gz
expect_files libvx64mapi1 $lib/libvx64mapi.so.1 /usr/share/doc/libvx64mapi1/copyright
expect_files vx64-dev $lib/libvx64-host.so $lib/libvx64-host.a $lib/pkgconfig/vx64-host.pc \
  $lib/cmake/vx64/vx64Config.cmake /usr/include/vx64/host.h /usr/share/doc/vx64-dev/copyright
! files vx64 | grep -E '^/usr/(lib|include)/' || problem "libraries or headers in vx64"
! files vx64 | grep -qx /usr/bin/vx64BWorker || problem "the worker is in /usr/bin"
[ "$(files libvx64-host0 | grep -c '\.so')" -eq 2 ] || problem "libvx64-host0 holds more than its library"
[ "$(files libvx64mapi1 | grep -c '\.so')" -eq 2 ] || problem "libvx64mapi1 holds more than its library"

# Control files: the libraries carry shlibs, symbols and the ldconfig trigger, and no package
# has maintainer scripts (CPack's ldconfig calls are what the trigger already does).
mkdir -p "$work/control" "$work/tree"
for p in "${!deb[@]}"; do
  dpkg-deb -e "${deb[$p]}" "$work/control/$p"
  for s in preinst postinst prerm postrm; do
    [ ! -e "$work/control/$p/$s" ] || problem "$p has a $s: $(cat "$work/control/$p/$s")"
  done
  dpkg-deb -x "${deb[$p]}" "$work/tree/$p"
done
for p in libvx64-host0 libvx64mapi1; do
  grep -qx 'activate-noawait ldconfig' "$work/control/$p/triggers" || problem "$p: no ldconfig trigger"
  grep -q " $p (>= $version)\$" "$work/control/$p/shlibs" || problem "$p: shlibs $(cat "$work/control/$p/shlibs")"
  # The symbols file lists exactly what the library exports: a symbol added or lost without an
  # entry in cmake/debian/$p.symbols fails here.
  dpkg-gensymbols -p"$p" -v"$version" -P"$work/tree/$p" -I"$src/cmake/debian/$p.symbols" \
    -O"$work/$p.symbols" -c4 >"$work/gensymbols.log" 2>&1 ||
    problem "$p: the library's exports differ from cmake/debian/$p.symbols: $(cat "$work/gensymbols.log")"
  cmp -s "$work/$p.symbols" "$work/control/$p/symbols" || problem "$p: symbols file differs from the library"
done
grep -qx /etc/vx64/registry.reg "$work/control/vx64/conffiles" || problem "vx64: the registry is no conffile"

# Hardening: every program and shared library with read-only relocations bound at start-up.
while IFS= read -r -d '' f; do
  if readelf -h "$f" >/dev/null 2>&1; then
    readelf -lW "$f" | grep -q GNU_RELRO || problem "${f#"$work/tree/"}: no RELRO"
    readelf -dW "$f" | grep -Eq 'BIND_NOW|FLAGS.*NOW' || problem "${f#"$work/tree/"}: not bound now"
  fi
done < <(find "$work/tree" -type f \( -path '*/bin/*' -o -path '*/libexec/*' -o -name '*.so.*' \) -print0)

# The pkg-config file: normalised paths of the /usr prefix, the system libraries by module.
pc="$work/tree/vx64-dev$lib/pkgconfig/vx64-host.pc"
grep -qx 'prefix=/usr' "$pc" || problem "vx64-host.pc: prefix is not /usr: $(cat "$pc")"
! grep -Eq '\.\.|//|pcfiledir' "$pc" || problem "vx64-host.pc: paths not normalised: $(cat "$pc")"
for m in libxml-2.0 libcurl libzip libelf; do
  grep -Eq "^Requires.private:.* $m( |$)" "$pc" || problem "vx64-host.pc: Requires.private lacks $m: $(cat "$pc")"
done
! grep -E '^Libs.private:.*-l' "$pc" || problem "vx64-host.pc: hand-written -l flags"
[ "$(PKG_CONFIG_SYSROOT_DIR= PKG_CONFIG_LIBDIR="$work/tree/vx64-dev$lib/pkgconfig" \
  pkg-config --variable=worker vx64-host)" = /usr/libexec/vx64/vx64BWorker ] || problem "vx64-host.pc: worker path"

# The changelog installed in every package starts with this version.
for p in "${!deb[@]}"; do
  top=$(zcat "$work/tree/$p/usr/share/doc/$p/changelog.gz" 2>/dev/null | head -n1)
  [[ "$top" == "vx64 ($version) "* ]] || problem "$p: changelog starts \"$top\", not version $version"
done

# lintian: no errors, no warnings. The informational and pedantic tags are printed.
command -v lintian >/dev/null || fail "lintian is not installed (scripts/setup installs it)"
lintian -I --pedantic --tag-display-limit 0 "${deb[@]}" >"$work/lintian.log" 2>&1
grep -v 'running with root privileges' "$work/lintian.log" | sed 's/^/lintian: /'
! grep -E '^[EW]: ' "$work/lintian.log" || problem "lintian reports errors or warnings"
! grep -E '^I: .*hardening-' "$work/lintian.log" || problem "lintian reports missing hardening"

if [ "$failures" -gt 0 ]; then
  echo "package test: $failures failed" >&2
  exit 1
fi
echo "package test passed"
