#!/usr/bin/env python3
# SPDX-FileCopyrightText: The Quillora launcher contributors
# SPDX-License-Identifier: MIT
"""Validates CycloneDX 1.5 JSON documents against the format's published
JSON schema (with the SPDX licence list and JSF schemas it refers to), with
Debian's python3-jsonschema.

Usage: scripts/validate-sbom.py SCHEMA_FOLDER SBOM...
SCHEMA_FOLDER holds bom-1.5, spdx and jsf-0.82 schemas as CycloneDX's own
library ships them (res/schema/*.SNAPSHOT.schema.json).
"""
import glob
import json
import os
import sys

import jsonschema


def main():
    folder, documents = sys.argv[1], sys.argv[2:]
    # Each schema by its $id and by its file name, as the others refer to
    # it; never fetched from anywhere.
    store = {}
    for path in glob.glob(os.path.join(folder, "*.schema.json")):
        with open(path, encoding="utf-8") as f:
            schema = json.load(f)
        base = schema.get("$id", "").rsplit("/", 1)[0]
        store[schema.get("$id", path)] = schema
        store[f"{base}/{os.path.basename(path)}"] = schema
    bom = next(s for s in store.values() if s.get("$id", "").endswith("/bom-1.5.schema.json"))

    def offline(uri):
        sys.exit(f"the schema refers to {uri}, which is not in {folder}")

    resolver = jsonschema.RefResolver(bom["$id"], bom, store=store, handlers={"http": offline, "https": offline})
    validator = jsonschema.Draft7Validator(bom, resolver=resolver, format_checker=jsonschema.FormatChecker())
    failed = 0
    for path in documents:
        with open(path, encoding="utf-8") as f:
            errors = sorted(validator.iter_errors(json.load(f)), key=lambda e: list(e.path))
        for error in errors:
            print(f"{path}: {'/'.join(map(str, error.path))}: {error.message}")
        failed |= bool(errors)
    return failed


if __name__ == "__main__":
    sys.exit(main())
