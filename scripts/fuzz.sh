#!/usr/bin/env bash
# Builds the libFuzzer targets (the fuzz preset: clang, ASan, UBSan) and runs each for a bounded
# time: scripts/fuzz.sh [seconds per target, default 60]. New inputs go to build/fuzz/corpus/,
# the seeds in fuzz/corpus/ are only read; a crash leaves its input in build/fuzz/artifacts/
# and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
scripts/deps.sh test
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target vallorin_fuzzers -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=0}" # Qt keeps its caches to the end
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
mkdir -p build/fuzz/artifacts
status=0
for source in fuzz/*Fuzzer.cpp; do
    name="$(basename "$source" .cpp)"
    mkdir -p "build/fuzz/corpus/$name" "fuzz/corpus/$name"
    log="build/fuzz/$name.log"
    if build/fuzz/bin/"$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="build/fuzz/artifacts/$name-" \
        "build/fuzz/corpus/$name" "fuzz/corpus/$name" >"$log" 2>&1; then
        result="no findings"
    else
        result="FINDING (see $log and build/fuzz/artifacts/)"
        status=1
    fi
    runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)"
    echo "$name: ${runs:-?} executions in ${seconds}s, $result"
done
exit $status
