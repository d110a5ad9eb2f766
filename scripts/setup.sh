#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need; skips what is present.
set -euo pipefail

packages=(
    build-essential cmake pkg-config clang-format git
    libtiff-dev libfmt-dev libcli11-dev libopenimageio-dev libopencv-core-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    libgegl-dev gegl
    pybind11-dev python3-dev python3-numpy
    chromium
    # The Debian package: CPack's dependency list (dpkg-shlibdeps), the man page's check, and
    # the clean Debian root scripts/check-package.sh installs it into.
    dpkg-dev man-db debootstrap
)
# The farm test starts a throwaway Slurm cluster. Its packages bring daemons, so they are only
# installed where that test is wanted: in CI, or when asked.
if [ "${CI:-}" = "true" ] || [ "${QB_WITH_SLURM:-}" = "1" ]; then
    packages+=(slurm-wlm munge)
fi

missing=()
for package in "${packages[@]}"; do
    dpkg -s "$package" >/dev/null 2>&1 || missing+=("$package")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

sudo_if_needed=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_if_needed=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_if_needed[@]}" apt-get update
"${sudo_if_needed[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
