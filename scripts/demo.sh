#!/usr/bin/env bash
# Builds Vallorin and starts the panel on a demo prefix with the toolkit installed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake --preset default
cmake --build --preset default -j"$(nproc)"
export VALLORIN_PREFIX="${VALLORIN_PREFIX:-$PWD/build/demo-prefix}"
scripts/make-demo-prefix.sh "$VALLORIN_PREFIX"
exec build/default/bin/vallorin
