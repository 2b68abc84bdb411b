#!/bin/sh
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Installs what is needed, checks formatting, licensing and the shell
# scripts, builds and runs every test: on the Linux build
# (with both Windows builds under Wine), on the Windows release of both
# architectures (reproduced, signed and time-stamped, verified, SBOMs
# validated), on a build with AddressSanitizer and
# UndefinedBehaviorSanitizer, and the benchmark once in its quick mode.
set -eu
cd "$(dirname "$0")/.."
# Wine as Debian recommends it: the launcher tests run both Windows builds in
# it, the x86 one with wine32, which comes from Debian's i386 architecture.
# That sets up this test machine; the build scripts leave apt alone.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    echo "Adding Debian's i386 architecture, for wine32 (the x86 launcher's tests)"
    if [ "$(id -u)" -eq 0 ]; then dpkg --add-architecture i386; else sudo dpkg --add-architecture i386; fi
fi
scripts/install-deps.sh --with-recommends wine wine64 wine32
scripts/lint.sh

scripts/build-windows.sh build-windows -DBUILD_TESTING=ON
# The release, and the same commit released again from another directory,
# later, must give the same bytes (the Qt cache is shared by both).
scripts/release-windows.sh
second=$(mktemp -d /tmp/quillora-second-build.XXXXXX)
trap 'rm -rf "$second"' EXIT
tar --exclude='./build*' --exclude=./dist --exclude=./.git -cf - . | tar -xf - -C "$second"
SOURCE_DATE_EPOCH=$(git log -1 --format=%ct) "$second/scripts/release-windows.sh" >/dev/null
if cmp -s build-release/quillora-launcher.exe "$second/build-release/quillora-launcher.exe" \
    && cmp -s build-release-x86/quillora-launcher.exe "$second/build-release-x86/quillora-launcher.exe" \
    && cmp -s dist/SHA256SUMS "$second/dist/SHA256SUMS"; then
    echo "Reproducible: a second release elsewhere gave the same executables, bundles and SBOMs:"
    sha256sum build-release/quillora-launcher.exe "$second/build-release/quillora-launcher.exe" \
        build-release-x86/quillora-launcher.exe "$second/build-release-x86/quillora-launcher.exe"
    cat dist/SHA256SUMS
    for qt in "${QT_MINGW_PREFIX:-/opt/qt5-mingw}" "${QT_MINGW_X86_PREFIX:-/opt/qt5-mingw-x86}"; do
        echo "  with the Qt cache of recipe $(cat "$qt/.recipe") in $qt:"
        sha256sum "$qt/lib/libQt5Core.a"
    done
else
    echo "FAIL: a second release elsewhere differs"
    exit 1
fi
scripts/check-release.sh

scripts/build.sh build -DBUILD_TESTING=ON -DQUILLORA_WINDOWS_BUILD="$PWD/build-windows" \
    -DQUILLORA_WINDOWS_X86_BUILD="$PWD/build-windows-x86"
# Hardened as Debian builds its packages. Debian 12's hardening-check fails
# fortify where no call has a size it knows, and control-flow protection for
# any binary (its start files carry no IBT note): the fortify flag is looked
# for on the compile lines instead.
scripts/install-deps.sh devscripts
hardening-check --nofortify --nocfprotection build/quillora-launcher
grep -q -- "-D_FORTIFY_SOURCE=2" build/CMakeFiles/quillora-launcher-core.dir/flags.make \
    || { echo "FAIL: the launcher is compiled without -D_FORTIFY_SOURCE=2"; exit 1; }
echo "Benchmark, quick mode (figures from a few runs only):"
scripts/bench --quick
(cd build && ctest --output-on-failure)
echo "Fault injection:"
grep -h "injection points" build/Testing/Temporary/LastTest.log | sed 's/^.*) /  /'
# Some machines of this kind run no 32-bit programs: there the x86 Wine
# table skips, saying why, and this says so too.
grep -h "runs no 32-bit programs" build/Testing/Temporary/LastTest.log | sed 's/^.*) /Skipped, x86 under Wine: /' || true
skipped=$(QUILLORA_SIMULATE_ENOEXEC=1 QUILLORA_WINE_LOADER=/usr/lib/wine/wine \
    QUILLORA_WINDOWS_BUILD="$PWD/build-windows-x86" build/tests/tst_wine 2>&1) \
    && echo "$skipped" | grep -q "^SKIP .*runs no 32-bit programs" \
    || { echo "$skipped"; echo "FAIL: where 32-bit programs cannot run, the x86 table does not skip"; exit 1; }
echo "Checked: where 32-bit programs cannot run, the x86 table skips and says why."

scripts/fuzz.sh 60

scripts/build.sh build-asan -DBUILD_TESTING=ON -DQUILLORA_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd build-asan && ctest --output-on-failure)
