#!/usr/bin/env bash
# Writes the reference part of docs/zem.md (everything below its marker line) from the zem
# tool's own --help texts, so that the page follows the tool.
#   docs/zem_reference.sh [ZEM]          rewrite docs/zem.md
#   docs/zem_reference.sh --check [ZEM]  fail when docs/zem.md is not in step with the tool
# ZEM is the tool to ask; without it, the tool is built in build/ first.
set -euo pipefail
cd "$(dirname "$0")/.."

check=false
if [ "${1:-}" = --check ]; then
    check=true
    shift
fi
zem=${1:-}
if [ -z "$zem" ]; then
    [ -f build/build.ninja ] || cmake -G Ninja -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build build --target zem -j 2 >/dev/null
    zem=build/tools/zem/zem
fi

marker='<!-- Generated from the tool by docs/zem_reference.sh; do not edit below this line. -->'
page=docs/zem.md
if ! grep -qxF -- "$marker" "$page"; then
    echo "$page: the marker line is missing" >&2
    exit 1
fi

# The names listed under a heading ("families:" or "commands:") of a help text.
listed() {
    awk -v heading="$1" '$0 == heading { on = 1; next } on && NF == 0 { exit } on { print $1 }'
}

section() {
    local title=$1
    shift
    printf '\n### %s\n\n```\n' "$title"
    "$zem" "$@" --help
    printf '```\n'
}

reference() {
    printf '\n## Reference {#zem_reference}\n'
    section "zem"
    for family in $("$zem" --help | listed "families:"); do
        section "zem $family" "$family"
        for command in $("$zem" "$family" --help | listed "commands:"); do
            section "zem $family $command" "$family" "$command"
        done
    done
}

generated=$(mktemp)
trap 'rm -f "$generated"' EXIT
{
    sed "/^$(printf '%s' "$marker" | sed 's/[][\.*^$/]/\\&/g')\$/q" "$page"
    reference
} >"$generated"

if $check; then
    if ! diff -u "$page" "$generated"; then
        echo "$page is not in step with the zem tool: run docs/zem_reference.sh" >&2
        exit 1
    fi
    exit 0
fi
cp "$generated" "$page"
