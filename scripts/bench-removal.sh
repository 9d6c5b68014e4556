#!/usr/bin/env bash
# Times the uninstall's list-driven removal of a 10,000-file install under
# Wine against a bare DeleteFileA/RemoveDirectoryA loop over the same tree
# (the floor), in the same run, in ROUNDS rounds whose order alternates;
# the ratio is that of the medians. Three orders of the list: as an
# installer writes it, reversed, and a chain of nested folders listed
# outside-in. Not a test: it prints figures and always exits 0 when it ran.
#   scripts/bench-removal.sh [--ram | --in DIR] [BUILD_DIR] [CHAIN_DEPTH] [ROUNDS]
#     --ram     the Wine prefix on the RAM disk /dev/shm: on a disk, the
#               floor's own rounds can differ by a factor of two or more
#     --in DIR  the Wine prefix in a new folder under DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
under=""
while [ $# -gt 0 ]; do
    case $1 in
    --ram) under=/dev/shm; shift ;;
    --in) under=${2:?--in needs a folder}; shift 2 ;;
    *) break ;;
    esac
done

scripts/install-deps.sh
# Asked after install-deps: before it a new machine has no Wine at all.
# shellcheck source=wine-env.sh
. scripts/wine-env.sh
# A host that runs no 32-bit programs measures the x86_64 build.
toolchain=mingw-i686.cmake bench=build-bench
wine_env_runs_i386 || toolchain=mingw-x86_64.cmake bench=build-bench64
build=${1:-$root/$bench}
depth=${2:-16}
rounds=${3:-7}

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
      -DCMAKE_BUILD_TYPE=Release -DMELVOX_BENCH=ON >/dev/null
cmake --build "$build" --target bench_removal -j2 >/dev/null

if [ -n "$under" ]; then
    mkdir -p "$under"
    envdir=$(mktemp -d "$under/melvox-bench.XXXXXX")
else
    envdir=$build/wine-bench
fi
finish() {
    wine_env_stop
    [ -z "$under" ] || rm -rf "$envdir"
}
WINE_ENV_FORCE_XVFB=1 wine_env_start "$envdir"
trap finish EXIT
echo "prefix: $WINEPREFIX ($(df -P "$WINEPREFIX" | awk 'NR == 2 { print $1 }'))"

out=$(wine "$build/tests/bench/bench_removal.exe" 'C:\melvox-bench' "$depth" "$rounds" | tr -d '\r')
echo "$out"
echo "$out" | awk '
    function sorted(list, a,    n, i, j, t) {
        n = split(list, a, " ")
        for (i = 2; i <= n; i++)
            for (j = i; j > 1 && a[j - 1] + 0 > a[j] + 0; j--) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
        return n
    }
    function median(list,    a, n) {
        n = sorted(list, a)
        return n % 2 ? a[(n + 1) / 2] : (a[n / 2] + a[n / 2 + 1]) / 2
    }
    function spread(list,    a, n) {
        n = sorted(list, a)
        return a[1] > 0 ? 100 * (a[n] - a[1]) / a[1] : 0
    }
    {
        for (i = 3; i <= NF; i++) { split($i, kv, "="); v[kv[1]] = kv[2] }
        ms[$1, $2] = ms[$1, $2] " " v["ms"]; passes[$1, $2] = v["passes"]
        if ($2 == "listed") { find[$1] = find[$1] " " v["find"]; read[$1] = read[$1] " " v["read"] }
        # The k-th removal of each kind make round k: its ratio is free of
        # the drift of the machine between rounds.
        n = ++count[$1, $2]; round[$1, $2, n] = v["ms"]
        if (count[$1, "listed"] == count[$1, "bare"] && round[$1, "bare", n] > 0)
            ratios[$1] = ratios[$1] " " round[$1, "listed", n] / round[$1, "bare", n]
        if (!($1 in seen)) order[++layouts] = $1
        seen[$1] = 1
    }
    END {
        for (k = 1; k <= layouts; k++) {
            l = order[k]; b = median(ms[l, "bare"]); t = median(ms[l, "listed"])
            printf "%-9s listed/floor = %.2fx, by round %.2fx (medians %d / %d ms, %d passes; floor rounds within %.0f%%;",
                   l, (b > 0 ? t / b : 0), median(ratios[l]), t, b, passes[l, "listed"], spread(ms[l, "bare"])
            printf " of the listed: running-program check %d ms, one reading of the list %d ms)\n",
                   median(find[l]), median(read[l])
        }
    }'
