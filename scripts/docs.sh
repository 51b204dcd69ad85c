#!/usr/bin/env bash
# Builds the API reference of the installed headers into build-docs/docs/html
# (and its Qt help file, build-docs/docs/bimcore.qch); fails on any member of
# an installed header left undocumented, and unless an install puts the
# reference, the licence and the changelog into share/doc/bimcore.
#   bash scripts/docs.sh
set -euo pipefail
. "$(dirname "$0")/setup-common.sh"
bimcore_start "$@"

build="$build_root/build-docs"
BIMCORE_TARGETS="docs" bimcore_configure_and_build "$build" -DBIMCORE_BUILD_DOCS=ON \
    -DBIMCORE_BUILD_TESTS=OFF -DBIMCORE_BUILD_BENCH=OFF -DBIMCORE_BUILD_TOOLS=OFF

prefix="$(mktemp -d "${TMPDIR:-/tmp}/bimcore-docs-install.XXXXXX")"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" --component doc >/dev/null
for file in html/index.html html/classbimcore_1_1Project.html bimcore.qch LICENSE CHANGELOG.md; do
    if [ ! -f "$prefix/share/doc/bimcore/$file" ]; then
        echo "docs: an install leaves out share/doc/bimcore/$file" >&2
        exit 1
    fi
done
echo "API reference: $build/docs/html/index.html (Qt help: $build/docs/bimcore.qch)"
