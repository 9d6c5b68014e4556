#!/usr/bin/env bash
# Signs Windows program files in place with Authenticode (SHA-256) through
# osslsigncode, with the description that the elevation prompt shows.
#   MELVOX_SIGN_PKCS12=cert.p12 MELVOX_SIGN_PASSWORD_FILE=pass.txt \
#   [MELVOX_SIGN_TIMESTAMP_URL=http://...] [SOURCE_DATE_EPOCH=N] \
#   scripts/sign.sh FILE...
# The build runs it on uninstall.exe, mvxlng.dll and melvox-setup.exe.
# SOURCE_DATE_EPOCH is the signing time (the same bytes for the same file
# and key); the time-stamp server, when given, adds the trusted time.
# When osslsigncode fails (a bad certificate, a wrong password, a missing
# file, no answer from the server) the file is removed, its reason printed
# and the script fails: an unsigned file never stands in for a signed one.
set -euo pipefail
: "${MELVOX_SIGN_PKCS12:?sign.sh: MELVOX_SIGN_PKCS12 names no certificate}"
: "${MELVOX_SIGN_PASSWORD_FILE:?sign.sh: MELVOX_SIGN_PASSWORD_FILE names no password file}"
description="Melvox setup and uninstall"

options=(-pkcs12 "$MELVOX_SIGN_PKCS12" -readpass "$MELVOX_SIGN_PASSWORD_FILE"
         -h sha256 -n "$description")
[ -z "${MELVOX_SIGN_TIMESTAMP_URL:-}" ] || options+=(-ts "$MELVOX_SIGN_TIMESTAMP_URL")
[ -z "${SOURCE_DATE_EPOCH:-}" ] || options+=(-time "$SOURCE_DATE_EPOCH")

for file in "$@"; do
    signing="$file.signing"
    rm -f "$signing"
    if ! reason=$(osslsigncode sign "${options[@]}" -in "$file" -out "$signing" 2>&1); then
        rm -f "$signing" "$file"
        printf 'sign.sh: %s not signed (and removed): osslsigncode says:\n%s\n' "$file" "$reason" >&2
        exit 1
    fi
    mv -f "$signing" "$file"
    echo "signed $(basename "$file")"
done
