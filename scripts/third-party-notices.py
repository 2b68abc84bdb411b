#!/usr/bin/env python3
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
"""Writes THIRD-PARTY-NOTICES for the Windows executable: Qt 5 Core, each
component Qt compiled into it, and the MinGW-w64 and GCC runtimes. What the
link took comes from its map file; the texts come from Qt's own attribution
and licence files (kept with the Qt cache) and Debian's copyright files.
With --sbom it writes, from the same data, a CycloneDX 1.5 software bill of
materials of the shipped executable.

Usage: scripts/third-party-notices.py MAP ATTRIBUTIONS [--check FILE]
       scripts/third-party-notices.py MAP ATTRIBUTIONS --sbom OUT --executable EXE --version V --arch A
"""
import argparse
import hashlib
import json
import os
import re
import subprocess
import sys
import time
import urllib.parse
import uuid

# Each attribution of Qt's, by Id: the archive members whose code carries it
# (several arrive by #include, so a member's name alone would not tell).
CARRIED_BY = {
    "doubleconversion": ["double-conversion.o", "bignum.o", "bignum-dtoa.o", "cached-powers.o", "diy-fp.o",
                         "fast-dtoa.o", "fixed-dtoa.o", "strtod.o"],
    "easing": ["qeasingcurve.o"],
    "forkfd": ["forkfd_qt.o"],
    "freebsd": ["qlocale_tools.o"],
    "md4": ["qcryptographichash.o"],
    "md5": ["qcryptographichash.o"],
    "sha1": ["qcryptographichash.o"],
    "sha3_endian": ["qcryptographichash.o"],
    "sha3_keccak": ["qcryptographichash.o"],
    "rfc6234": ["qcryptographichash.o"],
    "tinycbor": ["qcborstreamreader.o", "qcborstreamwriter.o"],
    "zlib": ["adler32.o", "compress.o", "crc32.o", "deflate.o", "inffast.o", "inflate.o", "inftrees.o", "trees.o",
             "uncompr.o", "zutil.o"],
    "pcre2": ["libqtpcre2.a"],
    "pcre2-sljit": ["libqtpcre2.a"],
    "qbig5codecs": ["qbig5codec.o"],
    "qeucjpcodec": ["qeucjpcodec.o"],
    "qeuckrcodec": ["qeuckrcodec.o"],
    "qjiscodec": ["qjiscodec.o"],
    "qsjiscodec": ["qsjiscodec.o"],
    "qtsciicodec": ["qtsciicodec.o"],
    "qbkcodec": ["qgb18030codec.o"],
    "psl": ["qtldurl.o"],
    "qeventdispatcher_cf": ["qeventdispatcher_cf.o"],
    "unicode-character-database": ["qstring.o"],  # qstring.cpp includes qchar.cpp, which holds the tables
    "unicode-cldr": ["qlocale.o", "qtimezoneprivate.o"],
}
# Attributions of other Qt modules, which a build of Qt Core never contains.
OTHER_MODULES = {
    "VulkanMemoryAllocator", "android-native-style", "android-gradle-wrapper", "angle", "angle-arrayboundsclamper",
    "angle-murmurhash", "angle-systeminfo", "angle-trace_event", "angle-khronos", "freetype", "freetype-zlib",
    "freetype-bdf", "freetype-pcf", "harfbuzz", "harfbuzz-ng", "icc-sRGB-color-profile", "libjpeg", "libpng",
    "md4c", "pixman", "vera_font", "dejayvu", "xcb-xinput",
}
# The same text for both architectures' packages; the notices name this one.
MINGW_COPYRIGHT = "/usr/share/doc/mingw-w64-x86-64-dev/copyright"
if not os.path.exists(MINGW_COPYRIGHT):
    MINGW_COPYRIGHT = "/usr/share/doc/mingw-w64-i686-dev/copyright"
GCC_COPYRIGHT = "/usr/share/doc/gcc-mingw-w64-base/copyright"
RULE = "=" * 78


def linked_members(map_file):
    """The archive members the link took ("libQt5Core.a(qstring.o)" gives
    qstring.o), and the archives ("libqtpcre2.a")."""
    with open(map_file, errors="replace") as f:
        text = f.read().split("\nDiscarded input sections", 1)[0]
    members = set()
    for archive, member in re.findall(r"([^\s/()]+\.a)\(([^)]+)\)", text):
        members.update({archive, member})
    return members


def attributions(root):
    """Every attribution entry of Qt's, with the folder it came from."""
    for folder, _, files in sorted(os.walk(root)):
        if "qt_attribution.json" in files:
            with open(os.path.join(folder, "qt_attribution.json"), encoding="utf-8") as f:
                entries = json.loads(f.read(), strict=False)
            for entry in entries if isinstance(entries, list) else [entries]:
                yield folder, entry


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read().rstrip() + "\n"


