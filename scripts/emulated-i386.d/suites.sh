#!/usr/bin/env bash
# Runs inside the emulated PC, from the tree's folder: the suites that a
# host with 32-bit support runs, side by side as there. Arguments go to
# each ctest. Leaves the logs and one summary line per suite in
# $MELVOX_LANE_OUT.
set -euo pipefail
build=${MELVOX_BUILD:?}
out=${MELVOX_LANE_OUT:?}
. scripts/wine-env.sh
. scripts/suites.sh
trap stop_suites EXIT
# A test's own bound grows with the waits inside it.
factor=${MELVOX_WAIT_FACTOR:-1}
export MELVOX_TEST_TIMEOUT=$((120 * ${factor%%.*}))

start_suite "32-bit build, 32-bit prefix (emulated)" "$out/ctest-win32.log" "$build/wine-tests" \
    win32 "$build/win32" "$@"
start_suite "32-bit build, 64-bit prefix (emulated)" "$out/ctest-wow64.log" "$build/wine64-tests" \
    win64 "$build/win32" -R "$wow64_tests" "$@"
start_suite "x86_64 build, cases that start a 32-bit program (emulated)" "$out/ctest-win64-i386.log" \
    "$build/wine64-x86_64-tests" win64 "$build/win64" -R "$needs_i386" "$@"
wait_suites
printf '%s\n' "${summary[@]}" >"$out/summary"
printf '%s\n' "${summary[@]}"
exit "$status"
