#!/bin/sh
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Checks the Windows release of both architectures as a vendor would use
# it, offline: a Time-Stamp Authority of its own on 127.0.0.1 (openssl's
# "ts -reply" behind a few lines of HTTP) and a throwaway code-signing CA;
# signs with both, verifies the signature and its time stamp, also at a time
# after the signing certificate expired, removes the signature and compares
# with the unsigned build; checks SHA256SUMS, what each zip holds, and each
# SBOM against CycloneDX's published schema. A Time-Stamp Authority that
# does not answer must fail the release and leave no dist/.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh osslsigncode openssl python3-jsonschema
# npm fetches CycloneDX's schema; a machine's own Node.js may bring it.
command -v npm >/dev/null || scripts/install-deps.sh npm
work=$(mktemp -d /tmp/quillora-release-check.XXXXXX)
tsa_pid=""
trap '[ -z "$tsa_pid" ] || kill "$tsa_pid"; rm -rf "$work"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
pass() { echo "ok: $*"; }

# A CA and a code-signing certificate it issued, valid 2 days, as a
# vendor's would be.
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
(umask 077 && printf '%s' "$QUILLORA_SIGN_PASSWORD" > "$work/password")
openssl pkcs12 -export -inkey "$work/vendor.key" -in "$work/vendor.pem" -passout env:QUILLORA_SIGN_PASSWORD \
    -out "$work/vendor.p12"

# The Time-Stamp Authority: a CA of its own, and a certificate whose
# timeStamping extended key usage is critical, as RFC 3161 asks.
openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=Quillora test TSA CA" \
    -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign \
    -keyout "$work/tsaca.key" -out "$work/tsaca.pem" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Quillora test TSA" -keyout "$work/tsa.key" -out "$work/tsa.csr" 2>/dev/null
printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=critical,timeStamping\n' > "$work/tsa.ext"
openssl x509 -req -in "$work/tsa.csr" -CA "$work/tsaca.pem" -CAkey "$work/tsaca.key" -CAcreateserial -days 3650 \
    -extfile "$work/tsa.ext" -out "$work/tsa.pem" 2>/dev/null
