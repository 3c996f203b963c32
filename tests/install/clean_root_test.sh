#!/usr/bin/env bash
# The Debian packages as a user gets them: a clean Debian root (mmdebstrap --variant=apt from this
# machine's apt sources, with the tools to build the example), the packages from make_debs.sh
# installed there with apt, and, as an ordinary user in the root, the programs, the samples,
# mail and the example application (clean_root_user.sh). The samples' schema server and the SMTP
# sink run outside the root on 127.0.0.1. Then apt purges the packages, which must leave nothing.
# The root's tarball and the downloaded packages are kept in BUILD_DIR/debs/ between runs.
# Needs root (the root is made and entered with chroot); exits 77 (skipped) otherwise.
# Usage: clean_root_test.sh SOURCE_DIR BUILD_DIR
src=$1
build=$2
if [ "$(id -u)" -ne 0 ]; then
  echo "clean root test: needs root to make and enter the root"
  exit 77
fi
. "$src/tests/install/lib.sh"
smtp=
trap 'if [ -n "$smtp" ]; then kill "$smtp" 2>/dev/null; fi; cleanup' EXIT
command -v mmdebstrap >/dev/null || fail "mmdebstrap is not installed (scripts/setup installs it)"
start=$SECONDS
phase=$SECONDS
times=()
timed() {
  times+=("$1 $((SECONDS - phase)) s")
  phase=$SECONDS
}

debs="$build/debs/build"
version=$(sed -n 's/^#define VX64_VERSION "\(.*\)"$/\1/p' "$debs/include/vx64/version.h")
packages=(vx64 libvx64-host0 libvx64mapi1 vx64-dev)
for p in "${packages[@]}"; do
  [ -f "$debs/${p}_${version}_amd64.deb" ] || fail "no ${p}_${version}_amd64.deb (make_debs.sh makes them)"
done