def section(title, body):
    return f"{RULE}\n{title}\n{RULE}\n\n{body.rstrip()}\n\n"


def qt_core(root):
    version = read(os.path.join(root, "debian-version")).strip()
    return section("Qt 5 Core, and Qt's WinMain adapter (qtmain)", f"""\
Qt 5.15 Core, built from Debian's qtbase-opensource-src {version} with
Debian's patch series (scripts/build-qt-mingw.sh), is linked statically.
Copyright (C) The Qt Company Ltd. and other contributors.
It is licensed under the GNU Lesser General Public License version 3
(LGPL-3.0-only), whose text follows, with the GNU General Public License
version 3 that it supplements. Qt's WinMain adapter (src/winmain) is under
the BSD-3-Clause licence as stated in its source.

What the LGPL asks of whoever distributes this executable: as Qt is linked
statically, the recipient must be able to relink the launcher with a
changed Qt (LGPL-3.0 section 4 d). This project meets it by publishing,
under the MIT licence, the whole source of the launcher, the exact recipe
of the Qt it uses (source package, patches, configure options), and a
reproducible build: the same commit and recipe give the same executable,
byte for byte, and the build scripts relink it against any Qt built from a
changed recipe. A distributor passes on this notice and the means to get
that source, or the source itself.

{read(os.path.join(root, "LICENSE.LGPL3"))}
{read(os.path.join(root, "LICENSE.GPL3"))}""")


def component(folder, entry):
    lines = [f"{entry.get('Name', entry['Id'])}" + (f", version {entry['Version']}" if entry.get("Version") else "")]
    lines.append(f"Part of Qt Core: {entry.get('QtUsage', '').strip()}")
    if entry.get("Homepage"):
        lines.append(f"Homepage: {entry['Homepage']}")
    lines.append(f"Licence: {entry.get('License', 'see below')} ({entry.get('LicenseId', 'no identifier')})")
    if entry.get("Copyright"):
        lines.append(f"\n{entry['Copyright'].strip()}")
    body = "\n".join(lines) + "\n"
    if entry.get("LicenseFile"):
        body += "\n" + read(os.path.join(folder, entry["LicenseFile"]))
    return section(f"Bundled in Qt Core: {entry.get('Name', entry['Id'])}", body)


def runtimes():
    gcc = read(GCC_COPYRIGHT)
    exception = gcc[gcc.index("GCC RUNTIME LIBRARY EXCEPTION"):]
    exception = exception[:exception.index("requirements of the license of GCC.") + len("requirements of the license of GCC.")]
    return (section("GCC runtime: libgcc, libstdc++", """\
The GCC runtime libraries linked statically (libgcc, libgcc_eh, libstdc++)
are licensed under the GNU General Public License version 3 or later with
version 3.1 of the GCC Runtime Library Exception, which allows their use in
programs under any licence. Copyright (C) Free Software Foundation, Inc.

""" + exception + "\n")
            + section("MinGW-w64 runtime (CRT, winpthreads, import libraries)",
                      "The MinGW-w64 runtime linked statically, as Debian describes its\n"
                      "licences (" + MINGW_COPYRIGHT + "):\n\n" + read(MINGW_COPYRIGHT)))


def linked_attributions(map_file, root):
    """Qt's attributions of the code the link took, with their folders."""
    members = linked_members(map_file)
    for folder, entry in attributions(root):
        ident = entry["Id"]
        if ident in OTHER_MODULES:
            continue
        if ident not in CARRIED_BY:
            sys.exit(f"error: Qt attribution '{ident}' in {folder}: say in {__file__} which members carry it")
        if members & set(CARRIED_BY[ident]):
            yield folder, entry


def notices(map_file, root):
    parts = ["THIRD-PARTY NOTICES for quillora-launcher.exe\n\n"
             "The Windows executable contains, besides the launcher's own code (MIT,\n"
             "see LICENSE), the following. Each part names its licence, with its text.\n\n",
             qt_core(root)]
    parts += [component(folder, entry) for folder, entry in linked_attributions(map_file, root)]
    parts.append(runtimes())
    return "".join(parts)


def debian_source_version(package):
    """The Debian source version of an installed package, as the build used it."""
    return subprocess.run(["dpkg-query", "-W", "-f", "${source:Version}", package], check=True,
                          capture_output=True, text=True).stdout.strip()


def purl_deb(source, version):
    return f"pkg:deb/debian/{source}@{urllib.parse.quote(version, safe='')}?arch=source"


