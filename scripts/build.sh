#!/bin/sh
# Configures and builds into build/ (or the directory given).
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
shift 2>/dev/null || true
cmake -S . -B "$build" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
