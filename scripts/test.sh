#!/usr/bin/env bash
# Builds everything and runs every test: the Windows program and its tests
# under Wine (in a throwaway prefix, with Xvfb when there is no display),
# then the native sanitizer and fuzz runs when they are present.
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

echo "== Running the tests under Wine"
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
rm -rf "$build/wine-tests"
WINE_ENV_FORCE_XVFB=1 wine_env_start "$build/wine-tests"
trap wine_env_stop EXIT
ctest --test-dir "$build/win32" --output-on-failure --timeout 300 "$@"
