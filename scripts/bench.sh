#!/usr/bin/env bash
# Builds the benchmarks (release build) and runs each; each program compares the program's
# figure with its floor in the same run. Extra arguments go to every benchmark program
# (e.g. --benchmark_filter=Save).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake --preset default >/dev/null
targets=()
for source in bench/*Bench.cpp; do targets+=("$(basename "$source" .cpp)"); done
cmake --build --preset default -j"$(nproc)" --target "${targets[@]}"
export QT_QPA_PLATFORM=offscreen
for target in "${targets[@]}"; do
    echo "== $target"
    build/default/bin/"$target" --benchmark_counters_tabular=true --benchmark_min_time=2 "$@"
done
