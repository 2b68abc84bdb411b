#!/bin/sh
# Builds the Windows launcher (build-windows/quillora-launcher.exe) on Debian:
# a static Qt Core for mingw-w64 first, cached in /opt/qt5-mingw, then the
# launcher from the same sources, then checks of the executable itself.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 icoutils
scripts/build-qt-mingw.sh
cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release \
    >/dev/null
cmake --build build-windows -j "$(nproc)"
scripts/check-windows-exe.sh build-windows/quillora-launcher.exe
