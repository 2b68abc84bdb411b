#!/bin/sh
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Builds a minimal static Qt 5 Core for Windows, x64 (x86_64-w64-mingw32) or
# x86 (i686-w64-mingw32), the architecture given (default x64), from
# Debian's qtbase source package as Debian ships it (its patch series, security
# fixes included, applied in order), at the pinned version, and installs it
# under a cache prefix of the architecture's own (QT_MINGW_PREFIX, default
# /opt/qt5-mingw, for x64; QT_MINGW_X86_PREFIX, default /opt/qt5-mingw-x86,
# for x86) with Qt's licence and
# attribution files. The Qt is built for size: only what the launcher uses,
# optimised for size, every function in a section of its own so the
# launcher's link can drop what it does not call. Does nothing when the
# prefix already holds a Qt built from the same recipe (source, patches,
# options). Takes some minutes on two cores; needs root or sudo for the
# packages.
set -eu
arch="${1:-x64}"
case "$arch" in
x64) triple=x86_64-w64-mingw32 packages="g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64"
    prefix="${QT_MINGW_PREFIX:-/opt/qt5-mingw}" ;;
x86) triple=i686-w64-mingw32 packages="g++-mingw-w64-i686-posix binutils-mingw-w64-i686"
    prefix="${QT_MINGW_X86_PREFIX:-/opt/qt5-mingw-x86}" ;;
*) echo "usage: $0 [x64|x86]" >&2; exit 2 ;;
esac
work="${QT_MINGW_WORK:-/var/tmp/qt5-mingw-build-$arch}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo

# Debian's source packages come from the deb-src entries of the suites the
# machine already uses, in an apt configuration and state of this script's
# own: the machine's apt sources stay as they are.
apt_private=$(mktemp -d /tmp/quillora-apt.XXXXXX)
trap 'rm -rf "$apt_private"' EXIT
mkdir -p "$apt_private/sources.list.d" "$apt_private/lists/partial" "$apt_private/cache/archives/partial"
for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && sed 's/^Types: deb$/Types: deb-src/' "$f" > "$apt_private/sources.list.d/$(basename "$f")"
done
if [ -f /etc/apt/sources.list ]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list > "$apt_private/sources.list"
else
    : > "$apt_private/sources.list"
fi
private_apt() { # private_apt <apt-get|apt-cache> <arguments>
    tool="$1"
    shift
    "$tool" -o Dir::Etc::SourceList="$apt_private/sources.list" -o Dir::Etc::SourceParts="$apt_private/sources.list.d" \
        -o Dir::State::Lists="$apt_private/lists" -o Dir::Cache="$apt_private/cache" -o APT::Sandbox::User=root "$@"
}

# shellcheck disable=SC2086 # the packages are words
"$(dirname "$0")/install-deps.sh" $packages dpkg-dev perl python3 patch
# What ships is pinned: a later Debian point release must be taken on
# purpose, by changing these three lines, never silently.
version=5.15.8+dfsg-11+deb12u3
orig_sha256=d1c61b777850c2953862a8d52c7afb56350a99b23af763beb44c51c6fe8c0e38
debian_sha256=07c7f0f7df5336ebbf3a7121dcd30c9b83112af6c76454c78b5ef3f02c7067d0
# Debian's patches that cannot apply to a static MinGW build of Qt Core,
# each with the reason. None: every patch of this version's series applies,
# those for other modules and systems without effect on this build.
skipped=""

# Features the launcher does not use. The settings, standard paths, process,
# temporary file and text codec support must stay, and so must the CBOR
# reader and writer (Qt's plugin loader needs them).
options="-release -static -static-runtime -optimize-size -gc-binaries -nomake examples -nomake tests
    -no-pkg-config -no-gui -no-widgets -no-dbus -no-opengl -no-icu -no-openssl -qt-zlib"
# Hardened like the launcher (cmake/mingw-w64.cmake): Qt 5's own
# -stack-protector-strong is for QNX alone. The link flags reach Qt's
# configure tests too, which would otherwise fail on fortify's unresolved
# functions and silently switch features off.
for flag in -fstack-protector-strong -D_FORTIFY_SOURCE=2; do
    options="$options QMAKE_CFLAGS+=$flag QMAKE_CXXFLAGS+=$flag"
done
options="$options QMAKE_LFLAGS+=-fstack-protector-strong"
for feature in network sql xml concurrent testlib big_codecs codecs mimetype itemmodel statemachine animation \
    timezone datetimeparser sharedmemory systemsemaphore filesystemwatcher translation commandlineparser \
    xmlstream sha3-fast topleveldomain regularexpression; do
    options="$options -no-feature-$feature"
