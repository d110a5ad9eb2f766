#!/usr/bin/env bash
# Installs what is missing, builds, and renders the built-in demo scene into build/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build"
"$root/build/quillbloom" demo -o "$root/build/quillbloom-demo.jpg"
