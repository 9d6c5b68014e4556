#!/usr/bin/env bash
# Signing, with a throwaway CA and code-signing certificate made by
# openssl: a build configured with them signs uninstall.exe, mvxlng.dll
# and melvox-setup.exe. Each verifies against that CA with the program's
# description; a copy with one byte changed does not; without their
# signatures uninstall.exe and mvxlng.dll are the unsigned bytes of the
# reproducible build (apart from the PE checksum field); and the signed
# installer and program pass the packaged end-to-end case under Wine:
# install, setup, and the uninstall through the system's list. A wrong
# password stops the signing with osslsigncode's reason.
#   $1: the build root; works in $1/signing, takes the unsigned bytes from
#       $1/reproducible/one (scripts/test.d/reproducible.sh, run before)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
base=${1:?usage: signing.sh BUILD_ROOT}/signing
reference=$1/reproducible/one/win32
build=$base/win32
cert=$base/cert
[ -f "$reference/uninstall.exe" ] ||
    { echo "signing: no unsigned reference in $reference (run scripts/test.d/reproducible.sh first)"; exit 1; }
rm -rf "$base"
mkdir -p "$cert"
# The reference's time, so that only the signature may differ.
SOURCE_DATE_EPOCH=$(python3 "$root/scripts/pe-time-stamp.py" "$reference/uninstall.exe" | sed 's/.* header=\([0-9]*\) .*/\1/')
export SOURCE_DATE_EPOCH
start=$SECONDS

# The CA, a code-signing certificate it issued, and both in a PKCS#12
# file with a password, as a publisher's certificate comes.
(
    cd "$cert"
    cat >leaf.cnf <<'EOF'
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
EOF
    openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
        -subj "/CN=Melvox test CA" -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
    openssl req -newkey rsa:2048 -nodes -keyout leaf.key -out leaf.csr \
        -subj "/CN=Melvox test publisher" 2>/dev/null
    openssl x509 -req -in leaf.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
        -extfile leaf.cnf -out leaf.pem 2>/dev/null
    echo "throwaway password $RANDOM" >password.txt
    openssl pkcs12 -export -inkey leaf.key -in leaf.pem -certfile ca.pem \
        -passout file:password.txt -out publisher.p12
)

# The program, the module, the installer and the one test program.
export MELVOX_SIGN_PKCS12=$cert/publisher.p12 MELVOX_SIGN_PASSWORD_FILE=$cert/password.txt
unset MELVOX_SIGN_TIMESTAMP_URL
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DMELVOX_ONLY_TESTS=uninstall | grep '^-- Signing'
log=$(cmake --build "$build" -j"$(nproc)" --target uninstall_e2e_tests 2>&1) || { echo "$log"; exit 1; }
grep '^signed ' <<<"$log"
echo "-- signed build in $((SECONDS - start)) s"

fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }
verify() { osslsigncode verify -CAfile "$cert/ca.pem" -in "$1" 2>&1; }
# Same bytes once the 4-byte PE checksum field is left out.
same_but_checksum() {
    python3 - "$1" "$2" <<'PYTHON'
import struct, sys
a, b = (bytearray(open(path, "rb").read()) for path in sys.argv[1:3])
for data in (a, b):
    at = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 64
    data[at:at + 4] = bytes(4)
sys.exit(a != b)
PYTHON
}

for file in uninstall.exe samples/lang-de/mvxlng.dll samples/lang-ja/mvxlng.dll samples/installer/melvox-setup.exe; do
    name=${file#samples/}
    signed=$build/$file
    [ -f "$signed" ] || { echo "FAILED: $name was not built"; fail=1; continue; }
    report=$(verify "$signed" || true)
    check "$name verifies against the test CA, described as the program" \
        'grep -q "^Signature verification: ok" <<<"$report" && grep -q "Text description: Melvox setup and uninstall" <<<"$report"'
    changed=$base/changed-${name//\//-}
    python3 -c 'import sys; d = bytearray(open(sys.argv[1], "rb").read()); d[len(d) // 3] ^= 1; open(sys.argv[2], "wb").write(d)' \
        "$signed" "$changed"
    check "$name with one byte changed fails verification" '! verify "$changed" >/dev/null'
done
# Each file and where the installer packs it (the modules share a name).
for pair in uninstall.exe:uninstall.exe samples/lang-de/mvxlng.dll:de/mvxlng.dll \
            samples/lang-ja/mvxlng.dll:ja/mvxlng.dll; do
    file=${pair%%:*} packed=${pair#*:}
    name=${packed//\//-}
    check "the installer packs the signed $packed" 'cmp -s "$build/$file" "$build/samples/installer/packed/$packed"'
    stripped=$base/unsigned-$name
    osslsigncode remove-signature -in "$build/$file" -out "$stripped" >/dev/null
    check "$name without its signature is the reproducible build's" 'same_but_checksum "$stripped" "$reference/$file"'
done
# A wrong password stops with osslsigncode's reason and leaves no file.
cp "$reference/uninstall.exe" "$base/wrong-password.exe"
echo wrong >"$cert/wrong.txt"
refused=$(MELVOX_SIGN_PASSWORD_FILE=$cert/wrong.txt bash "$root/scripts/sign.sh" "$base/wrong-password.exe" 2>&1) && refused=
check "a wrong password stops the signing with osslsigncode's reason, and the file is gone" \
    'grep -q "Wrong password" <<<"$refused" && [ ! -e "$base/wrong-password.exe" ] && [ ! -e "$base/wrong-password.exe.signing" ]'
[ "$fail" -eq 0 ] || { echo "signing checks failed"; exit 1; }

# The signed installer installs the signed program, whose setup and
# uninstall then run as in the test run.
# shellcheck source=../wine-env.sh
. "$root/scripts/wine-env.sh"
if wine_env_runs_i386; then
    trap wine_env_stop EXIT
    WINE_ENV_FORCE_XVFB=1 wine_env_start "$base/wine"
    ctest --test-dir "$build" --output-on-failure --timeout 300 \
          -R '^uninstall_e2e_tests[.]EndToEnd[.]PackagedInstallRemovedThroughTheSystemList$'
else
    echo "-- NOT RUN: the signed installer under Wine (this host runs no 32-bit programs)"
fi
echo "-- signing checks in $((SECONDS - start)) s"
