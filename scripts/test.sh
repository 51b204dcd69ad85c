#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test with ctest.
#   bash scripts/test.sh              ordinary build
#   bash scripts/test.sh --sanitize   the same tests built with ASan and UBSan
set -euo pipefail
BIMCORE_SOURCE="$(cd "$(dirname "$0")/.." && pwd)"
. "$BIMCORE_SOURCE/scripts/setup-common.sh"

bimcore_start "$@"

if [ "${1:-}" = "--sanitize" ]; then
    build="$build_root/build-sanitize"
    bimcore_configure_and_build "$build" -DCMAKE_BUILD_TYPE=Debug -DBIMCORE_SANITIZE=ON -DBIMCORE_BUILD_BENCH=OFF
    export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1"
    export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
    export LSAN_OPTIONS="suppressions=$BIMCORE_SOURCE/scripts/lsan.supp"
else
    build="$build_root/build"
    bimcore_configure_and_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cd "$build"
ctest --output-on-failure -j "$(nproc)"
