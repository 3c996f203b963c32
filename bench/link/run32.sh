#!/usr/bin/env bash
# The 32-bit host beside the 64-bit host, both driving the same 64-bit worker, in one run: each
# side runs ROUNDS times, alternating; the medians of their CMD_GET_STATUS round-trip medians and
# p99s, and the ratios 32-bit / 64-bit.
# Usage: bench/link/run32.sh [BUILD64 [BUILD32 [ROUNDS [ROUND_TRIPS]]]] (defaults build build32 5 2000)
set -euo pipefail
b64=${1:-build}
b32=${2:-build32}
rounds=${3:-5}
trips=${4:-2000}
for b in "$b64" "$b32"; do
  [ -x "$b/bin/vx_bench_link" ] || { echo "no $b/bin/vx_bench_link (build it first)" >&2; exit 2; }
done
file -L "$b32/bin/vx_bench_link" | grep -q 'ELF 32-bit' || { echo "$b32 is not a 32-bit build" >&2; exit 2; }
# Both hosts start the same worker image.
worker=$(cd "$b64/bin" && pwd)/vx64BWorker
export VX64_WORKER=$worker VX64_DEBUG_LOG=none
declare -a m64 p64 m32 p32
row() { "$1/bin/vx_bench_link" "$trips" 5 | awk '/^CMD_GET_STATUS round trip/ {print $(NF-1), $NF}'; }
for ((i = 0; i < rounds; i++)); do
  read -r m p < <(row "$b64"); m64+=("$m"); p64+=("$p")
  read -r m p < <(row "$b32"); m32+=("$m"); p32+=("$p")
done
median() { printf '%s\n' "$@" | sort -g | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
M64=$(median "${m64[@]}"); P64=$(median "${p64[@]}"); M32=$(median "${m32[@]}"); P32=$(median "${p32[@]}")
printf '%-34s %12s %12s\n' "CMD_GET_STATUS round trip" "median us" "p99 us"
printf '%-34s %12.1f %12.1f\n' "64-bit host -> 64-bit worker" "$M64" "$P64"
printf '%-34s %12.1f %12.1f\n' "32-bit host -> 64-bit worker" "$M32" "$P32"
awk -v a="$M32" -v b="$M64" -v c="$P32" -v d="$P64" \
  'BEGIN {printf "%-34s %12.2f %12.2f\n", "ratio 32-bit / 64-bit", a / b, c / d}'
