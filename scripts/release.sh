#!/usr/bin/env bash
# Builds a release of the current commit from a clean copy of it and
# writes dist/melvox-<version>/: melvox-setup.exe, uninstall.exe,
# mvxlng.dll, uninstall-x86_64.exe (the 64-bit program) and SHA256SUMS.
# Refuses uncommitted changes. Signs when MELVOX_SIGN_PKCS12 and
# MELVOX_SIGN_PASSWORD_FILE name a certificate (MELVOX_SIGN_TIMESTAMP_URL
# optional); the time stamps are SOURCE_DATE_EPOCH, else the commit's.
# Prints each file with its size, SHA-256 and whether it is signed. The
# folder appears only once everything is built, signed and checked.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# The certificate's files as named from where the script was started.
if [ -n "${MELVOX_SIGN_PKCS12:-}${MELVOX_SIGN_PASSWORD_FILE:-}" ]; then
    for name in MELVOX_SIGN_PKCS12 MELVOX_SIGN_PASSWORD_FILE; do
        [ -f "${!name:-}" ] || { echo "release: $name names no file (\"${!name:-}\")" >&2; exit 1; }
        export "$name=$(realpath "${!name}")"
    done
fi
cd "$root"

if ! git rev-parse --verify -q HEAD >/dev/null; then
    echo "release: $root is not a Git checkout with a commit" >&2
    exit 1
fi
if [ -n "$(git status --porcelain --untracked-files=no)" ]; then
    echo "release: uncommitted changes; a release is built from a commit only. Commit or stash them:" >&2
    git status --short --untracked-files=no >&2
    exit 1
fi
scripts/install-deps.sh

commit=$(git rev-parse HEAD)
export SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct)}

work=$(mktemp -d "${TMPDIR:-/tmp}/melvox-release.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/src"
git archive --format=tar "$commit" | tar -C "$work/src" -xf -

echo "== Building $commit (time stamp $SOURCE_DATE_EPOCH)"
build() {  # TOOLCHAIN BUILD_DIR [TARGET]
    local log
    log=$(cmake -S "$work/src" -B "$2" -DCMAKE_TOOLCHAIN_FILE="$work/src/cmake/$1" \
          -DCMAKE_BUILD_TYPE=Release -DMELVOX_TESTS=OFF 2>&1) || { echo "$log" >&2; return 1; }
    grep -E '^-- (Signing|Time stamps)' <<<"$log"
    log=$(cmake --build "$2" -j"$(nproc)" ${3:+--target "$3"} 2>&1) || { echo "$log" >&2; return 1; }
}
build mingw-i686.cmake "$work/win32"
build mingw-x86_64.cmake "$work/win64" uninstall
[ -f "$work/win32/samples/installer/melvox-setup.exe" ] ||
    { echo "release: the installer was not built (makensis missing?)" >&2; exit 1; }

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$work/win32/CMakeCache.txt")
name=melvox-$version
out=$work/$name
mkdir "$out"
cp "$work/win32/samples/installer/melvox-setup.exe" "$work/win32/uninstall.exe" \
   "$work/win32/samples/lang-de/mvxlng.dll" "$out/"
cp "$work/win64/uninstall.exe" "$out/uninstall-x86_64.exe"
files=(melvox-setup.exe uninstall.exe mvxlng.dll uninstall-x86_64.exe)
(cd "$out" && sha256sum "${files[@]}" >SHA256SUMS && sha256sum -c --quiet SHA256SUMS)

mkdir -p dist
rm -rf "dist/$name"
mv "$out" "dist/$name"

echo "== dist/$name (commit $commit, version $version)"
printf '%-22s %8s  %-64s  %s\n' file bytes sha256 signature
for file in "${files[@]}"; do
    path=dist/$name/$file
    if osslsigncode extract-signature -in "$path" -out "$work/signature" >/dev/null 2>&1; then
        signed=signed
    else
        signed=unsigned
    fi
    rm -f "$work/signature"
    printf '%-22s %8s  %s  %s\n' "$file" "$(stat -c %s "$path")" "$(sha256sum <"$path" | cut -c1-64)" "$signed"
done
echo "Check: cd dist/$name && sha256sum -c SHA256SUMS"