done
patches="$(cd "$(dirname "$0")" && pwd)/qt-patches"
# The cache is only as good as the whole recipe, for its architecture: a
# changed option or patch must rebuild it, not just a new Qt version.
recipe=$({ echo "$version $orig_sha256 $debian_sha256 skipped:$skipped"; echo $options; cat "$patches"/*.patch;
    echo "$triple"; } | sha256sum | cut -c1-16)
if [ "$(cat "$prefix/.recipe" 2>/dev/null)" = "$recipe" ]; then
    echo "Qt for Windows $arch $version (recipe $recipe) is already in $prefix"
    exit 0
fi

echo "Building Qt $version Core for Windows $arch (recipe $recipe) into $prefix"
rm -rf "$work"
mkdir -p "$work/cross"
cd "$work"
private_apt apt-get update -qq
if ! private_apt apt-get source -qq --download-only "qtbase-opensource-src=$version" 2>/dev/null; then
    offered=$(private_apt apt-cache showsrc qtbase-opensource-src | sed -n 's/^Version: //p' | sort -V | tr '\n' ' ')
    echo "error: Debian no longer offers qtbase-opensource-src $version, the version pinned in $0;" >&2
    echo "it offers: ${offered:-nothing}. Pin one of those (version and both SHA-256) to build." >&2
    exit 1
fi
check() { # check <file> <sha256>
    actual=$(sha256sum "$1" | cut -d' ' -f1)
    if [ "$actual" != "$2" ]; then
        echo "error: $1 of qtbase-opensource-src $version has SHA-256 $actual, pinned $2" >&2
        exit 1
    fi
}
check "qtbase-opensource-src_${version%%-*}.orig.tar.xz" "$orig_sha256"
check "qtbase-opensource-src_$version.debian.tar.xz" "$debian_sha256"
tar xf qtbase-opensource-src_*.orig.tar.xz
tar xf "qtbase-opensource-src_$version.debian.tar.xz"
src=$(ls -d qtbase-everywhere-src-*)
echo "Debian's patch series of $version:"
for patch in $(sed -e 's/#.*//' debian/patches/series); do
    case " $skipped " in
    *" $patch "*) echo "  skipped: $patch"; continue ;;
    esac
    patch -d "$src" -p1 -s < "debian/patches/$patch"
    echo "  applied: $patch"
done
for patch in "$patches"/*.patch; do
    patch -d "$src" -p1 -s < "$patch"
    echo "  applied: $(basename "$patch") (this project's)"
done

# Debian's default mingw g++ uses the "win32" thread model, which lacks
# std::thread; Qt needs the "posix" one.
for tool in gcc g++; do
    ln -s "/usr/bin/$triple-$tool-posix" "cross/$triple-$tool"
done
for tool in ar ranlib windres strip objcopy nm ld as; do
    ln -s "/usr/bin/$triple-$tool" "cross/$triple-$tool"
done

cd "$src"
./configure -prefix "$prefix" -opensource -confirm-license \
    -xplatform win32-g++ -device-option CROSS_COMPILE="$work/cross/$triple-" \
    $options > "$work/configure.log" 2>&1 || { tail -40 "$work/configure.log"; exit 1; }

# Only QtCore, the WinMain adapter and the host tools that CMake's Qt
# package refers to.
jobs=$(nproc)
{ make sub-src-qmake_all && make -j "$jobs" -C src sub-moc sub-rcc sub-corelib sub-winmain; } \
    > "$work/make.log" 2>&1 || { tail -40 "$work/make.log"; exit 1; }
$sudo rm -rf "$prefix"
$sudo mkdir -p "$prefix"
for dir in src/tools/bootstrap src/tools/moc src/tools/rcc src/3rdparty/pcre2 src/corelib src/winmain; do
    [ -f "$dir/Makefile" ] || continue # pcre2 only with regular expressions
    $sudo make -C "$dir" install >> "$work/install.log" 2>&1 || { tail -40 "$work/install.log"; exit 1; }
done
$sudo make install_mkspecs >> "$work/install.log" 2>&1 || { tail -40 "$work/install.log"; exit 1; }
# CMake's Qt package insists on finding qmake, though nothing runs it.
$sudo install -m 755 bin/qmake "$prefix/bin/qmake"
# What the third-party notices are made from: Qt's licences, and the
# attribution files of the code Qt bundles, with the licences they name.
for file in LICENSE.LGPL3 LICENSE.GPL3 LICENSE.GPL2 $(find src/3rdparty src/corelib -name qt_attribution.json); do
    $sudo install -D -m 644 "$file" "$prefix/attributions/$file"
done
find src/3rdparty src/corelib -name qt_attribution.json | while read -r attribution; do
    dir=$(dirname "$attribution")
    for licence in $(sed -n 's/.*"LicenseFile" *: *"\([^"]*\)".*/\1/p' "$attribution"); do
        if [ -f "$dir/$licence" ]; then
            $sudo install -D -m 644 "$dir/$licence" "$prefix/attributions/$dir/$licence"
        fi
    done
done
echo "$version" | $sudo tee "$prefix/attributions/debian-version" >/dev/null
echo "$recipe" | $sudo tee "$prefix/.recipe" >/dev/null
rm -rf "$work"
echo "Qt for Windows $arch $version installed in $prefix"
