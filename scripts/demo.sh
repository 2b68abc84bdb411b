#!/bin/sh
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Installs what is needed, builds the launcher and runs it on a sample
# installation under build/demo: two stand-in versions and a "setting.ini"
# left in the installation directory by an older release, as after an
# upgrade. The data directory is build/demo/config/Quillora, never yours.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build -DBUILD_TESTING=OFF >/dev/null

demo="$PWD/build/demo"
rm -rf "$demo"
mkdir -p "$demo/install" "$demo/config"
cp build/quillora-launcher "$demo/install/"
for version in 1.0.0 2.0.0; do
    mkdir -p "$demo/install/$version"
    printf '#!/bin/sh\necho "Quillora %s started in $(pwd)" >> "%s/started.log"\n' \
        "$version" "$demo" > "$demo/install/$version/Quillora.exe"
    chmod +x "$demo/install/$version/Quillora.exe"
done
printf '[version]\ncurrent_version=2.0.0\nprevious_version=1.0.0\n' > "$demo/install/setting.ini"

wait_for_start() {
    for _ in $(seq 50); do
        [ "$(wc -l < "$demo/started.log" 2>/dev/null || echo 0)" -ge "$1" ] && return 0
        sleep 0.1
    done
    echo "(no version started)"
}

show() {
    echo "--- started:"
    cat "$demo/started.log" 2>/dev/null || true
    echo "--- data directory $demo/config/Quillora:"
    (cd "$demo/config/Quillora" && ls -la)
    for f in user.ini setting.ini; do
        echo "--- $f:"
        cat "$demo/config/Quillora/$f"
    done
    echo "--- legacy setting.ini in the installation directory:"
    ls "$demo/install/setting.ini" 2>/dev/null || echo "(moved into the data directory)"
}

echo "=== First launch after an upgrade"
XDG_CONFIG_HOME="$demo/config" "$demo/install/quillora-launcher"
echo "launcher exit status: $?"
wait_for_start 1
show

echo
echo "=== Second launch: same version, same software code"
XDG_CONFIG_HOME="$demo/config" "$demo/install/quillora-launcher"
wait_for_start 2
show
