#!/bin/sh
# make test builds and runs the tests of the tree as it is, whatever its build folder was
# configured for before: a folder configured for the library alone (the tests and the tool off,
# as an install line would leave it) is configured back, so no old test binary is run.
# $1: the source tree.
set -eu
source=$1
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cmake -G Ninja -S "$source" -B "$folder" -DBUILD_TESTING=OFF -DZEM_BUILD_TOOLS=OFF >/dev/null
# The configure step of make test, run as make would run it.
configure=$(make -s -n --no-print-directory -C "$source" test BUILD="$folder" |
    awk '/^cmake -G/ { on = 1 } on { print; if (!/\\$/) exit }')
[ -n "$configure" ] || { echo "make test has no configure step"; exit 1; }
(cd "$source" && eval "$configure")
for switch in BUILD_TESTING ZEM_BUILD_TOOLS; do
    grep -q "^$switch:BOOL=ON\$" "$folder/CMakeCache.txt" ||
        { echo "make test leaves $switch off"; exit 1; }
done
ninja -C "$folder" -t targets all | grep -q '^test_core:' ||
    { echo "make test would not build the tests"; exit 1; }
