#!/bin/sh
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Builds the Windows release, x64 and x86 (or the one named with --arch),
# into dist/, for each architecture (win64: x64, win32: x86):
#   quillora-launcher-<version>-<win64|win32>.zip       the executable, LICENSE, THIRD-PARTY-NOTICES
#   quillora-launcher-<version>-<win64|win32>.debug     its symbols
#   quillora-launcher-<version>-<win64|win32>.cdx.json  its CycloneDX 1.5 SBOM
# and SHA256SUMS over them all, from what CMake installs (build-release and
# build-release-x86, only the launcher). With --sign-pkcs12 FILE each
# executable is signed (Authenticode, SHA-256) before it is bundled, with the
# password in QUILLORA_SIGN_PASSWORD; --timestamp-url URL has that RFC 3161
# Time-Stamp Authority countersign it, so the signature outlives the
# certificate. The same commit gives the same unsigned bundles and SBOMs,
# byte for byte. A failed release leaves no dist/.
set -eu
cd "$(dirname "$0")/.."
usage() { echo "usage: $0 [--arch x64|x86] [--sign-pkcs12 FILE [--timestamp-url URL]]" >&2; exit 2; }
arches="x64 x86"
pkcs12=""
timestamp=""
while [ $# -gt 0 ]; do
    case "$1" in
    --arch) [ $# -ge 2 ] || usage; arches="$2"; shift 2 ;;
    --sign-pkcs12) [ $# -ge 2 ] || usage; pkcs12="$2"; shift 2 ;;
    --timestamp-url) [ $# -ge 2 ] || usage; timestamp="$2"; shift 2 ;;
    *) usage ;;
    esac
done
[ -n "$pkcs12" ] || [ -z "$timestamp" ] || usage

# The signing password lives in this shell alone: taken out of the
# environment, so that no child process gets it, and handed to the signer on
# a pipe, never in a file or on a command line, where it could outlive the
# release or be seen in ps.
if [ -n "$pkcs12" ]; then
    password="${QUILLORA_SIGN_PASSWORD:?set QUILLORA_SIGN_PASSWORD to the password of $pkcs12}"
fi
unset QUILLORA_SIGN_PASSWORD

# A failed release leaves no bundle, least of all an older one: dist/ is
# made in the stage and moved in place last. Interrupted, it leaves no stage
# either, and exits as the signal asks (dash runs no EXIT trap on one).
rm -rf dist
scripts/install-deps.sh osslsigncode
stage=$(mktemp -d /tmp/quillora-release.XXXXXX)
trap 'rm -rf "$stage"' EXIT
trap 'exit 129' HUP
trap 'exit 130' INT
trap 'exit 143' TERM
mkdir "$stage/dist"
SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}"
export SOURCE_DATE_EPOCH

for arch in $arches; do
    case "$arch" in
    x64) build="build-release" bits=win64 qt="${QT_MINGW_PREFIX:-/opt/qt5-mingw}" ;;
    x86) build="build-release-x86" bits=win32 qt="${QT_MINGW_X86_PREFIX:-/opt/qt5-mingw-x86}" ;;
    *) usage ;;
    esac
    scripts/build-windows.sh --arch "$arch" build-release
    python3 scripts/third-party-notices.py "$build/debug/quillora-launcher.map" "$qt/attributions" \
        --check THIRD-PARTY-NOTICES
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
    name="quillora-launcher-$version-$bits"
    cmake --install "$build" --component runtime --prefix "$stage/$arch/runtime" >/dev/null
    cmake --install "$build" --component debug --prefix "$stage/$arch/debug" >/dev/null
    exe="$stage/$arch/runtime/quillora-launcher.exe"
    if [ -n "$pkcs12" ]; then
        # printf is the shell's own: the password is on no command line.
        if ! printf '%s' "$password" | osslsigncode sign -pkcs12 "$pkcs12" -readpass /dev/fd/3 -h sha256 \
            -n "Quillora launcher" ${timestamp:+-ts "$timestamp"} -in "$exe" -out "$exe.signed" 3<&0 </dev/null \
            > "$stage/sign.log" 2>&1; then
            cat "$stage/sign.log" >&2
            if [ -n "$timestamp" ]; then
                echo "error: signing $arch failed; is the Time-Stamp Authority at $timestamp answering?" >&2
            else
                echo "error: signing $arch failed" >&2
            fi
            exit 1
        fi
        mv "$exe.signed" "$exe"
    fi
    # The SBOM describes the executable as it ships, signed when signed.
    python3 scripts/third-party-notices.py "$build/debug/quillora-launcher.map" "$qt/attributions" \
        --sbom "$stage/dist/$name.cdx.json" --executable "$exe" --version "$version" --arch "$arch"
    python3 - "$stage/$arch/runtime" "$stage/dist/$name.zip" quillora-launcher.exe LICENSE THIRD-PARTY-NOTICES <<'PY'
# A zip that depends on nothing but its files: their order as given, the
# commit's time, fixed modes, no extra fields.
import os, sys, time, zipfile
folder, target, names = sys.argv[1], sys.argv[2], sys.argv[3:]
stamp = time.gmtime(max(int(os.environ["SOURCE_DATE_EPOCH"]), 315532800))[:6]  # zip's times start in 1980
with zipfile.ZipFile(target, "w") as bundle:
    for name in names:
        info = zipfile.ZipInfo(name, date_time=stamp)
        info.compress_type = zipfile.ZIP_DEFLATED
        info.create_system = 3
        info.external_attr = (0o755 if name.endswith(".exe") else 0o644) << 16
        with open(os.path.join(folder, name), "rb") as f:
            bundle.writestr(info, f.read())
PY
    cp "$stage/$arch/debug/quillora-launcher.exe.debug" "$stage/dist/$name.debug"
done
(cd "$stage/dist" && sha256sum -- *.zip *.debug *.cdx.json > SHA256SUMS)
mv "$stage/dist" dist
echo "Release $version in dist/:"
(cd dist && cat SHA256SUMS)
