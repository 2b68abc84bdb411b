#!/bin/sh
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Builds the Windows launcher on Debian, for x64 and x86 (or the one named
# with --arch): build-windows/quillora-launcher.exe and
# build-windows-x86/quillora-launcher.exe, or in the build directory given
# (with "-x86" added for x86), followed by options for cmake. For each
# architecture a static Qt Core for mingw-w64 first (scripts/build-qt-mingw.sh,
# cached), then the launcher from the same sources, then checks of the
# executable itself. Only the launcher is built unless -DBUILD_TESTING=ON asks
# for the Wine tests' helpers too (in <build>/tests). The same commit gives
# the same bytes: SOURCE_DATE_EPOCH, the commit's time unless set, is the
# only time stamped.
set -eu
cd "$(dirname "$0")/.."
arches="x64 x86"
if [ "${1:-}" = "--arch" ]; then
    arches="${2:?usage: $0 [--arch x64|x86] [build directory] [cmake options]}"
    shift 2
fi
build="${1:-build-windows}"
[ $# -eq 0 ] || shift
SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}"
export SOURCE_DATE_EPOCH
scripts/install-deps.sh icoutils python3-pefile
for arch in $arches; do
    case "$arch" in
    x64) toolchain=mingw-w64-x86_64 dir="$build" ;;
    x86) toolchain=mingw-w64-i686 dir="$build-x86" ;;
    *) echo "usage: $0 [--arch x64|x86] [build directory] [cmake options]" >&2; exit 2 ;;
    esac
    # Also installs the architecture's toolchain.
    scripts/build-qt-mingw.sh "$arch"
    cmake -S . -B "$dir" -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DBUILD_TESTING=OFF "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
    scripts/check-windows-exe.sh "$dir/quillora-launcher.exe"
done
