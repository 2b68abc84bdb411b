#!/bin/sh
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Builds the Windows launcher (build-windows/quillora-launcher.exe, or in the
# build directory given, followed by options for cmake) on Debian: a static
# Qt Core for mingw-w64 first, cached in /opt/qt5-mingw, then the launcher
# from the same sources, then checks of the executable itself. Only the
# launcher is built unless -DBUILD_TESTING=ON asks for the Wine tests'
# helpers too (in <build>/tests). The same commit gives the same bytes:
# SOURCE_DATE_EPOCH, the commit's time unless set, is the only time stamped.
set -eu
cd "$(dirname "$0")/.."
build="${1:-build-windows}"
[ $# -eq 0 ] || shift
scripts/install-deps.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 icoutils python3-pefile
scripts/build-qt-mingw.sh
SOURCE_DATE_EPOCH="${SOURCE_DATE_EPOCH:-$(git log -1 --format=%ct 2>/dev/null || echo 0)}"
export SOURCE_DATE_EPOCH
cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DBUILD_TESTING=OFF "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
scripts/check-windows-exe.sh "$build/quillora-launcher.exe"
