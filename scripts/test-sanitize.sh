#!/usr/bin/env bash
# Builds the whole test suite with AddressSanitizer and UndefinedBehaviorSanitizer (clang) and
# runs it. Any report fails the test that caused it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake --preset sanitize
cmake --build --preset sanitize -j"$(nproc)"
# No strict_string_checks: the X keyboard library hands strndup() buffers without a final NUL.
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}"
# The desktop's D-Bus and font libraries keep their caches to the end; they are not our leaks.
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp:print_suppressions=0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
ctest --preset sanitize -j"$(nproc)"
