#!/bin/bash
# Streaming XML validation: our validator against xmllint (the peer) on one generated document.
#
# usage: bench/validation/run.sh [--invalid-near-end] SIZE_MB [RUNS]     (RUNS defaults to 3)
#
# Expects a built tree (BUILD_DIR, default <repo>/build: bin/vxhost and bin/vx_bench_xmlgen);
# builds nothing. The document (SIZE_MB MiB) and its schemas are generated once into
# /tmp/vx64-bench-validation/<SIZE_MB>mb[-invalid] (override with DATA_DIR) and reused while the
# generator is not newer. The schemas are served by host name from a small HTTP server on
# 127.0.0.1 that VX64_CONNECT_TO points our validator at; xmllint reads the local copy
# (local/main.xsd). Every run of every side is timed with /usr/bin/time (wall time, peak RSS);
# each verdict must be "valid" (or "not valid" with --invalid-near-end), else the script fails.
# Prints the medians and the ratios against the peer.
set -euo pipefail

usage() {
  echo "usage: $0 [--invalid-near-end] SIZE_MB [RUNS]" >&2
  exit 2
}

invalid=0
args=()
for a in "$@"; do
  case $a in
    --invalid-near-end) invalid=1 ;;
    -*) usage ;;
    *) args+=("$a") ;;
  esac
