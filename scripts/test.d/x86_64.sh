#!/usr/bin/env bash
# Builds the program and its test programs for 64-bit Windows into
# BUILD_ROOT/win64, so that the code stays free of 32-bit assumptions
# beyond the ones it states; scripts/test.sh runs the tests in a 64-bit
# prefix afterwards.
#   scripts/test.d/x86_64.sh BUILD_ROOT
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build}
cmake -S "$root" -B "$build/win64" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DMELVOX_TESTS=ON >/dev/null
exe=$build/win64/uninstall.exe
rc=0
log=$(cmake --build "$build/win64" -j"$(nproc)" 2>&1) || rc=$?
# Compiler diagnostics only, without the progress lines.
grep -v -e '^\[' -e '^Consolidate compiler' <<<"$log" || true
if [ "$rc" != 0 ] || [ ! -f "$exe" ]; then
    echo "x86_64: the 64-bit build failed" >&2
    exit 1
fi
echo "x86_64: $(stat -c %s "$exe") bytes, $(x86_64-w64-mingw32-objdump -f "$exe" | grep -o 'file format [a-z0-9-]*')"
