#!/usr/bin/env bash
# Builds Vallorin and runs the whole test suite (headless; the end-to-end tests use Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh test
cmake --preset default
cmake --build --preset default -j"$(nproc)"
ctest --preset default -j"$(nproc)"