# The clean root, made once and kept as a tarball.
cache="$build/debs/root"
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
tools=build-essential,cmake,pkg-config
tarball="$cache/$codename-apt-${tools//,/-}.tar"
mkdir -p "$cache/archives/partial"
if [ ! -s "$tarball" ]; then
  sources=()
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    if [ -s "$f" ]; then sources+=("$f"); fi
  done
  [ ${#sources[@]} -gt 0 ] || fail "no apt sources on this machine"
  mmdebstrap --quiet --variant=apt --format=tar --include="$tools" "$codename" "$tarball.part" "${sources[@]}" \
    >"$work/mmdebstrap.log" 2>&1 || fail "mmdebstrap: $(tail -n 30 "$work/mmdebstrap.log")"
  mv "$tarball.part" "$tarball"
  timed "root made"
fi
root="$work/root"
mkdir "$root"
tar -C "$root" -xf "$tarball" || fail "cannot unpack $tarball"
timed "root unpacked"

# In the root: a mount namespace of its own with /proc, apt's downloads kept in the cache.
in_root() {
  unshare --mount --pid --fork --kill-child -- /bin/bash -c '
    root=$1 archives=$2
    shift 2
    mount -t proc proc "$root/proc" && mount --bind "$archives" "$root/var/cache/apt/archives" &&
      exec chroot "$root" "$@"' in_root "$root" "$cache/archives" "$@"
}
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/tmp/debs"
for p in "${packages[@]}"; do cp "$debs/${p}_${version}_amd64.deb" "$root/tmp/debs/"; done
chmod -R a+rX "$root/tmp/debs"
echo "tester:x:1000:1000:vx64 tester:/home/tester:/bin/bash" >>"$root/etc/passwd"
echo "tester:x:1000:" >>"$root/etc/group"
home="$root/home/tester"
mkdir -p "$home/samples"
cp "$src"/samples/*.xml "$home/samples/"
cp -r "$src/examples/validate" "$home/example"
cp "$src/tests/install/clean_root_user.sh" "$home/"
chown -R 1000:1000 "$home"

# What the root holds before the packages; the purge must come back to it.
snapshot() {
  in_root find / -xdev \( -path /proc -o -path /tmp -o -path /home -o -path /var/cache -o -path /var/lib/apt \
    -o -path /var/log -o -path /var/lib/dpkg -o -path /etc/ld.so.cache \) -prune -o -print | sort
}
snapshot >"$work/before"
apt_get() { in_root env DEBIAN_FRONTEND=noninteractive apt-get -q -y -o Dpkg::Use-Pty=0 "$@"; }
apt_get update >"$work/apt.log" 2>&1 || fail "apt-get update: $(tail -n 20 "$work/apt.log")"
# The mail library is a recommendation of vx64; the mail transport and xdg-utils, also
# recommended, would start services in the root and are left out.
files=()
for p in "${packages[@]}"; do files+=("/tmp/debs/${p}_${version}_amd64.deb"); done
apt_get install --no-install-recommends "${files[@]}" >>"$work/apt.log" 2>&1 ||
  fail "apt-get install: $(tail -n 30 "$work/apt.log")"
installed=$(in_root dpkg-query -W -f '${Package} ${Status}\n' "${packages[@]}" || true)
[ "$(grep -c ' install ok installed$' <<<"$installed")" -eq 4 ] || fail "not installed: $installed"
timed "apt install"

# The servers outside the root.
serve_samples
mkdir "$work/spool"
/usr/bin/python3 "$src/tests/mapi/smtp_server.py" --spool "$work/spool" >"$work/smtp" 2>&1 </dev/null &
smtp=$!
for _ in $(seq 200); do grep -q '^READY ' "$work/smtp" && break; sleep 0.05; done
smtp_port=$(sed -n 's/^READY //p' "$work/smtp")
[ -n "$smtp_port" ] || fail "the SMTP sink did not start: $(cat "$work/smtp")"

failures=0
in_root chroot --userspec=1000:1000 / env -i HOME=/home/tester USER=tester LOGNAME=tester \
  PATH=/usr/local/bin:/usr/bin:/bin LANG=C.UTF-8 VX64_CONNECT_TO="$VX64_CONNECT_TO" SMTP_PORT="$smtp_port" \
  /bin/bash /home/tester/clean_root_user.sh || failures=$((failures + 1))
timed "user steps"
# The message reached the sink through the packaged library.
if grep -qx 'odbiorca@vx64.test' "$work/spool"/1.env 2>/dev/null &&
   grep -q '^Subject: vx64 clean root' "$work/spool"/1.eml; then
  echo "ok: the mail was delivered"
else
  echo "FAIL: no mail delivered to the sink: $(ls "$work/spool")"
  failures=$((failures + 1))
fi

# Purged, the packages and what apt installed for them leave nothing behind.
apt_get purge --autoremove "${packages[@]}" >>"$work/apt.log" 2>&1 ||
  fail "apt-get purge: $(tail -n 30 "$work/apt.log")"
snapshot >"$work/after"
left=$(comm -13 "$work/before" "$work/after")
# The packages' files and links (their folders are shared with others, or named vx64).
ours=$(for p in "${packages[@]}"; do dpkg-deb -c "$debs/${p}_${version}_amd64.deb"; done |
  awk '$1 !~ /^d/ {print $6}' | sed 's|^\./|/|')
leftover=$(grep -i vx64 <<<"$left"; grep -xF -f <(echo "$ours") "$work/after" || true)
if [ -n "$leftover" ]; then
  echo "FAIL: the purge left: $leftover"
  failures=$((failures + 1))
elif [ -n "$left" ]; then
  echo "after the purge, $(wc -l <<<"$left") paths of other packages are new in the root: $(head -n 5 <<<"$left" | tr '\n' ' ')"
fi
[ -z "$(in_root dpkg-query -W -f '${Package}\n' "${packages[@]}" 2>/dev/null)" ] ||
  { echo "FAIL: still known to dpkg after the purge"; failures=$((failures + 1)); }
timed "apt purge"

echo "clean root test: ${times[*]}, in all $((SECONDS - start)) s"
[ "$failures" -eq 0 ] || fail "clean root test: $failures failed"
echo "clean root test passed"
