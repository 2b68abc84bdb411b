#!/bin/sh
# SPDX-License-Identifier: MIT
# Installs what is needed, builds and runs every test: on the Linux build
# (with the Windows build under Wine), on a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, and the benchmark once in its quick mode.
set -eu
cd "$(dirname "$0")/.."
# Wine as Debian recommends it: the launcher tests run the Windows build in it.
scripts/install-deps.sh --with-recommends wine wine64

scripts/build-windows.sh build-windows -DBUILD_TESTING=ON
# The same commit built again from another directory, later, must give the
# same bytes (the Qt cache is shared by both builds).
second=$(mktemp -d /tmp/quillora-second-build.XXXXXX)
tar --exclude='./build*' --exclude=./.git -cf - . | tar -xf - -C "$second"
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) "$second/scripts/build-windows.sh" >/dev/null
if cmp -s build-windows/quillora-launcher.exe "$second/build-windows/quillora-launcher.exe"; then
    echo "Reproducible: a second build elsewhere gave the same bytes:"
    sha256sum build-windows/quillora-launcher.exe "$second/build-windows/quillora-launcher.exe"
    echo "  with the Qt cache of recipe $(cat "${QT_MINGW_PREFIX:-/opt/qt5-mingw}/.recipe"):"
    sha256sum "${QT_MINGW_PREFIX:-/opt/qt5-mingw}/lib/libQt5Core.a"
    rm -rf "$second"
else
    echo "FAIL: a second build in $second differs"
    exit 1
fi

scripts/build.sh build -DBUILD_TESTING=ON -DQUILLORA_WINDOWS_BUILD="$PWD/build-windows"
echo "Benchmark, quick mode (figures from a few runs only):"
scripts/bench --quick
(cd build && ctest --output-on-failure)
echo "Fault injection:"
grep -h "injection points" build/Testing/Temporary/LastTest.log | sed 's/^.*) /  /'

scripts/build.sh build-asan -DBUILD_TESTING=ON -DQUILLORA_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd build-asan && ctest --output-on-failure)
