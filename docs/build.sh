#!/usr/bin/env bash
# Builds the HTML API reference into the folder given (default build/docs) and fails on any
# Doxygen warning, so that a public header added without comments is caught. Exits with 77
# (skipped) when doxygen or python3 is missing.
set -eu
cd "$(dirname "$0")/.."
out=${1:-build/docs}

for tool in doxygen python3; do
    if ! command -v "$tool" >/dev/null; then
        echo "docs: $tool is not installed (make docs installs it when run as root)" >&2
        exit 77
    fi
done

rm -rf "$out/html"
mkdir -p "$out"
export ZEM_DOCS_DIR
ZEM_DOCS_DIR=$(cd "$out" && pwd)
export ZEM_VERSION
ZEM_VERSION=$(sed -n 's/^project(ZEMBase VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
rm -f "$ZEM_DOCS_DIR/warnings.log"
doxygen docs/Doxyfile

if [ -s "$ZEM_DOCS_DIR/warnings.log" ]; then
    sort -u "$ZEM_DOCS_DIR/warnings.log" >&2
    echo "docs: $(sort -u "$ZEM_DOCS_DIR/warnings.log" | grep -c warning) Doxygen warning(s)" >&2
    exit 1
fi
echo "docs: $ZEM_DOCS_DIR/html/index.html"
