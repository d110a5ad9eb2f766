#!/usr/bin/env bash
# Configures and builds into a build folder: scripts/build.sh [BUILD_DIR] [cmake options...]
# QB_JOBS sets how many compilers run at once (default: one a CPU).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="${1:-$root/build}"
shift || true
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
cmake --build "$build_dir" -j "${QB_JOBS:-$(nproc)}"
