#!/usr/bin/env bash
# Mail library benchmark: MESSAGES messages (default 200) with a 1 MB attachment each to a local
# SMTP server, plain and with STARTTLS + login; wall time and peak RSS of the whole run.
set -euo pipefail
build=${BUILD:-build}
cmake --build "$build" -j2 --target vx_bench_mail >/dev/null
/usr/bin/time -v "$build/bin/vx_bench_mail" "${1:-200}" "${2:-1048576}" 2> >(grep -E "Elapsed|Maximum resident" >&2)
