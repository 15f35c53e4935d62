#!/usr/bin/env bash
# Cross-builds a static library for zem.exe and zembase.dll from Debian's own source package
# (Debian ships no MinGW build of them), with the toolchain file given; installs it into
# DEPS/<toolchain name>, the root the Windows build searches. LIBRARY is libpng (against Debian's
# MinGW zlib) or freetype (with its optional libraries off: the font builder needs none of them).
# Its licence goes to DEPS/<toolchain name>/share/licenses/LIBRARY, for the Windows zip.
# Built once: a later run finds it installed and does nothing (remove DEPS to take a newer source).
# Needs deb-src lines for the system's suite (`./scripts/setup.sh windows` adds them as root).
# Usage: mingw-source-lib.sh LIBRARY TOOLCHAIN_FILE DEPS_DIR
set -euo pipefail
library=$1
toolchain=$(realpath "$2")
deps=$(realpath -m "$3")
prefix=$deps/$(basename "$toolchain" .cmake)

case $library in
libpng)
    package=libpng1.6
    # Linked into a static zem.exe: zlib comes as its archive, not as zlib1.dll.
    options=(-DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF -DPNG_EXECUTABLES=OFF
        -DSKIP_INSTALL_PROGRAMS=ON -DSKIP_INSTALL_FILES=ON -DZLIB_USE_STATIC_LIBS=ON)
    license=LICENSE
    ;;
freetype)
    package=freetype
    # Gzip-compressed fonts go through FreeType's own inflate copy, so the archive needs no other
    # library at link time; colour PNG glyphs, bzip2, WOFF2 and HarfBuzz hinting are unused here.
    options=(-DBUILD_SHARED_LIBS=OFF -DFT_DISABLE_ZLIB=ON -DFT_DISABLE_BZIP2=ON
        -DFT_DISABLE_PNG=ON -DFT_DISABLE_HARFBUZZ=ON -DFT_DISABLE_BROTLI=ON)
    # Of its two licences, the FreeType License (the other is the GPL).
    license=docs/FTL.TXT
    ;;
*)
    echo "mingw-source-lib: unknown library '$library' (libpng or freetype)" >&2
    exit 2
    ;;
esac

stamp=$prefix/$library-source-version
licenses=$prefix/share/licenses/$library
[ -f "$stamp" ] && [ -f "$licenses/$(basename "$license")" ] && exit 0

# The newest source apt knows that the mirror still serves (an index may name a version whose files
# are gone from the pool).
sources=$deps/src/$library
fetch() {
    local version
    for version in $(apt-cache showsrc "$package" 2>/dev/null | sed -n 's/^Version: //p' | sort -rV); do
        rm -rf "$sources"
        mkdir -p "$sources"
        if (cd "$sources" && apt-get source -qq "$package=$version" >apt.log 2>&1); then
            echo "$version"
            return 0
        fi
    done
    return 1
}
if ! version=$(fetch); then
    [ -f "$sources/apt.log" ] && tail -n 3 "$sources/apt.log" >&2
    echo "mingw-source-lib: no $package source at hand: run ./scripts/setup.sh windows as root" \
        "(it installs dpkg-dev and adds deb-src lines for the system's suite)" >&2
    exit 1
fi
echo "mingw-source-lib: building $package $version for $(basename "$prefix")"
source_dir=$(find "$sources" -mindepth 1 -maxdepth 1 -type d -name "$package-*")

# The prefix holds every library built here: only this one's build folder starts afresh.
build=$deps/build-$library-$(basename "$prefix")
rm -rf "$build"
cmake -G Ninja -S "$source_dir" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "${options[@]}" >/dev/null
cmake --build "$build" --target install >/dev/null
mkdir -p "$licenses"
cp "$source_dir/$license" "$licenses/"
echo "$version" >"$stamp"