done
[[ ${#args[@]} -ge 1 && ${#args[@]} -le 2 ]] || usage
size=${args[0]}
runs=${args[1]:-3}
[[ $size =~ ^[0-9]+$ && $size -gt 0 && $runs =~ ^[0-9]+$ && $runs -gt 0 ]] || usage

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bin=${BUILD_DIR:-$root/build}/bin
gen=$bin/vx_bench_xmlgen
vxhost=$bin/vxhost
for f in "$gen" "$vxhost"; do
  [[ -x $f ]] || { echo "missing $f (build the tree first)" >&2; exit 2; }
done
command -v xmllint >/dev/null || { echo "xmllint missing (libxml2-utils)" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "/usr/bin/time missing (package time)" >&2; exit 2; }

host=bench.vx64.test  # the generator's schema host
suffix=$([[ $invalid == 1 ]] && echo -invalid || true)
data=${DATA_DIR:-/tmp/vx64-bench-validation/${size}mb$suffix}
doc=$data/doc.xml
stamp=$data/.generated

# --- data -------------------------------------------------------------------------------------
if [[ -f $stamp && $stamp -nt $gen && $(head -n1 "$stamp") == "$size $invalid" ]]; then
  echo "reusing $data"
else
  mkdir -p "$(dirname "$data")"
  need_kb=$(( size * 1024 * 11 / 10 + 65536 ))
  avail_kb=$(df -Pk "$(dirname "$data")" | awk 'NR == 2 { print $4 }')
  if (( avail_kb < need_kb )); then
    echo "not enough room under $(dirname "$data"): ${avail_kb} KiB free, ${need_kb} KiB needed" >&2
    exit 1
  fi
  rm -rf "$data"
  echo "generating $size MiB into $data"
  gen_args=("$data" "$size")
  [[ $invalid == 1 ]] && gen_args+=(--invalid-near-end)
  info=$(/usr/bin/time -f "%e s, %M KiB peak" -o "$(dirname "$data")/.gen-time" "$gen" "${gen_args[@]}")
  echo "  $info ($(cat "$(dirname "$data")/.gen-time"))"
  printf '%s\n%s\n' "$size $invalid" "$info" >"$stamp"
fi
info=$(sed -n 2p "$stamp")

# --- schema server ----------------------------------------------------------------------------
work=$(mktemp -d /tmp/vx64-bench-run.XXXXXX)
server=""
cleanup() {
  if [[ -n $server ]]; then kill "$server" 2>/dev/null || true; wait "$server" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
/usr/bin/python3 "$here/serve_by_host.py" "$data/www" "$work/port" &
server=$!
for _ in $(seq 100); do [[ -s $work/port ]] && break; sleep 0.1; done
[[ -s $work/port ]] || { echo "schema server did not start" >&2; exit 1; }
export VX64_CONNECT_TO="$host:80:127.0.0.1:$(cat "$work/port")"
export VX64_XSD_MAP=$work/xsd_map.ini VX64_DIALOGS=none VX64_DEBUG_LOG=none

# --- sides ------------------------------------------------------------------------------------
# Each side is a name in `sides`, a function cmd_<name> that sets the array `cmd` to the command
# validating "$doc", and the exit codes meaning "valid" and "not valid". The first side is the
# peer the ratios refer to. "worker" is the host through the worker process; its peak RSS is the
# host's own (the worker is not waited for by /usr/bin/time).
declare -A rc_valid rc_invalid
cmd_xmllint() { cmd=(xmllint --stream --noout --schema "$data/local/main.xsd" "$doc"); }
cmd_ours() { cmd=("$vxhost" validate --in-process "$doc"); }
cmd_worker() { cmd=("$vxhost" validate --worker "$doc"); }
sides=(xmllint ours worker)
rc_valid[xmllint]=0 rc_invalid[xmllint]=3
rc_valid[ours]=0 rc_invalid[ours]=1
rc_valid[worker]=0 rc_invalid[worker]=1

# --- runs -------------------------------------------------------------------------------------
median() { tr ' ' '\n' | grep . | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

bytes=$(stat -c %s "$doc")
expect=$([[ $invalid == 1 ]] && echo "not valid" || echo valid)
echo "document: $doc ($info); expected: $expect"
declare -A walls rsss
for ((r = 1; r <= runs; r++)); do
  for s in "${sides[@]}"; do
    out=$work/$s.$r
    set +e
    "cmd_$s"
    /usr/bin/time -f "%e %M" -o "$out.time" "${cmd[@]}" >"$out.stdout" 2>"$out.stderr"
    rc=$?
    set -e
    want=$([[ $invalid == 1 ]] && echo "${rc_invalid[$s]}" || echo "${rc_valid[$s]}")
    read -r wall rss < <(tail -n1 "$out.time")  # after "Command exited with non-zero status N"
    printf 'run %d %-8s exit %d  %7.2f s  %8.1f MiB\n' "$r" "$s" "$rc" "$wall" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')"
    if [[ $rc != "$want" ]]; then
      echo "$s: exit $rc, expected $want ($expect); output:" >&2
      head -c 2000 "$out.stdout" "$out.stderr" >&2
      exit 1
    fi
    if [[ $r == 1 && $invalid == 1 ]]; then
      echo "    $s says: $(cat "$out.stdout" "$out.stderr" | grep -v 'fails to validate' | head -n1 | cut -c1-220)"
    fi
    walls[$s]+="$wall "
    rsss[$s]+="$rss "
  done
done

# --- summary ----------------------------------------------------------------------------------
peer=${sides[0]}
peer_wall=$(median <<<"${walls[$peer]}")
peer_rss=$(median <<<"${rsss[$peer]}")
echo
echo "medians of $runs runs, $bytes bytes ($(awk -v b="$bytes" 'BEGIN { printf "%.0f", b / 1048576 }') MiB), $expect:"
printf '%-8s %9s %9s %12s %11s %10s\n' side "wall s" "MB/s" "peak RSS MiB" "wall ratio" "RSS ratio"
for s in "${sides[@]}"; do
  w=$(median <<<"${walls[$s]}")
  m=$(median <<<"${rsss[$s]}")
  awk -v s="$s" -v w="$w" -v m="$m" -v pw="$peer_wall" -v pm="$peer_rss" -v b="$bytes" \
    'BEGIN { printf "%-8s %9.2f %9.1f %12.1f %10.2fx %9.3fx\n", s, w, (w > 0 ? b / 1e6 / w : 0), m / 1024, (pw > 0 ? w / pw : 0), m / pm }'
done
echo "(ratios: side / $peer; MB/s in 10^6 bytes per second)"
