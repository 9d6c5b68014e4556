#!/usr/bin/env bash
# Builds everything and runs every test: the native sanitizer and fuzz runs
# and the other checks of scripts/test.d (the x86_64 build among them),
# then the Windows program's tests under Wine, each prefix thrown away
# after its run, with Xvfb: every test of the 32-bit build in a 32-bit
# prefix; then in a 64-bit prefix the 32-bit build's setup and uninstall
# tests and every test of the x86_64 build. Arguments go to each ctest.
#
# A host whose kernel runs no 32-bit (i386) programs cannot start Wine's
# 32-bit loader: there the 32-bit build's runs are left out, and so are the
# x86_64 build's cases that start a 32-bit program (the sample installer,
# the 32-bit shell), and the summary says so.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh

build=${MELVOX_BUILD:-$root/build}
jobs=$(nproc)

echo "== Building the 32-bit program and its tests"
cmake -S . -B "$build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/win32" -j"$jobs"

for extra in scripts/test.d/*.sh; do
    [ -e "$extra" ] || continue
    echo "== $(basename "$extra")"
    bash "$extra" "$build"
done

# The 32-bit build's tests that also run in the 64-bit prefix, where the
# program runs under WoW64: the setup and uninstall end-to-end tests and
# the registry cleanup (registry views, special folders, cleanup script).
wow64_tests='^(setup_tests|uninstall_e2e_tests|uninstall_tests)[.]'

# shellcheck source=wine-env.sh
. scripts/wine-env.sh
trap wine_env_stop EXIT
status=0
summary=()
run_ctest() {
    local what=$1 log=$2
    shift 2
    local rc=0
    ctest --output-on-failure --timeout 300 "$@" 2>&1 | tee "$log" || rc=$?
    [ "$rc" -eq 0 ] || status=1
    summary+=("$what: $(grep -E 'tests passed|No tests were found' "$log" | tail -1)")
}

# The x86_64 build's cases that start a 32-bit program: the sample
# installer, and the 32-bit shell opening an archive.
needs_i386='PackagedInstall|QuotedCommandLinesNeverStartAPlantedProgram'

if wine_env_runs_i386; then
    echo "== Running the tests under Wine (32-bit prefix)"
    rm -rf "$build/wine-tests"
    WINE_ENV_FORCE_XVFB=1 wine_env_start "$build/wine-tests"
    run_ctest "32-bit build, 32-bit prefix" "$build/ctest-win32.log" --test-dir "$build/win32" "$@"
    wine_env_stop

    echo "== Running tests in a 64-bit prefix: the 32-bit build under WoW64"
    rm -rf "$build/wine64-tests"
    WINE_ENV_ARCH=win64 WINE_ENV_FORCE_XVFB=1 wine_env_start "$build/wine64-tests"
    run_ctest "32-bit build, 64-bit prefix" "$build/ctest-wow64.log" --test-dir "$build/win32" -R "$wow64_tests" "$@"
    echo "== Running tests in the 64-bit prefix: the x86_64 build"
    run_ctest "x86_64 build, 64-bit prefix" "$build/ctest-win64.log" --test-dir "$build/win64" "$@"
    wine_env_stop
else
    echo "== This host runs no 32-bit (i386) programs (its kernel has no IA-32 emulation):"
    echo "   Wine's 32-bit loader cannot start. Not run: the 32-bit build's tests, and the"
    echo "   x86_64 build's cases that start a 32-bit program ($needs_i386)."
    summary+=("32-bit build: NOT RUN, this host runs no 32-bit programs")
    echo "== Running tests in a 64-bit prefix: the x86_64 build"
    rm -rf "$build/wine64-tests"
    WINE_ENV_ARCH=win64 WINE_ENV_FORCE_XVFB=1 wine_env_start "$build/wine64-tests"
    run_ctest "x86_64 build, 64-bit prefix" "$build/ctest-win64.log" --test-dir "$build/win64" -E "$needs_i386" "$@"
    wine_env_stop
fi

printf '%s\n' "${summary[@]}"
exit "$status"
