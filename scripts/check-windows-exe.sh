#!/bin/sh
# Checks the Windows launcher executable itself: a GUI-subsystem program
# (no console), carrying the icon group IDI_ICON1 and a manifest that asks
# for "asInvoker" and Common Controls 6.0.0.0, and importing nothing but
# Windows' own DLLs.
set -eu
exe="${1:?usage: check-windows-exe.sh quillora-launcher.exe}"
failed=0
fail() { echo "FAIL: $*"; failed=1; }
pass() { echo "ok: $*"; }

headers=$(x86_64-w64-mingw32-objdump -p "$exe")
echo "$headers" | grep -q "^Subsystem.*(Windows GUI)" && pass "Windows GUI subsystem" \
    || fail "subsystem is $(echo "$headers" | grep '^Subsystem')"

wrestool -l "$exe" | grep -q -- "--type=14 --name='IDI_ICON1'" && pass "icon group IDI_ICON1" \
    || fail "no icon group IDI_ICON1: $(wrestool -l "$exe")"
manifest=$(wrestool -x --raw --type=24 --name=1 "$exe" 2>/dev/null || true)
echo "$manifest" | grep -q 'level="asInvoker"' && pass "manifest asks for asInvoker" \
    || fail "manifest lacks asInvoker"
echo "$manifest" | tr -d '\n' | grep -q 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' \
    && pass "manifest asks for Common Controls 6.0.0.0" || fail "manifest lacks Common Controls 6.0.0.0"

# Windows' own DLLs; anything else (Qt, the compiler's runtime) would have to
# be shipped beside the launcher.
system='^(kernel32|user32|gdi32|shell32|advapi32|ole32|oleaut32|ws2_32|netapi32|userenv|version|winmm|mpr|msvcrt|ucrtbase|ntdll|shlwapi|uuid|secur32|crypt32|bcrypt|api-ms-win-.*)\.dll$'
for dll in $(echo "$headers" | sed -n 's/^\s*DLL Name: //p'); do
    echo "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system" && pass "imports $dll" || fail "imports $dll, not a Windows DLL"
done
exit $failed
