#!/usr/bin/env bash
# Times the uninstall's list-driven removal of a 10,000-file install under
# Wine against a bare DeleteFileA/RemoveDirectoryA loop over the same tree,
# in the same run, in ROUNDS rounds whose order alternates; the ratio is
# that of the medians. Not a test: it prints figures and always exits 0
# when it ran.
#   scripts/bench-removal.sh [BUILD_DIR] [CHAIN_DEPTH] [ROUNDS]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
# A host that runs no 32-bit programs measures the x86_64 build.
toolchain=mingw-i686.cmake bench=build-bench
wine_env_runs_i386 || toolchain=mingw-x86_64.cmake bench=build-bench64
build=${1:-$root/$bench}
depth=${2:-20}
rounds=${3:-3}

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DMELVOX_BENCH=ON >/dev/null
cmake --build "$build" --target bench_removal -j2 >/dev/null

WINE_ENV_FORCE_XVFB=1 wine_env_start "$build/wine-bench"
trap wine_env_stop EXIT

out=$(wine "$build/tests/bench/bench_removal.exe" 'C:\melvox-bench' "$depth" "$rounds" | tr -d '\r')
echo "$out"
echo "$out" | awk '
    function median(list,    n, a, i, j, t) {
        n = split(list, a, " ")
        for (i = 2; i <= n; i++)
            for (j = i; j > 1 && a[j - 1] + 0 > a[j] + 0; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
        return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    {
        for (i = 3; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
        ms[$1, $2] = ms[$1, $2] " " v["ms"]; passes[$1, $2] = v["passes"]; seen[$1] = 1
    }
    END {
        for (l in seen) {
            b = median(ms[l, "bare"]); t = median(ms[l, "listed"])
            printf "%-9s listed/bare = %.2f (medians %d / %d ms, %d passes)\n", l, (b > 0 ? t / b : 0), t, b, passes[l, "listed"]
        }
    }'
