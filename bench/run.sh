#!/usr/bin/env bash
# Builds the benchmarks with every peer library, runs them all and writes bench/RESULTS.md.
#   bench/run.sh            the full run (about 15 minutes on 2 cores)
#   bench/run.sh --quick    fewer repetitions, for a look at the figures
# Installs what it needs (Debian packages) when it is missing. The benchmark files are
# generated under $QELCFG_BENCH_DATA (default /tmp/qelcfg-bench-data) and not kept in git.
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
[ "${1:-}" = "--quick" ] && quick=1

packages=(cmake g++ pkg-config python3 libbenchmark-dev libinih-dev libsimpleini-dev
          libglib2.0-dev libboost-dev valgrind strace)
missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi

# -O2, as distributions build packages (and so the peers this library is compared with).
release_flags="-O2 -DNDEBUG"
echo "== building (preset bench, $release_flags)"
cmake --preset bench -DCMAKE_CXX_FLAGS_RELEASE="$release_flags" >/dev/null
cmake --build --preset bench -j2

bin=build/bench/bench
out=build/bench/results
data=${QELCFG_BENCH_DATA:-/tmp/qelcfg-bench-data}
export QELCFG_BENCH_DATA=$data
mkdir -p "$out" "$data"

echo "== generating the files"
for shape in S M L wide; do
    [ -f "$data/$shape.ini" ] || "$bin/qelcfg_bench_gen" "$shape" "$data/$shape.ini"
done

readers=$("$bin/qelcfg_bench_load" --list)

echo "== one load per process: content check, wall time, peak resident set"
: >"$out/process.txt"
uptime | sed 's/.*load average: /load-before /' >"$out/load.txt"
runs_for() { # shape -> repetitions
    if [ $quick = 1 ]; then echo 3; else case $1 in M) echo 21 ;; L) echo 7 ;; *) echo 11 ;; esac; fi
}
# The readers take turns, one process each, so that a change in the machine's load falls
# on all of them alike.
for shape in M L wide; do
    file="$data/$shape.ini"
    reference=$("$bin/qelcfg_bench_load" qelcfg "$file" --check | cut -d' ' -f4-)
    for reader in $readers; do
        counts=$("$bin/qelcfg_bench_load" "$reader" "$file" --check | cut -d' ' -f4-)
        if [ "$counts" != "$reference" ]; then
            echo "$reader reads other content in $shape: $counts, not $reference" >&2
            exit 1
        fi
    done
    for _ in $(seq "$(runs_for "$shape")"); do
        for reader in $readers; do
            start=$EPOCHREALTIME
            line=$("$bin/qelcfg_bench_load" "$reader" "$file")
            end=$EPOCHREALTIME
            echo "$shape $line $(python3 -c "print(($end - $start) * 1000)")" >>"$out/process.txt"
        done
    done
    echo "   $shape: $reference (sections keys key+value bytes), read alike by: $readers"
done
for length in 1048576 8388608 67108864; do
    file="$data/long-$length.ini"
    [ -f "$file" ] || "$bin/qelcfg_bench_gen" "long:$length" "$file"
    for _ in $(seq "$(runs_for long)"); do
        echo "long-$length $("$bin/qelcfg_bench_load" qelcfg "$file") 0" >>"$out/process.txt"
    done
done
"$bin/qelcfg_bench_load" none "$data/S.ini" | sed 's/^/base /' >>"$out/process.txt"

echo "== instructions and read calls of one load per process"
# Instructions of the whole process (callgrind), whose difference between M and S is what
# loading the lines of M costs beyond starting a process and opening a file; and the read
# calls on the file itself (strace), whatever the stream's buffer.
: >"$out/instructions.txt"
: >"$out/reads.txt"
for reader in $readers; do
    for shape in S M; do
        ir=$(valgrind --tool=callgrind --callgrind-out-file=/dev/null \
            "$bin/qelcfg_bench_load" "$reader" "$data/$shape.ini" 2>&1 >/dev/null |
            sed -n 's/.*Collected : //p')
        echo "$shape $reader $ir" >>"$out/instructions.txt"
    done
    for shape in S M L; do
        strace -qq -f -P "$data/$shape.ini" -e trace=read,readv,pread64,preadv \
            -o "$out/strace.txt" "$bin/qelcfg_bench_load" "$reader" "$data/$shape.ini" >/dev/null
        echo "$shape $reader $(grep -c . "$out/strace.txt")" >>"$out/reads.txt"
    done
