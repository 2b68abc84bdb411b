#!/bin/sh
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Checks the Windows release as a vendor would use it, offline: signs it with
# a throwaway certificate and CA made here, verifies the signature against
# that CA, removes the signature again and compares with the unsigned build,
# checks SHA256SUMS and what the zip holds.
set -eu
cd "$(dirname "$0")/.."
work=$(mktemp -d /tmp/quillora-release-check.XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
pass() { echo "ok: $*"; }

# A CA and a code-signing certificate it issued, as a vendor's would be.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quillora test CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign \
    -keyout "$work/ca.key" -out "$work/ca.pem" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Quillora test vendor" \
    -keyout "$work/vendor.key" -out "$work/vendor.csr" 2>/dev/null
printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > "$work/vendor.ext"
openssl x509 -req -in "$work/vendor.csr" -CA "$work/ca.pem" -CAkey "$work/ca.key" -CAcreateserial -days 2 \
    -extfile "$work/vendor.ext" -out "$work/vendor.pem" 2>/dev/null
QUILLORA_SIGN_PASSWORD="throwaway pass"
export QUILLORA_SIGN_PASSWORD
openssl pkcs12 -export -inkey "$work/vendor.key" -in "$work/vendor.pem" -passout env:QUILLORA_SIGN_PASSWORD \
    -out "$work/vendor.p12"

scripts/release-windows.sh --sign-pkcs12 "$work/vendor.p12" >/dev/null
zip=$(ls dist/*-win64.zip)
names=$(python3 -c 'import sys, zipfile; print(" ".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
[ "$names" = "quillora-launcher.exe LICENSE THIRD-PARTY-NOTICES" ] && pass "the zip holds $names" \
    || fail "the zip holds: $names"
(cd dist && sha256sum --quiet -c SHA256SUMS) && pass "SHA256SUMS holds for $(cd dist && printf '%s ' *.zip *.debug)" \
    || fail "SHA256SUMS does not match"
python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read("quillora-launcher.exe"))' \
    "$zip" > "$work/signed.exe"
osslsigncode verify -CAfile "$work/ca.pem" -in "$work/signed.exe" >"$work/verify.log" 2>&1 \
    && pass "Authenticode signature verified against the vendor's CA" || { cat "$work/verify.log"; fail "not verified"; }
grep -q "^Message digest algorithm *: SHA256" "$work/verify.log" && pass "signed with SHA-256" || fail "no SHA-256 digest"
osslsigncode remove-signature -in "$work/signed.exe" -out "$work/unsigned.exe" >/dev/null
cmp -s "$work/unsigned.exe" build-release/quillora-launcher.exe \
    && pass "without its signature it is the reproducible build, byte for byte" \
    || fail "without its signature it differs from build-release/quillora-launcher.exe"
exit $failed
