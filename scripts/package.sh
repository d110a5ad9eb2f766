#!/usr/bin/env bash
# Builds the Debian package from the install rules with CPack and prints its path:
#   scripts/package.sh [BUILD_DIR]
# Installs what is missing and builds first, as scripts/build.sh does.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build_dir="$(realpath -m "${1:-$root/build}")"
bash "$root/scripts/setup.sh" >&2
bash "$root/scripts/build.sh" "$build_dir" >&2
log="$(cd "$build_dir" && cpack -G DEB)" || { echo "$log" >&2; exit 1; }
# CPack's last word: "CPack: - package: PATH generated."
sed -n 's/^CPack: - package: \(.*\) generated\.$/\1/p' <<<"$log"
