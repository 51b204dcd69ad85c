#!/usr/bin/env bash
# The demo: the host fetches the sample project from a local central store
# into a fresh workspace, then the store moves to the project's second
# revision and the host brings its open project up to date.
#
#   bash tools/bimhost/run-demo.sh BIMHOST SAMPLES_DIR
#
# BIMHOST is the host program: build/tools/bimhost/bimcore-host, or
# <prefix>/bin/bimcore-host once installed.
#
# SAMPLES_DIR is <build>/samples (store-r1, store-r2, sample.env). Set
# BIMCORE_DEMO_KEEP=1 to keep the temporary folder for a look afterwards, and
# BIMCORE_EMULATOR to a program that runs BIMHOST (wine-run, for a host built
# for Windows).
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 BIMHOST SAMPLES_DIR" >&2
    exit 2
fi
bimhost=(${BIMCORE_EMULATOR:+"$BIMCORE_EMULATOR"} "$1")
samples="$2"
. "$samples/sample.env"

work="$(mktemp -d "${TMPDIR:-/tmp}/bimcore-demo.XXXXXX")"
if [ -z "${BIMCORE_DEMO_KEEP:-}" ]; then
    trap 'rm -rf "$work"' EXIT
fi
mkdir -m 700 "$work/runtime"
export XDG_RUNTIME_DIR="$work/runtime"
export BIMCORE_CENTRAL_STORE="$work/central-store"
mkdir "$BIMCORE_CENTRAL_STORE"
project_dir="$work/workspace/projects/$BIMCORE_SAMPLE_KEY"

launch=(--userID=u-1001 --account=li.wei "--displayName=Li Wei" --token=demo-token
    --tenantID=t-harbour --productCode=KBM)
project=("--projectId=$BIMCORE_SAMPLE_ID" "--projectKey=$BIMCORE_SAMPLE_KEY"
    "--projectPath=$project_dir" "--projectCacheDir=$work/workspace/cache/$BIMCORE_SAMPLE_KEY")

echo "== 1. First run: the central store holds revision 1, the workspace is empty"
cp -R "$samples/store-r1/." "$BIMCORE_CENTRAL_STORE/"
"${bimhost[@]}" open "${launch[@]}" "${project[@]}" 2>&1

echo
echo "== 2. Second run: the central store has moved to revision 2"
cp -R "$samples/store-r2/." "$BIMCORE_CENTRAL_STORE/"
"${bimhost[@]}" update "${launch[@]}" "${project[@]}" 2>&1

echo
echo "== The local project folder afterwards"
"${bimhost[@]}" workspace list "$project_dir"
if [ -n "${BIMCORE_DEMO_KEEP:-}" ]; then
    echo "(kept: $work)"
fi