done

echo "== the memory floor of the data model on L"
"$bin/qelcfg_bench_floor" "$data/L.ini" >"$out/floor-x86-64.txt"
# The same program for 32-bit ARM, run under qemu-user, when the cross compiler is there.
rm -f "$out/floor-arm.txt"
if command -v arm-linux-gnueabihf-g++ >/dev/null && command -v qemu-arm >/dev/null; then
    arm=build/bench-arm
    cmake --preset arm -B "$arm" -DQELCFG_BUILD_TESTS=OFF -DQELCFG_BUILD_TOOLS=OFF \
        -DCMAKE_CXX_FLAGS_RELEASE="$release_flags" >/dev/null
    cmake --build "$arm" -j2 --target Qel_CfgFile >/dev/null
    arm-linux-gnueabihf-g++ -std=c++17 $release_flags -D_FILE_OFFSET_BITS=64 -IQel_CfgFilelib \
        bench/Floor.cpp -o "$arm/qelcfg_bench_floor" -L"$arm/Qel_CfgFilelib" -lQel_CfgFile
    qemu-arm -L /usr/arm-linux-gnueabihf -E LD_LIBRARY_PATH="$arm/Qel_CfgFilelib" \
        "$arm/qelcfg_bench_floor" "$data/L.ini" >"$out/floor-arm.txt"
fi

echo "== Google Benchmark cases"
# One process for each reader and file, so that no case inherits the heap that another
# reader's case left behind.
reps=5
[ $quick = 1 ] && reps=1
rm -f "$out"/bench-*.json
run_cases() { # filter, output name
    "$bin/qelcfg_bench" --benchmark_filter="$1" --benchmark_repetitions=$reps \
        --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
        --benchmark_out="$out/bench-$2.json" --benchmark_out_format=json
}
for shape in S M L wide; do
    for reader in $readers; do
        run_cases "^[A-Za-z]+/${reader//./\\.}/$shape(/|\$)" "$reader-$shape"
    done
done
run_cases "^Own/" own

echo "== memory of lookups and of huge and hostile files; killed saves and edits"
"$bin/qelcfg_bench_memory" "$data" >"$out/memory.txt"
"$bin/qelcfg_bench_crashloop" "$data" >"$out/crashloop.txt"
tool=build/default/tools/qelcfg/qelcfg
if [ -x "$tool" ]; then
    "$bin/qelcfg_bench_writers" "$tool" "$data" >"$out/writers.txt"
else
    echo "(no qelcfg to race with: build it with cmake --build --preset default)" >"$out/writers.txt"
fi

uptime | sed 's/.*load average: /load-after /' >>"$out/load.txt"

echo "== writing bench/RESULTS.md"
{
    python3 bench/report.py "$out" "$out/process.txt" "$out/load.txt"
    printf '## Memory\n\nAllocations of lookups and typed reads on a loaded tree, and the rise of\n'
    printf "a process's peak resident memory while it loads each file (qelcfg_bench_memory).\n\n"
    printf '```\n%s\n```\n\n' "$(cat "$out/memory.txt")"
    printf '## Killed saves and edits\n\nEach operation killed at a random point, 300 times, and\n'
    printf 'what the kill left (qelcfg_bench_crashloop).\n\n'
    printf '```\n%s\n```\n\n' "$(cat "$out/crashloop.txt")"
    printf '## Writers racing on one file\n\nWriters adding 60 keys each to one file at once, and\n'
    printf 'what became of each update (qelcfg_bench_writers).\n\n'
    printf '```\n%s\n```\n' "$(cat "$out/writers.txt")"
} >bench/RESULTS.md
echo "bench/RESULTS.md written"
