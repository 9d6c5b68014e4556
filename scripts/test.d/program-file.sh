#!/usr/bin/env bash
# Checks the shipped program file: a 32-bit Windows GUI program of at most
# 64 KiB that imports only system DLLs.
set -euo pipefail
exe="$1/win32/uninstall.exe"
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

dump=$(i686-w64-mingw32-objdump -p "$exe")
size=$(stat -c %s "$exe")
check "PE32 for i386" 'i686-w64-mingw32-objdump -f "$exe" | grep -q "file format pei-i386"'
check "GUI subsystem" 'grep -Eq "^Subsystem[[:space:]]+0*2[[:space:]]" <<<"$dump"'
check "size $size bytes <= 65536" '[ "$size" -le 65536 ]'
allowed="KERNEL32.dll USER32.dll GDI32.dll ADVAPI32.dll SHELL32.dll ole32.dll msvcrt.dll"
imports=$(grep 'DLL Name:' <<<"$dump" | awk '{print $3}' | tr '\n' ' ')
bad=""
for dll in $imports; do
    grep -qiw -- "$dll" <<<"$allowed" || bad="$bad $dll"
done
check "imports only system DLLs ($imports)" '[ -z "$bad" ]'
[ "$fail" -eq 0 ] || { echo "program-file checks failed:$bad"; exit 1; }
