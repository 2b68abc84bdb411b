#!/bin/sh
# Installs what is needed, builds and runs every test: once on the normal
# build, once on a build with AddressSanitizer and UndefinedBehaviorSanitizer.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh

scripts/build.sh build -DBUILD_TESTING=ON
(cd build && ctest --output-on-failure)
echo "Fault injection:"
grep -h "injection points" build/Testing/Temporary/LastTest.log | sed 's/^.*) /  /'

scripts/build.sh build-asan -DBUILD_TESTING=ON -DQUILLORA_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo
(cd build-asan && ctest --output-on-failure)
