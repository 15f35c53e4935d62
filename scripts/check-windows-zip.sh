#!/usr/bin/env bash
# Checks the Windows package zip: it holds what the README promises, its programs are 32-bit x86,
# and they need no DLL but the system's (and zem.exe our own), so a programmer can unpack it
# anywhere and put zembase.dll beside a program.
set -euo pipefail
zip=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"

fail() { echo "check-windows-zip: $zip: $*" >&2; exit 1; }

for name in bin/zembase.dll bin/zem.exe lib/zembase.dll.a include/zem/zembase.h \
        lib/cmake/ZEMBase/ZEMBaseConfig.cmake lib/pkgconfig/zembase.pc; do
    [ -f "$work/$name" ] || fail "$name is missing"
done
file "$work/bin/zembase.dll" | grep -q 'PE32 executable (DLL).*Intel 80386' ||
    fail "bin/zembase.dll is not a 32-bit x86 DLL"
file "$work/bin/zem.exe" | grep -q 'PE32 executable (console).*Intel 80386' ||
    fail "bin/zem.exe is not a 32-bit x86 console program"

system_dlls='^(KERNEL32|ADVAPI32|USER32|SHELL32|ole32|msvcrt|ucrtbase|api-ms-win-.*)\.dll$'
for program in bin/zembase.dll bin/zem.exe; do
    i686-w64-mingw32-objdump -p "$work/$program" | sed -n 's/^\s*DLL Name: //p' |
        while read -r dll; do
            [[ $dll =~ $system_dlls || ($program == bin/zem.exe && $dll == zembase.dll) ]] ||
                fail "$program needs $dll, which is not a system DLL"
        done
done
echo "check-windows-zip: $zip: $(unzip -Z1 "$zip" | grep -vc '/$') files, DLL and zem.exe 32-bit x86, system DLLs only"
