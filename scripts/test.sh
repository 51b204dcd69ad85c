#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test with ctest.
#   bash scripts/test.sh              ordinary build
#   bash scripts/test.sh --sanitize   the same tests built with ASan and UBSan
set -euo pipefail
. "$(dirname "$0")/setup-common.sh"
bimcore_start "$@"

if [ "${1:-}" = "--sanitize" ]; then
    build="$build_root/build-sanitize"
    bimcore_configure_and_build "$build" -DCMAKE_BUILD_TYPE=Debug -DBIMCORE_SANITIZE=ON -DBIMCORE_BUILD_BENCH=OFF
    bimcore_sanitizer_env
else
    build="$build_root/build"
    bimcore_configure_and_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cd "$build"
ctest --output-on-failure -j "$(nproc)"
