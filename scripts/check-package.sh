#!/usr/bin/env bash
# Installs the Debian package into a clean Debian 12 root made with debootstrap, uses it as the
# README says, removes it and checks that nothing of it is left:
#   scripts/check-package.sh [PACKAGE.deb]      (default: the one scripts/package.sh builds)
# Needs root and debootstrap, and reaches the Debian mirror of this machine's apt sources
# (QB_DEBIAN_MIRROR names another); without them it says why and skips.
set -euo pipefail
root_dir="$(cd "$(dirname "$0")/.." && pwd)"
release=bookworm # Debian 12, the release the package is built on and for

skip() {
    echo "check-package: skipped: $*"
    exit 0
}
[ "$(id -u)" -eq 0 ] || skip "debootstrap and chroot need root"
command -v debootstrap >/dev/null || skip "debootstrap is not installed (apt-get install debootstrap)"

# The first mirror this machine's apt takes the release from, in either format of apt's sources.
debian_mirror() {
    local sources=(/etc/apt/sources.list /etc/apt/sources.list.d/*.list)
    local deb822=(/etc/apt/sources.list.d/*.sources)
    {
        cat "${sources[@]}" 2>/dev/null | sed 's/\[[^]]*\]//' |
            awk -v release="$release" '$1 == "deb" && $3 == release { print $2 }'
        cat "${deb822[@]}" 2>/dev/null | awk -v release="$release" '
            BEGIN { RS = ""; FS = "\n" }
            {
                uri = ""; wanted = 0; binary = 0
                for (i = 1; i <= NF; i++) {
                    if ($i ~ /^URIs:/) { split($i, words, " "); uri = words[2] }
                    if ($i ~ /^Types:/ && $i ~ /(^|[ \t])deb([ \t]|$)/) binary = 1
                    if ($i ~ /^Suites:/ && $i ~ ("[ \t]" release "([ \t]|$)")) wanted = 1
                }
                if (uri != "" && wanted && binary) print uri
            }'
    } | head -n 1
}
mirror="${QB_DEBIAN_MIRROR:-$(debian_mirror)}"
[ -n "$mirror" ] || skip "no Debian $release mirror in apt's sources: set QB_DEBIAN_MIRROR"

package="${1:-$(bash "$root_dir/scripts/package.sh")}"
package="$(realpath "$package")"

root="$(mktemp -d /tmp/qb-check-package.XXXXXX)"
# A root directory others can enter: apt downloads and man-db indexes as users of their own.
chmod 755 "$root"
cleanup() {
    umount "$root/proc" 2>/dev/null || true
    rm -rf --one-file-system "$root" "$root.debootstrap.log"
}
trap cleanup EXIT

source "$root_dir/scripts/checks.sh"
in_root() {
    chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive "$@"
}

echo "check-package: a clean Debian $release root from $mirror"
debootstrap --variant=minbase "$release" "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
    { tail -n 20 "$root.debootstrap.log"; exit 1; }
mount -t proc proc "$root/proc"
cp "$package" "$root/tmp/"
name="$(basename "$package")"
in_root apt-get update -qq

# The package alone must bring what it needs; man and gegl are programs of the user's own.
echo "check-package: installing $name"
in_root apt-get install -y -qq "/tmp/$name" >/dev/null
check "quillbloom demo" in_root sh -c 'cd /tmp && quillbloom demo >/dev/null 2>&1'
check "the demo's picture" test -s "$root/tmp/quillbloom-demo.jpg"
version="$(dpkg-deb -f "$package" Version)"
check "python3: quillbloom.__version__" \
    test "$(in_root python3 -c 'import quillbloom; print(quillbloom.__version__)')" = "$version"
check "python3: a render" in_root python3 -c \
    'import numpy, quillbloom; assert quillbloom.render(numpy.zeros((16, 16, 3), numpy.uint8), amount=4).shape == (16, 16, 3)'
bundle="$root/usr/OFX/Plugins/Quillbloom.ofx.bundle/Contents"
check "the OpenFX bundle in /usr/OFX/Plugins" test -f "$bundle/Linux-x86-64/Quillbloom.ofx"
check "the OpenFX bundle's resources" test -f "$bundle/Resources/QuilAE.aex"
in_root apt-get install -y -qq man-db gegl >/dev/null
check "man quillbloom" in_root sh -c 'man -P cat quillbloom 2>/dev/null | grep -q "^NAME"'
check "gegl --exists quillbloom:depth-of-field" in_root gegl --exists quillbloom:depth-of-field
check "bash completion" test "$(in_root bash -c \
    'source /usr/share/bash-completion/completions/quillbloom
     COMP_WORDS=(quillbloom demo --sha); COMP_CWORD=2; _quillbloom; echo "${COMPREPLY[*]}"')" = \
    "--shape"

# Removal: every file and link of the package goes, and nothing named after it stays.
owned="$(in_root dpkg -L quillbloom)"
in_root apt-get purge -y -qq quillbloom >/dev/null
left=""
while read -r path; do
    if [ -f "$root$path" ] || [ -L "$root$path" ]; then
        left+="$path "
    fi
done <<<"$owned"
check "files of the package left after removal: $left" test -z "$left"
# Not looked at: /tmp, where the checks wrote, and man-db's cache of formatted pages, where
# `man quillbloom` left a copy as it does of every page read; man-db's daily job expires them.
named="$(find "$root" -mindepth 1 -xdev \
    \( -path "$root/proc" -o -path "$root/tmp" -o -path "$root/var/cache/man" \) -prune -o \
    \( -iname '*quillbloom*' -o -path "$root/usr/OFX*" \) -print)"
check "paths named after the package left after removal: $named" test -z "$named"

checks_summary check-package
