#!/usr/bin/env python3
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
"""Makes a linked Windows executable what removing an Authenticode signature
gives back: its length a multiple of 8 (a signature is 8-byte aligned, and
its padding stays when the signature goes) and the real PE checksum of that
padded file (signing tools recompute it). So a signed release, once its
signature is removed, is byte for byte the build from source.

Usage: scripts/pe-finish.py FILE
"""
import sys

import pefile


def main():
    path = sys.argv[1]
    with open(path, "rb") as f:
        data = f.read()
    data += b"\0" * (-len(data) % 8)
    pe = pefile.PE(data=data, fast_load=True)
    pe.OPTIONAL_HEADER.CheckSum = pe.generate_checksum()
    with open(path, "wb") as f:
        f.write(pe.write())
    return 0


if __name__ == "__main__":
    sys.exit(main())
