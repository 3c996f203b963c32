#!/bin/sh
# Writes and reads back COUNT mail-like records (default 100000) through TRecordJSONHelper and
# through nlohmann-json's struct mapping; every measurement is a process of its own, the two
# sides taking turns RUNS times (default 3); prints the medians and the ratios.
# Usage: bench/serialize/run.sh [BUILD_DIR] [COUNT]  (default build)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
count=${2:-100000}
runs=${RUNS:-3}
cmake --build "$build" --target vx_serialize_bench -j2 >/dev/null
bin=$build/bin/vx_serialize_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() {
  sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

i=0
while [ "$i" -lt "$runs" ]; do
  "$bin" ours "$count" >>"$work/ours"
  "$bin" peer "$count" >>"$work/peer"
  i=$((i + 1))
done
for side in ours peer; do
  for col in 4 6 7; do
    awk -v c="$col" '{ print $c }' "$work/$side" | median >"$work/$side.$col"
  done
done
printf '%-6s %14s %14s %12s\n' side "write rec/s" "read rec/s" "peak RSS"
for side in ours peer; do
  awk -v s="$side" -v w="$(cat "$work/$side.4")" -v r="$(cat "$work/$side.6")" -v m="$(cat "$work/$side.7")" \
    'BEGIN { printf "%-6s %14.0f %14.0f %10.0fMB\n", s, w, r, m / 1024 }'
done
awk -v ow="$(cat "$work/ours.4")" -v pw="$(cat "$work/peer.4")" -v or="$(cat "$work/ours.6")" -v pr="$(cat "$work/peer.6")" \
  -v om="$(cat "$work/ours.7")" -v pm="$(cat "$work/peer.7")" \
  'BEGIN { printf "ratio  %13.2fx %13.2fx %11.2fx\n", ow / pw, or / pr, om / pm }'
