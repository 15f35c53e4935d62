#!/usr/bin/env bash
# Checks the Windows package zip: it holds what the README promises, its programs are 32-bit x86,
# zembase.dll and zem.exe need no DLL but the system's (and zem.exe our own), the licences are
# there, its pkg-config file needs nothing the zip lacks, and a program built against it as the
# README says, by hand and with CMake, runs under Wine with the DLLs of bin beside it.
set -euo pipefail
zip=$(realpath "$1")
consumer=$(realpath "$(dirname "$0")/../tests/consumer")
work=$(mktemp -d)
export WINEPREFIX=$work/wine WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
trap 'wineserver -k >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
package=$work/zembase
unzip -q "$zip" -d "$package"

fail() { echo "check-windows-zip: $zip: $*" >&2; exit 1; }

runtime=(bin/libstdc++-6.dll bin/libgcc_s_dw2-1.dll bin/libwinpthread-1.dll)
licenses=(licenses/README.txt licenses/FreeType.txt licenses/libpng.txt licenses/zlib.txt
    licenses/gcc-runtime.txt licenses/GPL-3.txt licenses/mingw-w64.txt)
for name in bin/zembase.dll bin/zem.exe lib/zembase.dll.a include/zem/zembase.h \
        lib/cmake/ZEMBase/ZEMBaseConfig.cmake lib/pkgconfig/zembase.pc "${runtime[@]}" \
        "${licenses[@]}"; do
    [ -f "$package/$name" ] || fail "$name is missing"
done
file "$package/bin/zembase.dll" | grep -q 'PE32 executable (DLL).*Intel 80386' ||
    fail "bin/zembase.dll is not a 32-bit x86 DLL"
file "$package/bin/zem.exe" | grep -q 'PE32 executable (console).*Intel 80386' ||
    fail "bin/zem.exe is not a 32-bit x86 console program"

system_dlls='^(KERNEL32|ADVAPI32|USER32|SHELL32|ole32|msvcrt|ucrtbase|api-ms-win-.*)\.dll$'
for program in bin/zembase.dll bin/zem.exe; do
    i686-w64-mingw32-objdump -p "$package/$program" | sed -n 's/^\s*DLL Name: //p' |
        while read -r dll; do
            [[ $dll =~ $system_dlls || ($program == bin/zem.exe && $dll == zembase.dll) ]] ||
                fail "$program needs $dll, which is not a system DLL"
        done
done

# --static: what a pkg-config that reads Requires.private for every link (freedesktop's) needs too.
PKG_CONFIG_LIBDIR=$package/lib/pkgconfig pkg-config --static --cflags --libs zembase >/dev/null ||
    fail "lib/pkgconfig/zembase.pc needs what the zip does not hold"

# The README's two ways: g++ by hand, and CMake with find_package and pkg-config; each program
# then runs from a folder that holds it and the DLLs of bin.
app=$work/app
mkdir -p "$app"
(cd "$app" && i686-w64-mingw32-g++-posix -std=c++17 -I"$package/include" "$consumer/main.cpp" \
    "$package/lib/zembase.dll.a") || fail "the README's g++ line does not build a program"
cmake -G Ninja -S "$consumer" -B "$work/cmake" -DCMAKE_SYSTEM_NAME=Windows \
    -DCMAKE_CXX_COMPILER=i686-w64-mingw32-g++-posix -DCMAKE_PREFIX_PATH="$package" >/dev/null &&
    cmake --build "$work/cmake" >/dev/null || fail "the README's CMake lines do not build a program"
cp "$work/cmake/consumer_cmake.exe" "$work/cmake/consumer_pkgconfig.exe" "$package"/bin/*.dll "$app/"
"$(dirname "$0")/wine-prefix.sh" "$WINEPREFIX" win32 wine
for program in a.exe consumer_cmake.exe consumer_pkgconfig.exe; do
    if ! out=$(cd "$app" && wine "$program" </dev/null 2>&1) || [[ $out != *"ZEMBase 0.20.0"* ]]; then
        fail "$program built as the README says does not run: $out"
    fi
done
echo "check-windows-zip: $zip: $(unzip -Z1 "$zip" | grep -vc '/$') files, DLL and zem.exe 32-bit x86, system DLLs only, licences, a program built as the README says runs"
