#!/bin/sh
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Installs what building and testing the launcher needs on Debian, plus any
# packages given, skipping the package manager when all are already there.
# --with-recommends: install the given packages' recommended ones too.
set -eu
recommends="--no-install-recommends"
if [ "${1:-}" = "--with-recommends" ]; then
    recommends=""
    shift
fi
packages="cmake g++ make qtbase5-dev strace valgrind util-linux python3 $*"
missing=""
for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "Installing:$missing"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq $recommends $missing >/dev/null
