#!/bin/sh
# Read/write throughput and peak RSS of our JSON library beside nlohmann-json, RapidJSON and
# simdjson, on generated documents of 10 and 100 MB and on a 10 MB Polish mail-like document
# full of dates. Every measurement is a process of its own; each side runs RUNS times (default
# 3), the sides taking turns, and the medians are shown with our figures divided by the side's
# ("ours/side": above 1 we are faster; for RSS below 1 we use less). "ours" recognises dates,
# as the program always does; "ours-nodates" is the same read with recognition off.
# "rapidjson-ascii" writes the text ours must (every character beyond ASCII as a \u escape).
# Usage: bench/json/run.sh [BUILD_DIR]  (default build-json, configured as Release if missing)
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build-json}
runs=${RUNS:-3}
sizes=${SIZES:-10 100}
[ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target vx_json_bench -j2 >/dev/null
bin=$build/bin/vx_json_bench
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

median() {
  sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

sides="ours ours-nodates nlohmann rapidjson rapidjson-ascii simdjson"
available=""
for s in $sides; do
  if "$bin" read "$s" /dev/null >/dev/null 2>&1 || [ $? -ne 2 ]; then available="$available $s"; fi
done

bench() {  # document-label file
  label=$1 file=$2
  for op in read write; do
    for s in $available; do : >"$work/$s"; done
    i=0
    while [ "$i" -lt "$runs" ]; do
      for s in $available; do
        [ "$op" = write ] && [ "$s" = ours-nodates ] && continue
        [ "$op" = read ] && [ "$s" = rapidjson-ascii ] && continue
        "$bin" "$op" "$s" "$file" >>"$work/$s"
      done
      i=$((i + 1))
    done
    ours_speed=$(awk '{ print $5 }' "$work/ours" | median)
    ours_rss=$(awk '{ print $6 }' "$work/ours" | median)
    for s in $available; do
      [ -s "$work/$s" ] || continue
      speed=$(awk '{ print $5 }' "$work/$s" | median)
      rss=$(awk '{ print $6 }' "$work/$s" | median)
      awk -v d="$label" -v op="$op" -v s="$s" -v sp="$speed" -v rss="$rss" -v os="$ours_speed" -v orss="$ours_rss" \
        'BEGIN { printf "%-9s %-6s %-13s %9.1f %9.0fMB %12.2fx %10.2fx\n", d, op, s, sp, rss/1024, os/sp, orss/rss }'
    done
  done
}

printf '%-9s %-6s %-13s %9s %11s %13s %11s\n' document op side "MB/s" "peak RSS" "ours/side" "RSS ratio"
for mb in $sizes; do
  "$bin" gen "$mb" "$work/doc.json"
  bench "gen-${mb}MB" "$work/doc.json"
done
"$bin" mail 10 "$work/mail.json"
bench "mail-10MB" "$work/mail.json"
# Memory of freed documents is used again: ten reads in a row peak where one read does.
one=$("$bin" read ours "$work/mail.json" | awk '{ print $6 }')
ten=$("$bin" reread 10 "$work/mail.json" | awk '{ print $6 }')
awk -v one="$one" -v ten="$ten" 'BEGIN { printf "mail-10MB read ours once: peak RSS %.0fMB; ten times, each freed before the next: %.0fMB\n", one/1024, ten/1024 }'
