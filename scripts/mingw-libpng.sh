#!/usr/bin/env bash
# Cross-builds a static libpng for zem.exe from Debian's own source package (Debian ships no
# MinGW libpng), against Debian's MinGW zlib, with the toolchain file given; installs it into
# DEPS/<toolchain name>, the root the Windows build searches. Built once: a later run finds it
# installed and does nothing (remove DEPS to take a newer source). Needs deb-src lines for the
# system's suite (`./scripts/setup.sh windows` adds them as root).
# Usage: mingw-libpng.sh TOOLCHAIN_FILE DEPS_DIR
set -euo pipefail
toolchain=$(realpath "$1")
deps=$(realpath -m "$2")
prefix=$deps/$(basename "$toolchain" .cmake)

stamp=$prefix/libpng-source-version
[ -f "$stamp" ] && exit 0

# The newest source apt knows that the mirror still serves (an index may name a version whose files
# are gone from the pool).
fetch() {
    local version
    for version in $(apt-cache showsrc libpng1.6 2>/dev/null | sed -n 's/^Version: //p' | sort -rV); do
        rm -rf "$deps/src"
        mkdir -p "$deps/src"
        if (cd "$deps/src" && apt-get source -qq "libpng1.6=$version" >apt.log 2>&1); then
            echo "$version"
            return 0
        fi
    done
    return 1
}
if ! version=$(fetch); then
    [ -f "$deps/src/apt.log" ] && tail -n 3 "$deps/src/apt.log" >&2
    echo "mingw-libpng: no libpng1.6 source at hand: run ./scripts/setup.sh windows as root" \
        "(it installs dpkg-dev and adds deb-src lines for the system's suite)" >&2
    exit 1
fi
echo "mingw-libpng: building libpng $version for $(basename "$prefix")"
source_dir=$(find "$deps/src" -mindepth 1 -maxdepth 1 -type d -name 'libpng1.6-*')

# Linked into a static zem.exe: zlib comes as its archive, not as zlib1.dll.
build=$deps/build-$(basename "$prefix")
rm -rf "$build" "$prefix"
cmake -G Ninja -S "$source_dir" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" -DPNG_SHARED=OFF -DPNG_STATIC=ON \
    -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON \
    -DZLIB_USE_STATIC_LIBS=ON >/dev/null
cmake --build "$build" --target install >/dev/null
echo "$version" >"$stamp"
