#!/bin/sh
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
# Checks the Windows launcher executable itself, x64 or x86: a GUI-subsystem
# program (no console) of its architecture's PE format, alone in its folder, with the icon group IDI_ICON1, a manifest (asInvoker, Common
# Controls 6.0.0.0, Windows 7 to 11, the project's version), version
# information, stripped and small, hardened (ASLR, DEP, Terminal Services
# aware, on x86 no SEH, no writable code, stack cookies in Qt's code and the
# launcher's own), importing only DLLs that Windows always takes from its
# system folder, every function it loads late reachable;
# prints its size and what it loads late. Reads the build's debug/ and
# delayload/ beside the executable.
set -eu
exe="${1:?usage: check-windows-exe.sh quillora-launcher.exe}"
root="$(cd "$(dirname "$0")/.." && pwd)"
version=$(sed -n 's/^project(.* VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
max_bytes=3145728
failed=0
fail() { echo "FAIL: $*"; failed=1; }
pass() { echo "ok: $*"; }

# A vendor copies the executable's folder into an installer: nothing else
# may lie there, least of all the tests' planted DLL.
others=$(find "$(dirname "$exe")" -maxdepth 1 \( -iname '*.dll' -o -iname '*.exe' \) ! -name "$(basename "$exe")" \
    -printf '%f\n')
[ -z "$others" ] && pass "no other DLL or executable beside it" \
    || fail "beside it: $(echo $others)"

case "$(x86_64-w64-mingw32-objdump -f "$exe" | sed -n 's/.*file format //p')" in
pei-x86-64) triple=x86_64-w64-mingw32; pass "PE32+ image (x64)" ;;
pei-i386) triple=i686-w64-mingw32; pass "PE32 image (x86)" ;;
*) triple=x86_64-w64-mingw32; fail "not a Windows PE image of x64 or x86" ;;
esac
headers=$("$triple-objdump" -p "$exe")
printf '%s\n' "$headers" | grep -q "^Subsystem.*(Windows GUI)" && pass "Windows GUI subsystem" \
    || fail "subsystem is $(printf '%s\n' "$headers" | grep '^Subsystem')"
"$triple-objdump" -t "$exe" | grep -q "^no symbols" && pass "stripped" || fail "not stripped"
"$triple-objdump" -h "$exe" | grep -q "gnu_debuglink" && pass "debug information kept apart" \
    || fail "no link to separate debug information"
bytes=$(stat -c %s "$exe")
echo "size: $bytes bytes ($(awk "BEGIN { printf \"%.2f\", $bytes / 1048576 }") MB)"
[ "$bytes" -le "$max_bytes" ] && pass "at most 3 MB" || fail "larger than 3 MB"
# As removing a signature gives it back: 8-byte aligned, real PE checksum.
[ $((bytes % 8)) -eq 0 ] && pass "length a multiple of 8" || fail "length not a multiple of 8"
/usr/bin/python3 -c 'import pefile, sys; sys.exit(not pefile.PE(sys.argv[1], fast_load=True).verify_checksum())' "$exe" \
    && pass "PE checksum is the real one" || fail "PE checksum is not the real one"

# What a security review checks of every shipped binary, as BinSkim does:
# ASLR with a relocation table (high-entropy on x64), DEP, aware of Terminal
# Services, on x86 marked as registering no SEH handler, no section both
# writable and executable. (Control Flow Guard needs a compiler that emits
# it: docs/windows.md.)
marks=$(/usr/bin/python3 -c '
import pefile, sys
pe = pefile.PE(sys.argv[1], fast_load=True)
flags = pe.OPTIONAL_HEADER.DllCharacteristics
relocations = pe.OPTIONAL_HEADER.DATA_DIRECTORY[5].Size > 0
writable_code = [s for s in pe.sections if s.Characteristics & 0x80000000 and s.Characteristics & 0x20000000]
marks = {"DYNAMIC_BASE": flags & 0x40 and relocations, "HIGH_ENTROPY_VA": flags & 0x20, "NX_COMPAT": flags & 0x100,
         "TERMINAL_SERVER_AWARE": flags & 0x8000, "NO_SEH": flags & 0x400, "NO_WX_SECTION": not writable_code}
print(" ".join(name for name, present in marks.items() if present))' "$exe")
has() { # has <mark> <what it means>
    case " $marks " in *" $1 "*) pass "$1: $2" ;; *) fail "no $1: $2" ;; esac
}
has DYNAMIC_BASE "ASLR, with a relocation table"
[ "$triple" = i686-w64-mingw32 ] || has HIGH_ENTROPY_VA "high-entropy ASLR"
has NX_COMPAT "DEP"
has TERMINAL_SERVER_AWARE "no compatibility shims for Terminal Services"
[ "$triple" = x86_64-w64-mingw32 ] || has NO_SEH "x86, registers no SEH handler"
has NO_WX_SECTION "no section both writable and executable"

