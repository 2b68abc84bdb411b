#!/bin/sh
# Installs what is needed, builds and runs every test.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build -DBUILD_TESTING=ON
cd build && ctest --output-on-failure
