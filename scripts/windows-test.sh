#!/usr/bin/env bash
# Builds the whole project for 64-bit Windows with MinGW-w64 and the Windows
# toolchain from shared/toolchains/win64 (Qt 5, libcurl, SQLite built for
# Windows), then runs every test program and the demo under Wine with ctest.
# Prints the test functions that ran, passed and were skipped, and fails when
# fewer than 90% of them ran.
#   bash scripts/windows-test.sh
# BIMCORE_WIN64_TOOLCHAIN names the toolchain's archive if it is not at
# ../shared/toolchains/win64/ beside the source tree.
set -euo pipefail
. "$(dirname "$0")/setup-common.sh"
BIMCORE_PACKAGES="$BIMCORE_PACKAGES wine64"
# Found before the work moves to a private copy of the sources.
export BIMCORE_WIN64_TOOLCHAIN="${BIMCORE_WIN64_TOOLCHAIN:-$(cd "$BIMCORE_SOURCE/.." && pwd)/shared/toolchains/win64/bimcore-win64-toolchain.tar.xz}"
bimcore_start "$@"

archive="$BIMCORE_WIN64_TOOLCHAIN"
[ -r "$archive" ] || { echo "windows-test: no toolchain archive at $archive" >&2; exit 1; }
# Unpacked once per archive into a cache folder of the building account.
stamp="$(stat -c '%s-%Y' "$archive")"
toolchain="${XDG_CACHE_HOME:-$build_root/cache}/bimcore-win64-$stamp"
if [ ! -f "$toolchain/toolchain.cmake" ]; then
    rm -rf "$toolchain.part"
    mkdir -p "$toolchain.part"
    tar -C "$toolchain.part" -xJf "$archive"
    mv "$toolchain.part" "$toolchain"
fi

build="$build_root/build-windows"
bimcore_configure_and_build "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain/toolchain.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBIMCORE_BUILD_BENCH=OFF -DBIMCORE_BUILD_DOCS=OFF

log="$build/windows-ctest.log"
cd "$build"
status=0
ctest --output-on-failure -j "$(nproc)" -V >"$log" 2>&1 || status=$?
grep -E '^[0-9]+% tests passed|^The following tests|^\s+[0-9]+ - |FAIL!' "$log" || true

# QtTest closes each program with "Totals: P passed, F failed, S skipped, ...".
read -r passed failed skipped < <(grep -oE 'Totals: [0-9]+ passed, [0-9]+ failed, [0-9]+ skipped' "$log" |
    awk '{ p += $2; f += $4; s += $6 } END { print p + 0, f + 0, s + 0 }')
echo "== Skipped under Wine, and why:"
grep -E '^[0-9]+: SKIP' "$log" | sed -E 's/^[0-9]+: SKIP   : /  /' | sort -u || true
ran=$((passed + failed))
total=$((ran + skipped))
share=$((total ? 100 * ran / total : 0))
echo "== Test functions under Wine: $ran ran of $total ($share%), $skipped skipped"
echo "windows: $passed passed, $failed failed, $skipped skipped"
[ "$status" -eq 0 ] || { echo "windows-test: ctest failed (log: $log)" >&2; exit "$status"; }
[ "$share" -ge 90 ] || { echo "windows-test: only $share% of the test functions ran" >&2; exit 1; }
