#!/bin/sh
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Builds the Windows release into dist/:
#   quillora-launcher-<version>-win64.zip    the executable, LICENSE, THIRD-PARTY-NOTICES
#   quillora-launcher-<version>-win64.debug  its symbols
#   SHA256SUMS                               over both
# from what CMake installs (build-release, only the launcher). With
# --sign-pkcs12 FILE the executable is signed (Authenticode, SHA-256) before
# it is bundled, with the password in QUILLORA_SIGN_PASSWORD; --timestamp-url
# URL has a Time-Stamp Authority countersign it. The same commit gives the
# same unsigned bundle, byte for byte.
set -eu
cd "$(dirname "$0")/.."
usage() { echo "usage: $0 [--sign-pkcs12 FILE [--timestamp-url URL]]" >&2; exit 2; }
pkcs12=""
timestamp=""
while [ $# -gt 0 ]; do
    case "$1" in
    --sign-pkcs12) [ $# -ge 2 ] || usage; pkcs12="$2"; shift 2 ;;
    --timestamp-url) [ $# -ge 2 ] || usage; timestamp="$2"; shift 2 ;;
    *) usage ;;
    esac
done
[ -n "$pkcs12" ] || [ -z "$timestamp" ] || usage

# A failed release leaves no bundle, least of all an older one.
rm -rf dist
scripts/install-deps.sh osslsigncode
build="build-release"
scripts/build-windows.sh "$build"
python3 scripts/third-party-notices.py "$build/debug/quillora-launcher.map" \
    "${QT_MINGW_PREFIX:-/opt/qt5-mingw}/attributions" --check THIRD-PARTY-NOTICES
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
name="quillora-launcher-$version-win64"

stage=$(mktemp -d /tmp/quillora-release.XXXXXX)
trap 'rm -rf "$stage"' EXIT
cmake --install "$build" --component runtime --prefix "$stage/runtime" >/dev/null
cmake --install "$build" --component debug --prefix "$stage/debug" >/dev/null
exe="$stage/runtime/quillora-launcher.exe"
if [ -n "$pkcs12" ]; then
    # The password goes in through a file only its owner can read, removed
    # with the stage: never on a command line, where anyone could see it.
    (umask 077 && printf '%s' "${QUILLORA_SIGN_PASSWORD:?set QUILLORA_SIGN_PASSWORD to the password of $pkcs12}" \
        > "$stage/password")
    osslsigncode sign -pkcs12 "$pkcs12" -readpass "$stage/password" -h sha256 -n "Quillora launcher" \
        ${timestamp:+-ts "$timestamp"} -in "$exe" -out "$exe.signed" >/dev/null
    mv "$exe.signed" "$exe"
fi

mkdir dist
SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}" \
    python3 - "$stage/runtime" "dist/$name.zip" quillora-launcher.exe LICENSE THIRD-PARTY-NOTICES <<'EOF'
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
EOF
cp "$stage/debug/quillora-launcher.exe.debug" "dist/$name.debug"
(cd dist && sha256sum "$name.zip" "$name.debug" > SHA256SUMS)
echo "Release $version in dist/:"
(cd dist && cat SHA256SUMS)