wrestool -l "$exe" | grep -q -- "--type=14 --name='IDI_ICON1'" && pass "icon group IDI_ICON1" \
    || fail "no icon group IDI_ICON1: $(wrestool -l "$exe")"
manifest=$(wrestool -x --raw --type=24 --name=1 "$exe" 2>/dev/null | tr -d '\n' || true)
in_manifest() { # in_manifest <what> <text>
    printf '%s\n' "$manifest" | grep -qF "$2" && pass "manifest: $1" || fail "manifest lacks $1"
}
in_manifest "asInvoker" 'level="asInvoker"'
in_manifest "Common Controls 6.0.0.0" 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'
in_manifest "version $version.0" "name=\"Quillora.Launcher\" version=\"$version.0\""
for os in "7 35138b9a-5d96-4fbd-8e2d-a2440225f93a" "8 4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38" \
    "8.1 1f676c76-80e1-4239-95bb-83d0f6d0da78" "10 and 11 8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a"; do
    in_manifest "supports Windows ${os% *}" "supportedOS Id=\"{${os##* }}\""
done

# VERSIONINFO: keys and values are UTF-16 strings, each value right after
# its key.
info=$(wrestool -x --raw --type=16 "$exe" 2>/dev/null | strings -el -n 1 || true)
value() { printf '%s\n' "$info" | grep -A1 -x "$1" | sed -n 2p; }
[ "$(printf '%s\n' "$info" | grep -c -x 040904B0)" = 1 ] && pass "version information in block 040904B0" \
    || fail "no version information block 040904B0"
for pair in "ProductName=Quillora" "FileDescription=Quillora launcher" "FileVersion=$version" \
    "ProductVersion=$version" "InternalName=quillora-launcher.exe" "OriginalFilename=quillora-launcher.exe"; do
    [ "$(value "${pair%%=*}")" = "${pair#*=}" ] && pass "version information: $pair" \
        || fail "version information: ${pair%%=*} is '$(value "${pair%%=*}")'"
done
# "Translation", its padding, then the two 16-bit words 0x0409 and 1200.
wrestool -x --raw --type=16 "$exe" 2>/dev/null | od -An -tx1 -v | tr -d ' \n' \
    | grep -q "5400720061006e0073006c006100740069006f006e000000\(0000\)\?0904b004" \
    && pass "version information: Translation 0x409, 1200" || fail "no Translation 0x409, 1200"

