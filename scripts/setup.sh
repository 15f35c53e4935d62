#!/usr/bin/env bash
# Installs the Debian packages the build, tests and benchmarks need, when some are missing;
# with the argument "docs", those that the API reference needs instead; with "windows", those of
# the 32-bit Windows cross-build and its run under Wine; with "web", those of the WebAssembly build
# and its test in Chromium (Node.js and npm only when the machine has no node of its own).
set -eu

packages=(cmake ninja-build make g++ clang libclang-rt-14-dev pkg-config
          libgtest-dev libgmock-dev libbenchmark-dev libphysfs-dev zip locales gimp-data
          imagemagick netpbm giflib-tools python3-pil libpng-dev libstb-dev libgif-dev
          libsdl2-image-dev libsdl2-dev libfreetype-dev fonts-dejavu-core xfonts-base)
if [ "${1:-}" = docs ]; then
    packages=(doxygen python3)
fi
if [ "${1:-}" = windows ]; then
    packages=(cmake ninja-build make g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest wine wine32:i386
              wine64 zip)
fi
if [ "${1:-}" = web ]; then
    packages=(cmake ninja-build make emscripten chromium)
    command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages: ${missing[*]} (run as root, or install them with apt-get)" >&2
    exit 0
fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# wine32 comes from the i386 architecture.
if [ "${1:-}" = windows ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