cat > "$work/tsa.cnf" <<CNF
[ tsa ]
default_tsa = tsa_config
[ tsa_config ]
serial = $work/tsa.serial
crypto_device = builtin
signer_cert = $work/tsa.pem
certs = $work/tsaca.pem
signer_key = $work/tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.4146.2.3
digests = sha1, sha256, sha384, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_chain = no
ess_cert_id_alg = sha256
CNF
echo 01 > "$work/tsa.serial"
python3 - "$work" <<'PY' &
# RFC 3161 over HTTP: each POSTed query answered by openssl ts -reply.
import http.server, os, subprocess, sys
work = sys.argv[1]
class Authority(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        query = self.rfile.read(int(self.headers["Content-Length"]))
        reply = subprocess.run(["openssl", "ts", "-reply", "-config", f"{work}/tsa.cnf", "-queryfile", "/dev/stdin",
                                "-out", "/dev/stdout"], input=query, capture_output=True).stdout
        self.send_response(200 if reply else 500)
        self.send_header("Content-Type", "application/timestamp-reply")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(("127.0.0.1", 0), Authority)
with open(f"{work}/tsa.port.new", "w") as f:
    f.write(str(server.server_port))
os.rename(f"{work}/tsa.port.new", f"{work}/tsa.port")
server.serve_forever()
PY
tsa_pid=$!
for _ in $(seq 100); do [ -f "$work/tsa.port" ] && break; sleep 0.1; done
tsa="http://127.0.0.1:$(cat "$work/tsa.port")"

# A Time-Stamp Authority that does not answer: a clear error, no dist/.
if scripts/release-windows.sh --sign-pkcs12 "$work/vendor.p12" --timestamp-url http://127.0.0.1:9 \
    >/dev/null 2>"$work/unanswered.log"; then
    fail "the release went on without its time stamp"
elif grep -q "is the Time-Stamp Authority at http://127.0.0.1:9 answering" "$work/unanswered.log" && [ ! -e dist ]; then
    pass "a Time-Stamp Authority that does not answer fails the release, and leaves no dist/"
else
    cat "$work/unanswered.log"
    fail "a Time-Stamp Authority that does not answer: no clear error, or a dist/ left"
fi

# Interrupted while it signs, the Time-Stamp Authority stalled: with each
# signal, as a Ctrl-C, a kill or a closed terminal sends it to the whole
# process group, the release exits as the signal asks and leaves nothing,
# least of all the password. env --default-signal: a background job of this
# shell would ignore INT, and pass without any trap.
python3 -c 'import socket, time
s = socket.socket(); s.bind(("127.0.0.1", 0)); s.listen(16)
print(s.getsockname()[1], flush=True); time.sleep(3600)' > "$work/stalled.port" &
stalled_pid=$!
for _ in $(seq 100); do [ -s "$work/stalled.port" ] && break; sleep 0.1; done
for signal in HUP:129 INT:130 TERM:143; do
    name=${signal%:*} status=${signal#*:}
    before=$(ls -d /tmp/quillora-release.* 2>/dev/null || true)
    touch "$work/started"
    setsid env --default-signal=INT scripts/release-windows.sh --arch x64 --sign-pkcs12 "$work/vendor.p12" \
        --timestamp-url "http://127.0.0.1:$(cat "$work/stalled.port")" >/dev/null 2>&1 &
    release=$!
    signer=""
    for _ in $(seq 1200); do
        signer=$(pgrep -s "$release" -x osslsigncode || true)
        [ -n "$signer" ] && break
        sleep 0.25
    done
    [ -n "$signer" ] || fail "$name: the release never came to signing"
    if [ -n "$signer" ] && tr '\0' '\n' < "/proc/$signer/environ" | grep -q "$QUILLORA_SIGN_PASSWORD"; then
        fail "$name: the signer's environment holds the password"
    fi
    if [ -n "$signer" ] && tr '\0' ' ' < "/proc/$signer/cmdline" | grep -q "$QUILLORA_SIGN_PASSWORD"; then
        fail "$name: the signer's command line holds the password"
    fi
    kill -s "$name" -- "-$release"
    code=0
    wait "$release" || code=$?
    after=$(ls -d /tmp/quillora-release.* 2>/dev/null || true)
    # Any file made since, this check's own excepted, that holds it.
    left=$(find /tmp -path "$work" -prune -o -type f -newer "$work/started" \
        -exec grep -lF "$QUILLORA_SIGN_PASSWORD" {} + 2>/dev/null || true)
    if [ "$code" -eq "$status" ] && [ "$after" = "$before" ] && [ -z "$left" ] && [ ! -e dist ]; then
        pass "$name while signing: exit $code, no stage, no password left anywhere in /tmp"
    else
        fail "$name while signing: exit $code (want $status), stage left: ${after#"$before"}, password in: $left"
    fi
done
kill "$stalled_pid"

scripts/release-windows.sh --sign-pkcs12 "$work/vendor.p12" --timestamp-url "$tsa" >/dev/null
(cd dist && sha256sum --quiet -c SHA256SUMS) && pass "SHA256SUMS holds for $(cd dist && printf '%s ' *.zip *.debug *.cdx.json)" \
    || fail "SHA256SUMS does not match"
schemas="$work/cyclonedx"
(cd "$work" && npm pack --silent "@cyclonedx/cyclonedx-library@6.13.1" >/dev/null 2>&1)
echo "de9ac3e6e59be24d0b5345d98761304ff2c55458bd31888771d7e932fc531533  $work/cyclonedx-cyclonedx-library-6.13.1.tgz" \
    | sha256sum --quiet -c && mkdir "$schemas" \
    && tar xzf "$work/cyclonedx-cyclonedx-library-6.13.1.tgz" -C "$schemas" --strip-components=3 package/res/schema \
    || fail "CycloneDX's schema (npm @cyclonedx/cyclonedx-library 6.13.1) could not be had"
# One past the signing certificate's two days: only the time stamp keeps the
# signature valid then.
later=$(($(date +%s) + 5 * 86400))
for arch in x64 x86; do
    case "$arch" in
    x64) build="build-release" bits=win64 ;;
    x86) build="build-release-x86" bits=win32 ;;
    esac
    zip=$(ls dist/*-"$bits".zip)
    names=$(python3 -c 'import sys, zipfile; print(" ".join(zipfile.ZipFile(sys.argv[1]).namelist()))' "$zip")
    [ "$names" = "quillora-launcher.exe LICENSE THIRD-PARTY-NOTICES" ] && pass "$arch: the zip holds $names" \
        || fail "$arch: the zip holds: $names"
    python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read("quillora-launcher.exe"))' \
        "$zip" > "$work/signed-$arch.exe"
    osslsigncode verify -CAfile "$work/ca.pem" -TSA-CAfile "$work/tsaca.pem" -in "$work/signed-$arch.exe" \
        >"$work/verify.log" 2>&1 && grep -q "^Timestamp Server Signature verification: ok" "$work/verify.log" \
        && pass "$arch: signature and its time stamp verified against the vendor's CA and the TSA's" \
        || { cat "$work/verify.log"; fail "$arch: signature or time stamp not verified"; }
    grep -q "^Message digest algorithm *: SHA256" "$work/verify.log" && pass "$arch: signed with SHA-256" \
        || fail "$arch: no SHA-256 digest"
    osslsigncode verify -CAfile "$work/ca.pem" -TSA-CAfile "$work/tsaca.pem" -time "$later" -in "$work/signed-$arch.exe" \
        >"$work/later.log" 2>&1 && pass "$arch: still valid after the signing certificate expired, by its time stamp" \
        || { cat "$work/later.log"; fail "$arch: not valid after the signing certificate expired"; }
    # The same signature without a time stamp does not outlive it.
    osslsigncode sign -pkcs12 "$work/vendor.p12" -readpass "$work/password" -h sha256 -in "$build/quillora-launcher.exe" \
        -out "$work/untimed-$arch.exe" >/dev/null 2>&1
    if osslsigncode verify -CAfile "$work/ca.pem" -time "$later" -in "$work/untimed-$arch.exe" >/dev/null 2>&1; then
        fail "$arch: an untimed signature verified after expiry: the check above proves nothing"
    else
        pass "$arch: the same signature without a time stamp does not verify then"
    fi
    osslsigncode remove-signature -in "$work/signed-$arch.exe" -out "$work/unsigned-$arch.exe" >/dev/null
    cmp -s "$work/unsigned-$arch.exe" "$build/quillora-launcher.exe" \
        && pass "$arch: without its signature it is the reproducible build, byte for byte" \
        || fail "$arch: without its signature it differs from $build/quillora-launcher.exe"
    sbom=$(ls dist/*-"$bits".cdx.json)
    /usr/bin/python3 scripts/validate-sbom.py "$schemas" "$sbom" && pass "$arch: $(basename "$sbom") is valid CycloneDX 1.5" \
        || fail "$arch: $(basename "$sbom") is not valid CycloneDX 1.5"
    digest=$(sha256sum "$work/signed-$arch.exe" | cut -d' ' -f1)
    grep -q "\"content\": \"$digest\"" "$sbom" && pass "$arch: the SBOM names the shipped, signed executable" \
        || fail "$arch: the SBOM does not name the shipped executable's SHA-256"
done
exit $failed
