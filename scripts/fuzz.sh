#!/usr/bin/env bash
# Builds the model-loader fuzz target with clang, makes a seed corpus of real
# model files with the tessel tool and fuzzes for the given seconds. Fails on
# any crash, sanitizer report or leak; prints the number of executions.
#   bash scripts/fuzz.sh [SECONDS]
set -euo pipefail
. "$(dirname "$0")/setup-common.sh"
bimcore_start "$@"

seconds="${1:-60}"
build="$build_root/build-fuzz"
# Everything in this build carries ASan and UBSan, so that the tool that makes
# the seeds links against the same instrumented library as the fuzz target.
BIMCORE_TARGETS="fuzz_modelloader tessel-tool" bimcore_configure_and_build "$build" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DBIMCORE_FUZZ=ON -DBIMCORE_SANITIZE=ON -DBIMCORE_BUILD_TESTS=OFF -DBIMCORE_BUILD_BENCH=OFF

bimcore_sanitizer_env

work="$build/fuzz-run"
rm -rf "$work"
mkdir -p "$work/seeds" "$work/corpus" "$work/gen"
tool="$build/tools/tessel/bimcore-tessel"
"$tool" gen --records 40 --tables 4 "$work/gen/plain"
"$tool" gen --records 60 --tables 3 --converted "$work/gen/converted"
cp "$work/gen/plain/KBMProjectTemplate.Tessel" "$work/seeds/plain.Tessel"
cp "$work/gen/converted/KBMProjectTemplate.Tessel" "$work/seeds/converted.Tessel"
cat > "$work/gen/small.json" <<'JSON'
{"mode": 2, "extPropDefs": [{"code": "IgnoreProcessInt64", "value": "True"}],
 "databases": [{"name": "DB", "tables": [{"name": "element_type", "kind": 0, "primaryKey": 0,
   "fields": [{"name": "id", "type": "int64", "extPropDefs": [{"code": "DataType", "value": "Int64"}]},
              {"name": "node_type", "type": "int32"}, {"name": "name", "type": "string"},
              {"name": "area", "type": "double"}, {"name": "visible", "type": "bool"}],
   "records": [{"id64": 1001, "values": ["9007199254740993", 2, "Wall", 1.5, true]}]}]}]}
JSON
"$tool" build "$work/gen/small.json" "$work/seeds/small.Tessel"

log="$work/fuzz.log"
status=0
"$build/fuzz/modelloader/fuzz_modelloader" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work/corpus" "$work/seeds" >"$log" 2>&1 || status=$?
tail -n 25 "$log"
runs="$(sed -n 's/^Done \([0-9]*\) runs in \([0-9]*\) second.*/\1 executions in \2 s/p' "$log" | tail -n 1)"
if [ "$status" -ne 0 ]; then
    echo "fuzz: the model loader failed (exit $status); see $log and the crash files in $work" >&2
    exit 1
fi
echo "fuzz: ${runs:-unknown number of executions}, no crash, no leak"
