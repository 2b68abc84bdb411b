#!/bin/sh
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Fuzzes the settings edit (tests/fuzz) for the seconds given (default
# 300): libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer,
# from the seed corpus and the INI dictionary beside it. New inputs go to
# build-fuzz/corpus; a crash input is written to build-fuzz/ and ends the
# run with its status: make it a row of the rules table.
set -eu
cd "$(dirname "$0")/.."
seconds="${1:-300}"
scripts/install-deps.sh clang-14 libclang-rt-14-dev
cmake -S . -B build-fuzz -DQUILLORA_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    >/dev/null
cmake --build build-fuzz -j "$(nproc)" --target fuzz-settingsedit
mkdir -p build-fuzz/corpus
echo "Fuzzing the settings edit for $seconds s:"
status=0
# A damaged value can make Qt ask for more memory than exists: the real
# allocator then returns null and Qt throws std::bad_alloc, which the
# launcher handles; the sanitizer's must do the same, not abort.
ASAN_OPTIONS=allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
    build-fuzz/tests/fuzz/fuzz-settingsedit -max_total_time="$seconds" \
    -dict=tests/fuzz/ini.dict -max_len=4096 -artifact_prefix=build-fuzz/ -print_final_stats=1 \
    build-fuzz/corpus tests/fuzz/corpus >build-fuzz/fuzz.log 2>&1 || status=$?
grep -E "^(Done|settings edit|stat::number_of_executed_units)" build-fuzz/fuzz.log || true
if [ "$status" -ne 0 ]; then
    tail -n 40 build-fuzz/fuzz.log
    echo "FAIL: the fuzzer found a fault (status $status); its input is in build-fuzz/"
    exit "$status"
fi
