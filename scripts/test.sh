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
# A host whose kernel runs no 32-bit (i386) programs cannot start Wine's
# 32-bit loader: there the 32-bit build's suites are left out, and so are
# the x86_64 build's cases that start a 32-bit program (the sample
# installer, the 32-bit shell), and the summary says so.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh

build=${MELVOX_BUILD:-$root/build}
jobs=$(nproc)
ctest_args=("$@")
started=$SECONDS
stamp() { echo "== [$((SECONDS - started)) s] $*"; }

# Asked after install-deps: before it a new machine has no Wine at all.
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
i386=0
wine_env_runs_i386 && i386=1

# The 32-bit build's tests that also run under WoW64: the setup and
# uninstall end-to-end tests and the registry cleanup (registry views,
# special folders, cleanup script).
wow64_tests='^(setup_tests|uninstall_e2e_tests|uninstall_tests)[.]'
# The x86_64 build's cases that start a 32-bit program: the sample
# installer, and the 32-bit shell opening an archive.
needs_i386='PackagedInstall|QuotedCommandLinesNeverStartAPlantedProgram'

# Background suites: a process group each (job control while one is
# started), so that an interrupted run can stop each one whole, then its
# prefix's wineserver.
suite_pids=() suite_names=() suite_logs=() suite_prefixes=()
stop_suites() {
    local i
    for i in "${!suite_pids[@]}"; do
        kill -TERM -- "-${suite_pids[$i]}" 2>/dev/null || true
        WINEPREFIX="${suite_prefixes[$i]}/prefix" wineserver -k 2>/dev/null || true
    done
}
trap stop_suites EXIT

# start_suite NAME LOG PREFIX_DIR ARCH TREE [ctest options]
start_suite() {
    local name=$1 log=$2 dir=$3 arch=$4 tree=$5
    shift 5
    rm -rf "$dir"
    set -m
    (
        trap wine_env_stop EXIT
        WINE_ENV_ARCH=$arch WINE_ENV_FORCE_XVFB=1 wine_env_start "$dir"
        # CTest lists each test program's cases when it first reads the
        # tree and writes the list there: two suites on one tree take turns.
        flock "$tree/.test-discovery.lock" ctest --test-dir "$tree" -N >/dev/null
        ctest --output-on-failure --timeout 300 --test-dir "$tree" "$@" ${ctest_args[@]+"${ctest_args[@]}"}
    ) </dev/null >"$log" 2>&1 &
    set +m
    suite_pids+=($!) suite_names+=("$name") suite_logs+=("$log") suite_prefixes+=("$dir")
    stamp "started in the background: $name (log $log)"
}

stamp "Building the 32-bit program and its tests"
cmake -S . -B "$build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/win32" -j"$jobs"

if [ "$i386" = 1 ]; then
    start_suite "32-bit build, 32-bit prefix" "$build/ctest-win32.log" "$build/wine-tests" \
        win32 "$build/win32"
    start_suite "32-bit build, 64-bit prefix" "$build/ctest-wow64.log" "$build/wine64-tests" \
        win64 "$build/win32" -R "$wow64_tests"
fi

stamp "x86_64.sh"
bash scripts/test.d/x86_64.sh "$build"
if [ "$i386" = 1 ]; then
    start_suite "x86_64 build, 64-bit prefix" "$build/ctest-win64.log" "$build/wine64-x86_64-tests" \
        win64 "$build/win64"
else
    echo "== This host runs no 32-bit (i386) programs (its kernel has no IA-32 emulation):"
    echo "   Wine's 32-bit loader cannot start. Not run: the 32-bit build's tests, and the"
    echo "   x86_64 build's cases that start a 32-bit program ($needs_i386)."
    start_suite "x86_64 build, 64-bit prefix" "$build/ctest-win64.log" "$build/wine64-x86_64-tests" \
        win64 "$build/win64" -E "$needs_i386"
fi

# The other checks in the foreground, while the suites wait for windows.
status=0
summary=()
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
for i in "${!suite_pids[@]}"; do
    rc=0
    wait "${suite_pids[$i]}" || rc=$?
    echo "== ${suite_names[$i]} (exit $rc):"
    cat "${suite_logs[$i]}"
    counts=$(grep -E 'tests passed|No tests were found' "${suite_logs[$i]}" | tail -1)
    line="${suite_names[$i]}: ${counts:-no test ran}"
    [ "$rc" -eq 0 ] || { line="$line (exit $rc)"; status=1; }
    summary+=("$line")
done
suite_pids=()
[ "$i386" = 1 ] || summary+=("32-bit build: NOT RUN, this host runs no 32-bit programs")

stamp "Done"
printf '%s\n' "${summary[@]}"
exit "$status"
