#!/usr/bin/env bash
# The portable sources built natively with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer: their GoogleTest tests, then each libFuzzer
# target for a bounded time. Any failure, sanitizer report or fuzz finding
# fails the run.
#   $1: the build root (the native build goes into $1/native)
#   MELVOX_FUZZ_SECONDS: time per fuzz target (default 60)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:?usage: native.sh BUILD_ROOT}/native
seconds=${MELVOX_FUZZ_SECONDS:-60}

echo "-- native build (clang, ASan + UBSan) into $build"
cmake -S "$root/tests/native" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null

echo "-- native tests"
ctest --test-dir "$build" --output-on-failure

# The fuzz targets run side by side, one process each, for the same time:
# the machine's processors serve them together in the time of one.
names=() pids=()
for target in "$build"/*_fuzz; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=${name%_fuzz}
    # A working copy of the seeds: what the run finds stays out of the tree.
    work="$build/fuzz-work/$corpus"
    findings="$build/fuzz-findings/$corpus"
    rm -rf "$work" "$findings"
    mkdir -p "$work" "$findings"
    cp "$root/tests/fuzz/corpus/$corpus"/* "$work"/
    echo "-- fuzzing $name for $seconds s"
    "$target" "$work" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
        -print_final_stats=1 -artifact_prefix="$findings/" >"$build/fuzz-$corpus.log" 2>&1 &
    names+=("$name") pids+=($!)
done

summary=() failed=0
for i in "${!pids[@]}"; do
    name=${names[$i]} corpus=${names[$i]%_fuzz}
    status=0
    wait "${pids[$i]}" || status=$?
    log="$build/fuzz-$corpus.log" findings="$build/fuzz-findings/$corpus"
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    found=$(find "$findings" -type f | wc -l)
    summary+=("$name: ${runs:-?} executions in $seconds s, $found findings, exit $status")
    if [ "$status" -ne 0 ] || [ "$found" -ne 0 ]; then
        tail -40 "$log"
        echo "FUZZ FINDING in $name (inputs kept in $findings)"
        failed=1
    fi
done
printf 'fuzz summary: %s\n' "${summary[@]}"
exit "$failed"
