#!/usr/bin/env bash
# Runs every benchmark case once on the small files and fails when any case reports an
# error (a reader that reads other content, a failed save or edit). Not a measurement.
#   bench/smoke.sh BINARY_DIR
set -euo pipefail
bin=$1
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
export QELCFG_BENCH_DATA=$data QELCFG_BENCH_SHAPES=S QELCFG_BENCH_LONG=102400

"$bin/qelcfg_bench_gen" S "$data/S.ini"
reference=$("$bin/qelcfg_bench_load" qelcfg "$data/S.ini" --check | cut -d' ' -f4-)
for reader in $("$bin/qelcfg_bench_load" --list); do
    counts=$("$bin/qelcfg_bench_load" "$reader" "$data/S.ini" --check | cut -d' ' -f4-)
    if [ "$counts" != "$reference" ]; then
        echo "$reader reads other content: $counts, not $reference" >&2
        exit 1
    fi
done
"$bin/qelcfg_bench" --benchmark_min_time=0.0001 --benchmark_out="$data/smoke.json" \
    --benchmark_out_format=json
if grep -q '"error_occurred": true' "$data/smoke.json"; then
    echo "a benchmark case failed" >&2
    exit 1
fi
"$bin/qelcfg_bench_memory" "$data" >/dev/null
echo "every benchmark case ran once"
