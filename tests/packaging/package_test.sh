#!/usr/bin/env bash
# The Debian package, built by CPack into a folder of its own and taken apart without root: its
# control fields, its files where Debian and each host look for them, and its programs run from
# the unpacked tree, which finds everything through the relative paths and links it installs.
#   package_test.sh BUILD_DIR
# From CTest's environment: QB_VERSION, the install folders QB_PLUGIN_FOLDER (under /usr),
# QB_GEGL_FOLDER, QB_OFX_FOLDER and QB_PYTHON_FOLDER (empty without the Python module), and the
# programs QB_PYTHON and QB_GEGL_PROGRAM.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

source "$(dirname "$0")/../../scripts/checks.sh"
# same WHAT EXPECTED ACTUAL
same() {
    check "$1: expected [$2], got [$3]" test "$2" = "$3"
}
# has WHAT TEXT PATTERN: the text has a line matching the extended regular expression.
has() {
    check "$1" grep -qE -- "$3" <<<"$2"
}

cpack -G DEB -B "$work" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; exit 1; }
package=$work/quillbloom_${QB_VERSION}_amd64.deb
check "the package is named as Debian names it" test -f "$package"

# ---- Control fields: dependencies worked out from the linked libraries, and maintainer
# scripts that leave nothing of their own behind.
same "package name" quillbloom "$(dpkg-deb -f "$package" Package)"
same "version" "$QB_VERSION" "$(dpkg-deb -f "$package" Version)"
same "architecture" amd64 "$(dpkg-deb -f "$package" Architecture)"
depends=$(dpkg-deb -f "$package" Depends | tr ',' '\n')
for library in libc6 libstdc\\+\\+6 libgomp1 libtiff6 libopencv-core406 libopenimageio2.4 libgegl-0.4-0 libfmt9; do
    has "depends on $library" "$depends" "^ ?$library( |$)"
done
mkdir "$work/control"
dpkg-deb -e "$package" "$work/control"
for script in preinst prerm; do
    check "no $script" test ! -e "$work/control/$script"
done
for script in postinst postrm; do
    if [ -e "$work/control/$script" ]; then
        check "$script only refreshes the linker's cache" \
            test -z "$(grep -vE '^(#!/bin/sh|set -e|if \[ "\$1" = "[a-z]+" \]; then|.ldconfig|fi|)$' \
                "$work/control/$script")"
    fi
done

# ---- Files: everything under /usr, each front end where its host looks.
files=$(dpkg-deb -c "$package" | awk '{ print $6 }' | sed 's|^\./|/|; s|/$||')
same "files outside /usr" "" "$(grep -vE '^/(usr(/.*)?)?$' <<<"$files" || true)"
for file in /usr/bin/quillbloom "/usr/$QB_PLUGIN_FOLDER/QuilAE.aex" \
    "/usr/$QB_PLUGIN_FOLDER/help/index.html" "/usr/$QB_PLUGIN_FOLDER/pattern/06/127.tif" \
    /usr/share/man/man1/quillbloom.1.gz /usr/share/bash-completion/completions/quillbloom \
    /usr/share/doc/quillbloom/copyright /usr/share/doc/quillbloom/THIRD-PARTY \
    "$QB_GEGL_FOLDER/quillbloom.so" "$QB_GEGL_FOLDER/quillbloom" \
    "$QB_OFX_FOLDER/Quillbloom.ofx.bundle/Contents/Linux-x86-64/Quillbloom.ofx" \
    "$QB_OFX_FOLDER/Quillbloom.ofx.bundle/Contents/Resources"; do
    has "the package holds $file" "$files" "^$file\$"
done
if [ -n "$QB_PYTHON_FOLDER" ]; then
    for file in "$QB_PYTHON_FOLDER/quillbloom.pyi" "$QB_PYTHON_FOLDER/quillbloom"; do
        has "the package holds $file" "$files" "^$file\$"
    done
    has "the package holds the Python module" "$files" \
        "^$QB_PYTHON_FOLDER/quillbloom\.cpython-[0-9]+-x86_64-linux-gnu\.so\$"
fi
same "copies of the module" 1 "$(grep -c '/QuilAE\.aex$' <<<"$files")"

root=$work/root
dpkg-deb -x "$package" "$root"
same "links that lead nowhere" "" "$(find "$root" -xtype l)"
same "files naming the build folder" "" "$(grep -rl -- "$build" "$root" || true)"

# ---- The programs, run from the unpacked tree.
same "quillbloom --version" "quillbloom $QB_VERSION" "$("$root/usr/bin/quillbloom" --version)"
has "the installed tool finds the installed plug-in folder" \
    "$("$root/usr/bin/quillbloom" shapes)" "^Iris shapes in $root/usr/$QB_PLUGIN_FOLDER/pattern "
check "the installed tool renders the demo" \
    "$root/usr/bin/quillbloom" demo --downsample 4 -o "$work/demo.jpg" >/dev/null 2>&1
check "GEGL finds the operation" \
    env GEGL_PATH="$root$QB_GEGL_FOLDER" "$QB_GEGL_PROGRAM" --exists quillbloom:depth-of-field
bundle=$root$QB_OFX_FOLDER/Quillbloom.ofx.bundle/Contents
check "the bundle's resources are the plug-in folder" test -f "$bundle/Resources/QuilAE.aex"
has "the bundle exports its entry point" \
    "$(nm -D --defined-only "$bundle/Linux-x86-64/Quillbloom.ofx")" " OfxGetPlugin$"
if [ -n "$QB_PYTHON_FOLDER" ]; then
    same "the Python module's version and shapes" "$QB_VERSION 7" \
        "$(PYTHONPATH="$root$QB_PYTHON_FOLDER" "$QB_PYTHON" -c \
            'import quillbloom; print(quillbloom.__version__, len(quillbloom.shapes()))')"
fi

# ---- The man page and the bash completion.
page=$root/usr/share/man/man1/quillbloom.1.gz
same "man's warnings" "" "$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
manual=$(MANWIDTH=80 man -l "$page" 2>/dev/null)
has "the man page's name line" "$manual" "^ +quillbloom +- a depth-of-field"
for section in SYNOPSIS DESCRIPTION OPTIONS COMMANDS "EXIT STATUS" ENVIRONMENT FILES; do
    has "the man page's $section" "$manual" "^$section\$"
done
has "the man page's render flags" "$manual" "^ +--focus-at TEXT$"
# complete WORD...: what the completion offers for the last word.
complete() {
    PATH="$root/usr/bin:$PATH" bash -c \
        'source "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _quillbloom
         printf "%s\n" "${COMPREPLY[@]}"' \
        "$root/usr/share/bash-completion/completions/quillbloom" quillbloom "$@"
}
same "completion of a subcommand" "render" "$(complete re)"
same "completion of a flag" "--light" "$(complete render in.exr --li)"
same "completion of a flag's words" "auto linear display" "$(complete render --light '' | xargs)"
same "completion of the shapes" "05 06 07 08 09 circle fringe" \
    "$(complete demo --shape '' | xargs)"
same "completion after a number flag" "" "$(complete demo --amount '')"

checks_summary debian_package