def licences(identifier=None, name=None):
    """A CycloneDX licence choice: an SPDX expression, else a licence by name."""
    if identifier:
        return [{"expression": identifier}]
    return [{"license": {"name": name}}]


def sbom(map_file, root, executable, version, arch):
    """The software bill of materials of `executable`, as a CycloneDX 1.5
    document that depends on nothing but its inputs and SOURCE_DATE_EPOCH."""
    with open(executable, "rb") as f:
        digest = hashlib.sha256(f.read()).hexdigest()
    qt_version = read(os.path.join(root, "debian-version")).strip()
    launcher = {
        "type": "application", "bom-ref": "quillora-launcher", "name": "quillora-launcher", "version": version,
        "description": f"The Quillora launcher for Windows {arch}", "licenses": licences("MIT"),
        "hashes": [{"alg": "SHA-256", "content": digest}],
    }
    components = [{
        "type": "library", "bom-ref": "qt-core", "name": "Qt Core", "group": "Qt", "version": qt_version,
        "description": "Qt 5 Core and Qt's WinMain adapter, linked statically, built with Debian's patch series",
        "licenses": licences("LGPL-3.0-only AND BSD-3-Clause"),
        "purl": purl_deb("qtbase-opensource-src", qt_version),
    }]
    for _, entry in linked_attributions(map_file, root):
        part = {"type": "library", "bom-ref": "qt-core-" + entry["Id"], "name": entry.get("Name", entry["Id"]),
                "description": "Bundled in Qt Core: " + entry.get("QtUsage", "").strip(),
                "licenses": licences(entry.get("LicenseId"), entry.get("License", "see THIRD-PARTY-NOTICES"))}
        if entry.get("Version"):
            part["version"] = entry["Version"]
        components.append(part)
    gcc = debian_source_version("gcc-mingw-w64-base")
    mingw = debian_source_version("mingw-w64-common")
    components += [
        {"type": "library", "bom-ref": "gcc-runtime", "name": "GCC runtime (libgcc, libstdc++)", "version": gcc,
         "licenses": licences("GPL-3.0-or-later WITH GCC-exception-3.1"), "purl": purl_deb("gcc-mingw-w64", gcc)},
        {"type": "library", "bom-ref": "mingw-w64-runtime", "name": "MinGW-w64 runtime (CRT, winpthreads)",
         "version": mingw, "purl": purl_deb("mingw-w64", mingw),
         "licenses": licences(name="ZPL-2.1, public domain and others, as Debian's copyright of mingw-w64 lists "
                                   "them (THIRD-PARTY-NOTICES)")},
    ]
    stamp = time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(int(os.environ.get("SOURCE_DATE_EPOCH", "0"))))
    document = {
        "bomFormat": "CycloneDX", "specVersion": "1.5", "version": 1,
        "metadata": {"timestamp": stamp, "component": launcher,
                     "tools": {"components": [{"type": "application", "name": "third-party-notices.py",
                                               "description": "scripts/third-party-notices.py of the launcher"}]}},
        "components": components,
        "dependencies": [{"ref": "quillora-launcher", "dependsOn": [c["bom-ref"] for c in components]}],
    }
    # Named after its content: the same inputs give the same document.
    content = json.dumps(document, sort_keys=True).encode()
    document["serialNumber"] = uuid.uuid5(uuid.NAMESPACE_URL, "quillora-sbom:" + hashlib.sha256(content).hexdigest()).urn
    return json.dumps(document, indent=2, sort_keys=True) + "\n"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("map", help="the link map of quillora-launcher.exe")
    parser.add_argument("attributions", help="the Qt cache's attributions folder")
    parser.add_argument("--check", metavar="FILE", help="fail unless FILE holds exactly these notices")
    parser.add_argument("--sbom", metavar="OUT", help="write the CycloneDX SBOM of the executable instead")
    parser.add_argument("--executable", help="the shipped executable (with --sbom)")
    parser.add_argument("--version", help="the launcher's version (with --sbom)")
    parser.add_argument("--arch", help="x64 or x86 (with --sbom)")
    args = parser.parse_args()
    if args.sbom:
        with open(args.sbom, "w", encoding="utf-8") as f:
            f.write(sbom(args.map, args.attributions, args.executable, args.version, args.arch))
        return 0
    text = notices(args.map, args.attributions)
    if not args.check:
        sys.stdout.write(text)
        return 0
    with open(args.check, encoding="utf-8") as f:
        if f.read() == text:
            return 0
    print(f"{args.check} is not what this build contains: regenerate it with {sys.argv[0]}", file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())
