#!/usr/bin/env bash
# Compiles every source file of src/ for Windows (MinGW-w64, syntax only)
# against Qt's headers and Windows export headers, so that the Windows halves
# (the *Win.cpp files and the Q_OS_WIN branches) at least compile. Nothing is
# linked or run: what this proves is that the code is well-formed C++ for a
# Windows compiler and Windows headers, not that it works there.
#   bash scripts/windows-check.sh
set -euo pipefail
. "$(dirname "$0")/setup-common.sh"
bimcore_start "$@"

cxx=x86_64-w64-mingw32-g++-posix
build="$build_root/build-windows-check"
# A configure alone lays out the include root (<bimcore/...>) in the build tree.
cmake -S "$BIMCORE_SOURCE" -B "$build" -DBIMCORE_BUILD_TESTS=OFF -DBIMCORE_BUILD_BENCH=OFF \
    -DBIMCORE_BUILD_TOOLS=OFF -DBIMCORE_BUILD_DOCS=OFF >/dev/null

# The export headers generated for Linux name visibility attributes; on
# Windows they import from a DLL, and the core library exports its own.
overlay="$build/windows-export"
rm -rf "$overlay"
while read -r base dest; do
    mkdir -p "$overlay/bimcore/$dest"
    macro="$(echo "$base" | tr a-z A-Z)"
    attribute="__declspec(dllimport)"
    [ "$base" = bimcore ] && attribute="__declspec(dllexport)"
    printf '#pragma once\n#define %s_EXPORT %s\n#define %s_NO_EXPORT\n' \
        "$macro" "$attribute" "$macro" > "$overlay/bimcore/$dest/${base}_export.h"
done <<'LIST'
bimcore core
krvcommon platform/krvcommon
tessel platform/tessel
ksqlite platform/ksqlite
platformsvc platform/platformsvc
controls platform/controls
LIST

# Third-party headers a Windows build takes from its own copy of the library.
mkdir -p "$overlay/third-party"
for header in sqlite3.h; do
    [ -f "/usr/include/$header" ] && ln -sf "/usr/include/$header" "$overlay/third-party/$header"
done
# curl's headers are the same on every system; Debian keeps them per architecture.
curl_include="$(dirname "$(find /usr/include -path '*/curl/curl.h' -print -quit)")"
ln -sfn "$curl_include" "$overlay/third-party/curl"

qt="$(qmake -query QT_INSTALL_HEADERS 2>/dev/null || echo /usr/include/x86_64-linux-gnu/qt5)"
flags=(-std=c++17 -fsyntax-only -Wall -Wextra -Werror
    -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN
    -DQT_CORE_LIB -DQT_GUI_LIB -DQT_NETWORK_LIB -DQT_WIDGETS_LIB
    -I"$overlay" -I"$build/include" -idirafter "$overlay/third-party"
    -isystem "$qt" -isystem "$qt/QtCore" -isystem "$qt/QtGui" -isystem "$qt/QtNetwork"
    -isystem "$qt/QtWidgets")

failed=0
count=0
while IFS= read -r -d '' source; do
    count=$((count + 1))
    if ! "$cxx" "${flags[@]}" -I"$(dirname "$source")" "$source"; then
        echo "windows-check: $source does not compile for Windows" >&2
        failed=$((failed + 1))
    fi
done < <(find "$BIMCORE_SOURCE/src" -name '*.cpp' -print0 | sort -z)
echo "windows-check: $count files of src/ compiled for Windows, $failed failed"
[ "$failed" -eq 0 ]
