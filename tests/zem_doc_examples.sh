#!/bin/sh
# Runs the examples of docs/zem.md (the sh blocks between "## Examples" and the reference) as
# written, in an emptied folder that holds the files they name; fails at the first command that
# fails outside an if.
#   tests/zem_doc_examples.sh ZEM PAGE FOLDER
set -eu
zem=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
page=$2
folder=$3

rm -rf "$folder"
mkdir -p "$folder/bin" "$folder/data/levels" "$folder/extra"
ln -s "$zem" "$folder/bin/zem"
awk '/^## Examples/ { on = 1 } /^<!-- Generated/ { on = 0 }
     on && /^```sh$/ { code = 1; next } code && /^```$/ { code = 0 } code' "$page" \
    >"$folder/examples.sh"
[ -s "$folder/examples.sh" ] || { echo "no examples in $page" >&2; exit 1; }

cd "$folder"
printf 'level one\n' >data/levels/level1.dat
printf 'BM title\n' >extra/title.bmp
printf 'width 640\nheight 480\n' >game.cfg
# A score table of one row: Ann, 1000 points, level 3.
{
    printf '\004\003\002\001\003\001\000\000\000\000\000\000\000\000'
    printf 'Ann\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000\000'
    printf '\350\003\000\000\003\000\000\000'
} >scores.sco
PATH="$folder/bin:$PATH" sh -e examples.sh
