#!/usr/bin/env bash
# Times the uninstall's list-driven removal of a 10,000-file install under
# Wine against a bare DeleteFileA/RemoveDirectoryA loop over the same tree,
# in the same run. Not a test: it prints figures and always exits 0 when it
# ran.
#   scripts/bench-removal.sh [BUILD_DIR] [CHAIN_DEPTH]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${1:-$root/build-bench}
depth=${2:-20}

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DMELVOX_BENCH=ON >/dev/null
cmake --build "$build" --target bench_removal -j2 >/dev/null

# shellcheck source=wine-env.sh
. scripts/wine-env.sh
WINE_ENV_FORCE_XVFB=1 wine_env_start "$build/wine-bench"
trap wine_env_stop EXIT

out=$(wine "$build/tests/bench/bench_removal.exe" 'C:\melvox-bench' "$depth" | tr -d '\r')
echo "$out"
echo "$out" | awk '
    { for (i = 3; i <= NF; i++) { split($i, kv, "="); v[$1, $2, kv[1]] = kv[2] } seen[$1] = 1 }
    END {
        for (l in seen) {
            b = v[l, "bare", "ms"]; t = v[l, "listed", "ms"]
            printf "%-9s listed/bare = %.1f (%d passes)\n", l, (b > 0 ? t / b : 0), v[l, "listed", "passes"]
        }
    }'
