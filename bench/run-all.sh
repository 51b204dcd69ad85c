#!/usr/bin/env bash
# Builds a release tree and runs every benchmark once, in one go, then prints
# the table of all figures (the lines the benchmarks print as RESULT|...) in
# the form the README shows. Takes under ten minutes on a 2-core machine.
#   bash bench/run-all.sh [--readme] [output folder]      default: build-bench/
# With --readme the table also replaces the one in README.md, so that the
# README's figures are always those of one whole run. The full output of each
# benchmark stays in the output folder.
set -euo pipefail
. "$(dirname "$0")/../scripts/setup-common.sh"
readme=false
if [ "${1:-}" = --readme ]; then
    readme=true
    shift
fi
out="${1:-$BIMCORE_SOURCE/build-bench}"
build="$out/build"
mkdir -p "$out"

BIMCORE_TARGETS="bench_filehandler bench_tessel_load bench_project_open bench_update bench_download bench_ksqlite" \
    bimcore_configure_and_build "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBIMCORE_BUILD_TESTS=OFF \
    >"$out/build.log" 2>&1 || { tail -n 30 "$out/build.log"; exit 1; }

run() {
    local name="$1"; shift
    echo "== $name" >&2
    local started=$SECONDS
    "$@" >"$out/$name.txt" 2>&1 || { cat "$out/$name.txt" >&2; echo "$name failed" >&2; exit 1; }
    echo "   $((SECONDS - started)) s" >&2
}

started=$SECONDS
run filehandler "$build/bench/filehandler/bench_filehandler" 5 /dev/shm
run download "$build/bench/network/bench_download" /dev/shm 1024 11
run tessel_load "$build/bench/tessel/bench_tessel_load"
run project_open "$build/bench/project/bench_project_open"
run update "$build/bench/update/bench_update"
run ksqlite "$build/bench/ksqlite/bench_ksqlite"

{
    echo "| Benchmark | Reference | Median ratio (min–max of rounds) | Goal | Met |"
    echo "|---|---|---|---|---|"
    for name in filehandler download tessel_load project_open update ksqlite; do
        grep '^RESULT|' "$out/$name.txt" | cut -d'|' -f2- | sed 's/|/ | /g; s/^/| /; s/$/ |/'
    done
    echo
    echo "All from one run of \`bash bench/run-all.sh\` ($((SECONDS - started)) s of benchmarks), $(nproc) cores, $(date -u +%Y-%m-%d)."
} | tee "$out/table.md"

# The README's table runs from its header row to the line that says which run
# it comes from.
if $readme; then
    grep -q '^| Benchmark |' "$BIMCORE_SOURCE/README.md" && grep -q '^All from one run' "$BIMCORE_SOURCE/README.md" \
        || { echo "README.md has no table to replace" >&2; exit 1; }
    awk -v table="$out/table.md" '
        /^\| Benchmark \|/ && !done { while ((getline line < table) > 0) print line; skipping = 1; done = 1; next }
        skipping { if (/^All from one run/) skipping = 0; next }
        { print }
    ' "$BIMCORE_SOURCE/README.md" >"$out/README.md"
    mv "$out/README.md" "$BIMCORE_SOURCE/README.md"
fi
