#!/bin/sh
# Prints read/write throughput and peak RSS of our JSON library against nlohmann-json on a
# 10 MB and a 100 MB document. Every measurement is a process of its own; each side runs RUNS
# times (default 3), the two sides taking turns, and the medians are shown.
# Usage: bench/json/run.sh [BUILD_DIR]  (default build-json)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build-json}
runs=${RUNS:-3}
cmake --build "$build" --target vx_json_bench -j2 >/dev/null
bin=$build/bin/vx_json_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Median of the numbers on standard input.
median() {
  sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

printf '%-6s %-6s %10s %10s %12s %10s %12s %9s\n' size op "ours MB/s" "peer MB/s" "speed ratio" "ours RSS" "peer RSS" "RSS ratio"
for mb in 10 100; do
  "$bin" gen "$mb" "$work/doc.json"
  for op in read write; do
    : >"$work/ours" && : >"$work/peer"
    i=0
    while [ "$i" -lt "$runs" ]; do
      "$bin" "$op" ours "$work/doc.json" >>"$work/ours"
      "$bin" "$op" peer "$work/doc.json" >>"$work/peer"
      i=$((i + 1))
    done
    ours_speed=$(awk '{ print $5 }' "$work/ours" | median)
    ours_rss=$(awk '{ print $6 }' "$work/ours" | median)
    peer_speed=$(awk '{ print $5 }' "$work/peer" | median)
    peer_rss=$(awk '{ print $6 }' "$work/peer" | median)
    awk -v mb="$mb" -v op="$op" -v os="$ours_speed" -v ps="$peer_speed" -v orss="$ours_rss" -v prss="$peer_rss" \
      'BEGIN { printf "%-6s %-6s %10.1f %10.1f %11.2fx %8.0fMB %10.0fMB %8.2fx\n", mb "MB", op, os, ps, os/ps, orss/1024, prss/1024, orss/prss }'
  done
done
