#!/usr/bin/env bash
# Builds everything and runs every test: the Windows program's tests under
# Wine, and the checks of scripts/test.d (the native sanitizer and fuzz
# runs, the program file, reproducibility and signing). Arguments go to
# each ctest of the Wine suites.
#
# The Wine suites spend most of their time waiting for windows, so they
# run side by side, each in a throwaway prefix of its own with its own
# Xvfb, while the checks of scripts/test.d use the processors:
#   - every test of the 32-bit build in a 32-bit prefix;
#   - the 32-bit build's setup and uninstall tests in a 64-bit prefix,
#     where the program runs under WoW64;
#   - every test of the x86_64 build in another 64-bit prefix.
# Tests that share a prefix still run one at a time. Each suite's output
# is printed whole once it has ended, then one summary line per suite.
#
# A host whose kernel runs no 32-bit (i386) code cannot start Wine's
# 32-bit loader: there the 32-bit build's suites, and the x86_64 build's
# cases that start a 32-bit program, run in an emulated PC
# (scripts/emulated-i386.sh, "the emulated lane"), in the background like
# the suites; the summary names them "(emulated)". MELVOX_NO_EMULATION=1
# leaves them out instead, and the summary says so; MELVOX_EMULATION=1
# takes the lane even where 32-bit code runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh

build=${MELVOX_BUILD:-$root/build}
jobs=$(nproc)
ctest_args=("$@")

# Asked after install-deps: before it a new machine has no Wine at all.
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
# shellcheck source=suites.sh
. scripts/suites.sh
i386=0
wine_env_runs_i386 && i386=1
# MELVOX_EMULATION=1 takes the emulated road on a host that runs 32-bit
# code too, to try the lane there.
[ "${MELVOX_EMULATION:-0}" != 1 ] || i386=0
lane=0
[ "$i386" = 1 ] || [ "${MELVOX_NO_EMULATION:-0}" = 1 ] || lane=1
trap stop_suites EXIT

# The emulated lane as a background job: the guest's logs, and its summary
# lines for wait_suites.
run_lane() {
    local rc=0 lane_out=$build/emulated-i386
    rm -f "$build/emulated-i386.log.summary"
    scripts/emulated-i386.sh --build "$build" --out "$lane_out" -- \
        scripts/emulated-i386.d/suites.sh "$@" || rc=$?
    cat "$lane_out/guest.log" 2>/dev/null || true
    if [ -s "$lane_out/results/summary" ]; then
        cp "$lane_out/results/summary" "$build/emulated-i386.log.summary"
    else
        echo "32-bit build (emulated): no test ran, the lane ended with $rc" >"$build/emulated-i386.log.summary"
    fi
    return "$rc"
}

stamp "Building the 32-bit program and its tests"
cmake -S . -B "$build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/win32" -j"$jobs"

if [ "$i386" = 1 ]; then
    start_suite "32-bit build, 32-bit prefix" "$build/ctest-win32.log" "$build/wine-tests" \
        win32 "$build/win32" ${ctest_args[@]+"${ctest_args[@]}"}
    start_suite "32-bit build, 64-bit prefix" "$build/ctest-wow64.log" "$build/wine64-tests" \
        win64 "$build/win32" -R "$wow64_tests" ${ctest_args[@]+"${ctest_args[@]}"}
fi

stamp "x86_64.sh"
bash scripts/test.d/x86_64.sh "$build"
if [ "$i386" = 1 ]; then
    start_suite "x86_64 build, 64-bit prefix" "$build/ctest-win64.log" "$build/wine64-x86_64-tests" \
        win64 "$build/win64" ${ctest_args[@]+"${ctest_args[@]}"}
else
    if [ "$lane" = 1 ]; then
        # The 32-bit suites (and the x86_64 cases that start a 32-bit
        # program) in the emulated PC; its own summary lines come back.
        start_job "emulated 32-bit lane" "$build/emulated-i386.log" "" \
            run_lane ${ctest_args[@]+"${ctest_args[@]}"}
    else
        echo "== This host runs no 32-bit (i386) code and MELVOX_NO_EMULATION=1: not run are"
        echo "   the 32-bit build's tests and the x86_64 build's cases that start a 32-bit"
        echo "   program ($needs_i386)."
    fi
    start_suite "x86_64 build, 64-bit prefix" "$build/ctest-win64.log" "$build/wine64-x86_64-tests" \
        win64 "$build/win64" -E "$needs_i386" ${ctest_args[@]+"${ctest_args[@]}"}
fi

# The other checks in the foreground, while the suites wait for windows.
for extra in scripts/test.d/*.sh; do
    [ -e "$extra" ] || continue
    [ "$(basename "$extra")" = x86_64.sh ] && continue
    stamp "$(basename "$extra")"
    if ! bash "$extra" "$build"; then
        status=1
        summary+=("$(basename "$extra"): FAILED")
    fi
done

stamp "Waiting for the Wine suites"
wait_suites
[ "$i386" = 1 ] || [ "$lane" = 1 ] || summary+=("32-bit build: NOT RUN, this host runs no 32-bit code (MELVOX_NO_EMULATION=1)")

stamp "Done"
printf '%s\n' "${summary[@]}"
exit "$status"
