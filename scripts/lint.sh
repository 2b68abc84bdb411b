#!/bin/sh
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# The habits of the code, each checked in seconds: formatting as
# .clang-format has it, REUSE-compliant licensing, and shell scripts clean
# under shellcheck's warnings.
set -eu
cd "$(dirname "$0")/.."
scripts/install-deps.sh clang-format reuse shellcheck
git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run -Werror
echo "ok: formatting"
reuse lint >/dev/null || { reuse lint; exit 1; }
echo "ok: licensing (reuse lint)"
# The shell scripts: every tracked file that starts with a sh shebang.
git ls-files | while read -r file; do
    head -n 1 "$file" | grep -q '^#!/bin/sh' && printf '%s\n' "$file"
done | xargs shellcheck -S warning
echo "ok: shell scripts (shellcheck -S warning)"
