#!/usr/bin/env bash
# Installs what is missing, builds everything and runs the demo host twice on
# the sample project in a fresh temporary workspace: a first-time fetch from
# the local central store, then an update after the store moved to the
# project's second revision.
#   bash scripts/demo.sh
set -euo pipefail
. "$(dirname "$0")/setup-common.sh"
bimcore_start "$@"

build="$build_root/build"
log="$build/demo-build.log"
mkdir -p "$build"
echo "== Building in $build (log: $log)"
if ! bimcore_configure_and_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "== The build failed; the whole log is $log" >&2
    exit 1
fi
echo
bash "$BIMCORE_SOURCE/tools/bimhost/run-demo.sh" "$build/tools/bimhost/bimcore-host" "$build/samples"
