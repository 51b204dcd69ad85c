#!/usr/bin/env bash
# Builds the API reference of the installed headers into build-docs/docs/html;
# fails on any member of an installed header left undocumented.
#   bash scripts/docs.sh
set -euo pipefail
. "$(dirname "$0")/setup-common.sh"
bimcore_start "$@"

build="$build_root/build-docs"
BIMCORE_TARGETS="docs" bimcore_configure_and_build "$build" -DBIMCORE_BUILD_DOCS=ON \
    -DBIMCORE_BUILD_TESTS=OFF -DBIMCORE_BUILD_BENCH=OFF -DBIMCORE_BUILD_TOOLS=OFF
echo "API reference: $build/docs/html/index.html"
