#!/usr/bin/env bash
# Installs the Debian packages the build, tests and benchmarks need, when some are missing;
# with the argument "demo", only those of the library, zem and the tour; with "docs", those that the API reference needs instead; with "windows", those of
# the 32-bit Windows cross-build and its run under Wine; with "windows64", those of the 64-bit one,
# run natively by wine64; with "linux32", those of the -m32 build; with "sources", those that
# rebuild the conformance pictures from Debian's source packages
# (tests/data/conformance_fixtures.py), and the deb-src lines that apt-get source needs;
# with "web", those of the WebAssembly build and its test in Chromium (Node.js and npm only when
# the machine has no node of its own). Windows and linux32 run 32-bit x86 programs, which this
# kernel may not: they are run by qemu-i386, registered with binfmt_misc (see
# setup_i386_emulation). Every step is taken only when missing.
set -eu

mode=${1:-}
packages=(cmake ninja-build make g++ clang libclang-rt-14-dev pkg-config
          libgtest-dev libgmock-dev libbenchmark-dev libphysfs-dev zip locales gimp-data
          imagemagick netpbm giflib-tools python3-pil libpng-dev libstb-dev libgif-dev
          libsdl2-image-dev libsdl2-dev libfreetype-dev fonts-dejavu-core xfonts-base)
# wine64 brings the native wineserver, which serves the 32-bit Wine too: qemu then emulates the
# Windows programs only.
case "$mode" in
demo) packages=(cmake ninja-build make g++ libpng-dev libfreetype-dev fonts-dejavu-core) ;;
docs) packages=(doxygen python3) ;;
windows) packages=(cmake ninja-build make g++-mingw-w64-i686-posix googletest libz-mingw-w64-dev dpkg-dev
                   wine wine32:i386 wine64 zip unzip file qemu-user) ;;
windows64) packages=(cmake ninja-build make g++-mingw-w64-x86-64-posix googletest libz-mingw-w64-dev
                     dpkg-dev wine wine64 zip unzip file) ;;
# PhysFS has no i386 form beside the native one: the 32-bit tests leave its comparisons out.
linux32) packages=(cmake ninja-build make g++-multilib qemu-user libgtest-dev:i386
                   libfreetype-dev:i386 libpng-dev:i386) ;;
sources) packages=(dpkg-dev python3-pil) ;;
web) packages=(cmake ninja-build make emscripten chromium)
     command -v node >/dev/null && command -v npm >/dev/null || packages+=(nodejs npm) ;;
esac

is_root() { [ "$(id -u)" -eq 0 ]; }

# Wine needs qemu-user 10 from bookworm-backports: bookworm's 7.2 treats MAP_FIXED_NOREPLACE as a
# hint, and Wine then fails with "failed to map the shared user data".
BACKPORTS=/etc/apt/sources.list.d/bookworm-backports.sources
add_backports() {
    grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/ && return 0
    printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
        'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' > "$BACKPORTS"
}

# zem.exe links a libpng built from Debian's own source package (Debian has no MinGW libpng), and
# the conformance pictures come from Pillow's and gdk-pixbuf's: apt must know the sources of the
# suite the system runs. Added once, beside the binary lines.
SOURCES=/etc/apt/sources.list.d/zem-deb-src.sources
has_sources() { apt-cache showsrc libpng1.6 2>/dev/null | grep -q '^Package: libpng1.6$'; }
add_sources() {
    local suite
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
    printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' \
        "Suites: $suite $suite-updates" 'Components: main' \
        'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' '' \
        'Types: deb-src' 'URIs: http://deb.debian.org/debian-security' "Suites: $suite-security" \
        'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' > "$SOURCES"
}

missing_packages() {
    for package in "${packages[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            echo "$package"
        fi
    done
}

# qemu-i386 runs i386 ELF programs (the F flag opens it now, so it serves in any mount namespace).
BINFMT=/proc/sys/fs/binfmt_misc
I386_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
I386_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
setup_i386_emulation() {
    [ -e $BINFMT/qemu-i386 ] && return 0
    if ! is_root; then
        echo "setup: 32-bit x86 programs need qemu-i386 registered with binfmt_misc (run as root)" >&2
        return 0
    fi
    grep -qs " $BINFMT " /proc/mounts || mount -t binfmt_misc binfmt_misc $BINFMT
    echo ":qemu-i386:M::$I386_MAGIC:$I386_MASK:/usr/bin/qemu-i386:F" > $BINFMT/register
}

mapfile -t missing < <(missing_packages)
need_qemu=0
case "$mode" in windows | linux32) need_qemu=1 ;; esac
if [ $need_qemu = 1 ] && ! /usr/bin/qemu-i386 --version 2>/dev/null | grep -q 'version \(9\|[1-9][0-9]\)\.'; then
    missing+=(qemu-user)
fi

need_sources=0
if [[ $mode == windows* || $mode == sources ]] && ! has_sources; then
    need_sources=1
fi

if [ ${#missing[@]} -ne 0 ] || [ $need_sources = 1 ]; then
    if ! is_root; then
        if [ ${#missing[@]} -ne 0 ]; then
            echo "setup: missing packages: ${missing[*]} (run as root, or install them with apt-get)" >&2
        fi
        if [ $need_sources = 1 ]; then
            echo "setup: apt knows no source packages (run as root, or add deb-src lines for the system's suite and apt-get update)" >&2
        fi
        exit 0
    fi
    export DEBIAN_FRONTEND=noninteractive
    if [ $need_sources = 1 ]; then
        echo "setup: adding the source packages of the system's suite to apt ($SOURCES)"
        add_sources
    fi
    if [ $need_qemu = 1 ]; then
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
        add_backports || true
    fi
    apt-get update -o DPkg::Lock::Timeout=900 -qq
fi
if [ ${#missing[@]} -ne 0 ]; then
    echo "setup: installing ${missing[*]}"
    if [ $need_qemu = 1 ]; then
        apt-get install -o DPkg::Lock::Timeout=900 -y -qq --no-install-recommends -t bookworm-backports qemu-user >/dev/null
    fi
    apt-get install -o DPkg::Lock::Timeout=900 -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
[ $need_qemu = 1 ] && setup_i386_emulation
exit 0
