#!/bin/sh
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Configures and builds into build/ (or the directory given, followed by
# options for cmake).
set -eu
cd "$(dirname "$0")/.."
build="${1:-build}"
# dash ends the script when shift has nothing to take, "|| true" or not.
[ $# -eq 0 ] || shift
cmake -S . -B "$build" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
