#!/usr/bin/env bash
# Builds the fuzz targets (configure preset "fuzz": clang++, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for the given number of seconds, one after the
# other, on a working copy of its seed corpus under build/fuzz. Inputs found in earlier
# runs stay in that copy; inputs that break a property are written to build/fuzz/artifacts.
#
#   fuzz/run.sh [seconds-per-target] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    targets=(IniLoad IniEdit FindSection KeyLine TypedRead LineEdit TextEdit)
fi

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target "${targets[@]/%/_fuzz}"

work=build/fuzz/corpus
artifacts=build/fuzz/artifacts
mkdir -p "$artifacts"
failed=()
for target in "${targets[@]}"; do
    mkdir -p "$work/$target"
    cp -n fuzz/corpus/"$target"/* "$work/$target"/
    echo "== $target: ${seconds}s"
    if ! nice build/fuzz/fuzz/"${target}"_fuzz "$work/$target" -max_total_time="$seconds" \
        -dict=fuzz/ini.dict -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$target-" 2>"build/fuzz/$target.log"; then
        failed+=("$target")
        grep -E 'property broken|ERROR|runtime error' "build/fuzz/$target.log" || true
    fi
    grep -E '^stat::number_of_executed_units|^Done' "build/fuzz/$target.log" || true
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz targets that failed: ${failed[*]} (inputs in $artifacts)"
    exit 1
fi
