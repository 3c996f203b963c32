#!/usr/bin/env bash
# The manual pages as formatters and readers see them: no complaint from mandoc's lint or from
# groff's warnings, a date that tools parse, ASCII text, and the synopsis and options that vxhost
# itself has (each long option of `vxhost COMMAND --help` is described in both vxhost pages).
# Usage: manpages_test.sh BUILD_DIR
set -euo pipefail
build=$1
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
command -v mandoc >/dev/null || fail "mandoc is not installed (scripts/setup installs it)"
command -v groff >/dev/null || fail "groff is not installed"

pages=(vxhost.1 vx64BWorker.8 pl/vxhost.1 pl/vx64BWorker.8)
for page in "${pages[@]}"; do
  f="$build/doc/$page"
  [ -f "$f" ] || fail "no page $page"
  lint=$(mandoc -Tlint "$f" 2>&1) || fail "mandoc -Tlint $page: $lint"
  [ -z "$lint" ] || fail "mandoc -Tlint $page: $lint"
  warnings=$(groff -man -ww -z "$f" 2>&1)
  [ -z "$warnings" ] || fail "groff -man -ww -z $page: $warnings"
  date=$(awk '$1 == ".TH" { print $4; exit }' "$f")
  [[ "$date" =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}$ ]] || fail "$page: .TH date \"$date\" is not YYYY-MM-DD"
  ! LC_ALL=C grep -n '[^[:print:][:space:]]' "$f" || fail "$page: characters beyond ASCII"
done

# The pages as man shows them, one line per paragraph.
render() { MANWIDTH=1000 man -E UTF-8 -l "$build/doc/$1" 2>/dev/null | col -b; }
en=$(render vxhost.1)
pl=$(render pl/vxhost.1)
grep -q '^NAME$' <<<"$en" || fail "vxhost.1 has no NAME section"
grep -q '^NAZWA$' <<<"$pl" || fail "pl/vxhost.1 has no NAZWA section"
grep -Eq '^ +vxhost validate .*\] FILE\.\.\.$' <<<"$en" || fail "vxhost.1: the synopsis does not end in FILE..."
grep -Eq '^ +vxhost validate .*\] PLIK\.\.\.$' <<<"$pl" || fail "pl/vxhost.1: the synopsis does not end in PLIK..."

vxhost="$build/bin/vxhost"
for command in validate json mail status; do
  help=$("$vxhost" "$command" --help) || fail "vxhost $command --help"
  for option in $(grep -Eo -- '--[a-z][a-z-]*' <<<"$help" | sort -u); do
    grep -q -- "$option" <<<"$en" || fail "vxhost.1 does not describe $command $option"
    grep -q -- "$option" <<<"$pl" || fail "pl/vxhost.1 does not describe $command $option"
  done
done
echo "manual pages passed"
