#!/usr/bin/env bash
# Two clean builds of this source give the same bytes: uninstall.exe (i686
# and x86_64), mvxlng.dll and melvox-setup.exe. The builds differ in what
# must not matter: the source folder (a copy, then the checkout itself),
# the build folder, the time, the umask, the locale and the time zone;
# the first takes SOURCE_DATE_EPOCH from the environment, the second from
# the last commit, as a build in a checkout does. Every PE time stamp must
# be that time (resource directories may hold 0) and no folder of either
# build may appear in an output. Names the first differing offset.
#   $1: the build root; the builds stay in $1/reproducible/ (the signing
#       check takes its unsigned reference bytes from there)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:?usage: reproducible.sh BUILD_ROOT}/reproducible
one=$out/one
two=$out/second-build-in-a-longer-folder
rm -rf "$out"
mkdir -p "$one/src" "$two"

# Without a SOURCE_DATE_EPOCH of the caller's, the second build finds the
# commit time itself (or the fixed time outside a checkout).
given=${SOURCE_DATE_EPOCH:-}
epoch=$given
if [ -z "$epoch" ] && [ "$(git -C "$root" rev-parse --show-toplevel 2>/dev/null)" = "$root" ]; then
    epoch=$(git -C "$root" log -1 --format=%ct)
fi
epoch=${epoch:-315532800}

# The source as it stands (committed or not), without build folders.
if git -C "$root" rev-parse --git-dir >/dev/null 2>&1; then
    git -C "$root" ls-files -z --cached --others --exclude-standard |
        tar -C "$root" --null -T - --ignore-failed-read -cf - 2>/dev/null | tar -C "$one/src" -xf -
else
    tar -C "$root" --exclude=./build --exclude=./dist -cf - . | tar -C "$one/src" -xf -
fi

build() {  # SOURCE BUILD_DIR
    cmake -S "$1" -B "$2/win32" -DCMAKE_TOOLCHAIN_FILE="$1/cmake/mingw-i686.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DMELVOX_TESTS=OFF >/dev/null
    cmake --build "$2/win32" -j"$(nproc)" >/dev/null
    cmake -S "$1" -B "$2/win64" -DCMAKE_TOOLCHAIN_FILE="$1/cmake/mingw-x86_64.cmake" \
          -DCMAKE_BUILD_TYPE=Release -DMELVOX_TESTS=OFF >/dev/null
    cmake --build "$2/win64" -j"$(nproc)" --target uninstall >/dev/null
}
# No certificate: the check is about the unsigned bytes.
unset MELVOX_SIGN_PKCS12 MELVOX_SIGN_PASSWORD_FILE MELVOX_SIGN_TIMESTAMP_URL
start=$SECONDS
(umask 022; export SOURCE_DATE_EPOCH=$epoch LC_ALL=C TZ=UTC; build "$one/src" "$one")
sleep 1
(umask 077; export LC_ALL=C.UTF-8 TZ=Pacific/Kiritimati
 [ -n "$given" ] || unset SOURCE_DATE_EPOCH
 build "$root" "$two")
echo "-- two builds in $((SECONDS - start)) s, time stamp $epoch"

fail=0
printf '%-40s %8s  %-64s  %s\n' file bytes sha256 result
for file in win32/uninstall.exe win64/uninstall.exe win32/samples/lang-de/mvxlng.dll \
            win32/samples/lang-ja/mvxlng.dll \
            win32/samples/installer/melvox-setup.exe; do
    a=$one/$file b=$two/$file
    if [ ! -f "$a" ] || [ ! -f "$b" ]; then
        echo "FAILED: $file was not built"; fail=1; continue
    fi
    sum=$(sha256sum <"$a" | cut -c1-64)
    result=same
    if ! cmp -s "$a" "$b"; then
        # cmp -l: the first differing byte, counted from 1; none when one
        # file is the start of the other.
        first=$({ cmp -l "$a" "$b" 2>/dev/null || true; } | awk 'NR == 1 { print $1 - 1; exit }')
        if [ -z "$first" ]; then
            first=$(( $(stat -c %s "$a") < $(stat -c %s "$b") ? $(stat -c %s "$a") : $(stat -c %s "$b") ))
            result=$(printf 'DIFFERENT from offset %#x on (the shorter file ends there)' "$first")
        else
            result=$(printf 'DIFFERENT from offset %#x on' "$first")
        fi
        result="$result; the other: $(sha256sum <"$b" | cut -c1-64)"
        fail=1
    fi
    printf '%-40s %8s  %s  %s\n' "$file" "$(stat -c %s "$a")" "$sum" "$result"
    for folder in "$one" "$two" "$root"; do
        if grep -aqF "$folder" "$a" "$b"; then
            echo "FAILED: $file names the folder $folder"; fail=1
        fi
    done
    # header=N export=N|- resources=N,...: the export directory's stamp is
    # the link time, a resource directory's may be 0.
    stamps=$(python3 "$root/scripts/pe-time-stamp.py" "$b" | cut -d' ' -f2-)
    wrong=$(tr ' ,' '\n\n' <<<"$stamps" | sed 's/^[a-z]*=//' | grep -vx -e "$epoch" -e - -e 0 || true)
    if [ -n "$wrong" ] || [[ "$stamps" != "header=$epoch "* ]] || [[ "$stamps" == *export=0* ]]; then
        echo "FAILED: $file has time stamps other than $epoch: $stamps"; fail=1
    fi
done
[ "$fail" -eq 0 ] || { echo "reproducible: the builds differ (kept in $out)"; exit 1; }
