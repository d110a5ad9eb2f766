#!/usr/bin/env bash
# Fails when a tracked C or C++ source differs from what .clang-format makes of it.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"
git ls-files -z '*.c' '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror
echo "Every source is formatted."
