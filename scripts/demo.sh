#!/usr/bin/env bash
# Installs what is missing, builds, and runs the built-in demo.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build"
"$root/build/quillbloom" demo
