#!/usr/bin/env bash
# Builds the panel, vallorin-reg and the toolkit (nothing else) and starts the panel on a demo
# prefix with the toolkit installed.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "$0: the panel needs a display: run this in a desktop session (or under xvfb-run)" >&2
    exit 1
fi
scripts/deps.sh
cmake --preset default -DVALLORIN_BUILD_TESTS=OFF -DVALLORIN_BUILD_BENCH=OFF
cmake --build --preset default -j"$(nproc)" --target vallorin vallorin-reg vallorin-services avtk_toolkit
export VALLORIN_PREFIX="${VALLORIN_PREFIX:-$PWD/build/demo-prefix}"
scripts/make-demo-prefix.sh "$VALLORIN_PREFIX"
exec build/default/bin/vallorin
