#!/usr/bin/env bash
# Fails when a C++ source of the project differs from what clang-format 14 makes of it.
set -euo pipefail
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || command -v clang-format)
find . \( -path ./build -o -path ./.git \) -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0 |
    xargs -0 "$format" --dry-run --Werror
