#!/bin/sh
# Kills saves, line edits and in-place saves at random points (300 each) and checks that
# every file is left old or new byte for byte; prints the figures. Not part of ctest, since
# it takes about a minute. Usage: tests/crash-loop.sh [PRESET]   (default: default)
set -eu
preset=${1:-default}
cd "$(dirname "$0")/.."
cmake --build --preset "$preset" -j2 --target CrashLoop_test
exec "build/$preset/tests/CrashLoop_test"