# Windows takes these from the system folder whatever the search order (the
# KnownDLLs of every version from 7 to 11); any other imported DLL would be
# looked for beside the launcher first.
known='^(advapi32|clbcatq|comdlg32|difxapi|gdi32|imagehlp|imm32|kernel32|msctf|msvcrt|normaliz|nsi|ole32|oleaut32|psapi|rpcrt4|sechost|setupapi|shell32|shlwapi|user32|wldap32|ws2_32|ntdll|api-ms-win-.*)\.dll$'
imported=$(printf '%s\n' "$headers" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
for dll in $imported; do
    echo "$dll" | grep -Eq "$known" && pass "imports $dll (a known DLL)" || fail "imports $dll, not a known DLL"
done
# GNU ld leaves the PE delay-import directory empty, and objdump does not
# list delayed imports; their DLL names are in the import section all the
# same, beside the ordinary ones.
delayed=$("$triple-objcopy" -O binary --only-section=.idata "$exe" /dev/stdout | strings -n 5 \
    | grep -i '\.dll$' | tr 'A-Z' 'a-z' | sort -u | grep -vxF "$imported" || true)
system='^(mpr|netapi32|userenv|version|winmm)\.dll$'
for dll in $delayed; do
    echo "$dll" | grep -Eq "$system" && pass "loads $dll late, from the system folder" \
        || fail "loads $dll late, not a system DLL"
done
[ -n "$delayed" ] || fail "no delay-loaded DLLs found: is the delay-load hook still reached?"

# Each function loaded late is called through its import slot, which holds
# the address of the stub that loads it until then. A slot left 0 (GNU ld
# for i386 can drop the stub of a function reached only through __imp_)
# would jump to address 0 on a path the normal launch never takes.
build=$(dirname "$exe")
[ -f "$build/debug/quillora-launcher.exe.debug" ] || build="$build/.."
checked=$("$triple-nm" "$build/debug/quillora-launcher.exe.debug" | /usr/bin/python3 -c '
import glob, pefile, sys
exe, build, prefix = sys.argv[1:]
names = set()
for definition in glob.glob(build + "/delayload/*.def"):
    lines = open(definition).read().split("\n")
    names.update(line.strip() for line in lines[lines.index("EXPORTS") + 1:] if line.strip())
pe = pefile.PE(exe, fast_load=True)
base = pe.OPTIONAL_HEADER.ImageBase
size = 8 if pe.FILE_HEADER.Machine == 0x8664 else 4
zero = []
slots = 0
for line in sys.stdin:
    address, _, symbol = line.split()[-3:] if len(line.split()) == 3 else ("", "", "")
    if symbol.startswith(prefix) and symbol[len(prefix):] in names:
        slots += 1
        data = pe.get_data(int(address, 16) - base, size)
        if int.from_bytes(data, "little") == 0:
            zero.append(symbol)
print(slots, " ".join(zero))
' "$exe" "$build" "$([ "$triple" = i686-w64-mingw32 ] && echo __imp__ || echo __imp_)")
slots=${checked%% *}
zero=${checked#"$slots"}
[ "$slots" -gt 0 ] && [ -z "${zero# }" ] && pass "all $slots functions loaded late have their loading stub"     || fail "functions loaded late without a stub (they would jump to 0): ${zero:-none found}"
# Stack cookies: calls to __stack_chk_fail from Qt's functions and from the
# launcher's own, found in the code by the debug file's symbols and
# attributed by the link map. That the function is there proves nothing:
# fortify's checked functions alone link it.
disassembly="$build/debug/quillora-launcher.disassembly"
"$triple-objdump" -d --no-show-raw-insn "$exe" > "$disassembly"
cookies=$("$triple-nm" "$build/debug/quillora-launcher.exe.debug" | /usr/bin/python3 -c '
import bisect, re, sys
link_map, disassembly = sys.argv[1], sys.argv[2]
targets = {l.split()[0].lstrip("0") for l in sys.stdin if l.split()[-1] in ("__stack_chk_fail", "___stack_chk_fail")}
ranges = []  # start, end, whose
for line in open(link_map, errors="replace"):
    m = re.match(r"^ (?:\.text\S*)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$", line)
    if m and int(m.group(2), 16):
        whose = "qt" if "libQt5Core.a" in m.group(3) else "launcher" if "quillora-launcher" in m.group(3) else ""
        if whose:
            ranges.append((int(m.group(1), 16), int(m.group(1), 16) + int(m.group(2), 16), whose))
ranges.sort()
starts = [r[0] for r in ranges]
counts = {"qt": 0, "launcher": 0}
for line in open(disassembly):
    m = re.match(r"^\s*([0-9a-f]+):\s+(?:call|jmp)\s+(?:0x)?([0-9a-f]+)", line)
    if m and m.group(2).lstrip("0") in targets:
        at = int(m.group(1), 16)
        i = bisect.bisect_right(starts, at) - 1
        if i >= 0 and at < ranges[i][1]:
            counts[ranges[i][2]] += 1
print(counts["qt"], counts["launcher"])
' "$build/debug/quillora-launcher.map" "$disassembly")
qt_cookies=${cookies% *} own_cookies=${cookies#* }
[ "$qt_cookies" -gt 0 ] && pass "stack cookies in Qt's code: $qt_cookies checks" || fail "no stack cookie in Qt's code"
[ "$own_cookies" -gt 0 ] && pass "stack cookies in the launcher's own code: $own_cookies checks" \
    || fail "no stack cookie in the launcher's own code"
# An SEH frame is registered by writing %fs:0; NO_SEH holds only while no
# code does.
if [ "$triple" = i686-w64-mingw32 ]; then
    grep -Eq "mov +[^,]+,%fs:0x0$" "$disassembly" && fail "x86 code registers an SEH frame (writes %fs:0x0)" \
        || pass "no code registers an SEH frame (writes %fs:0x0)"
fi
rm -f "$disassembly"
exit $failed
