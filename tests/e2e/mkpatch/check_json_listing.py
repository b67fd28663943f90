#!/usr/bin/env python3
"""Checks `orvan-mkpatch inspect --json` against the updater and the two trees it was built from.

usage: check_json_listing.py LISTING UPDATER OLD_TREE NEW_TREE
The listing must parse as JSON, hold every documented field with its type, and say what the
files are: sizes and XXH3-128 hashes (as xxhsum -H2 prints them) of the real old and new files,
data blocks laid end to end that fill the data area, which ends where the 48-byte trailer begins.
"""
import json
import os
import subprocess
import sys

listing_path, updater, old_tree, new_tree = sys.argv[1:5]
problems = []


def check(condition, message):
    if not condition:
        problems.append(message)


def xxh128(path):
    out = subprocess.run(["xxhsum", "-H2", path], check=True, capture_output=True, text=True).stdout
    return out.split()[0]


def tree(root):
    files = {}
    for folder, _, names in os.walk(root):
        for name in names:
            full = os.path.join(folder, name)
            files[os.path.relpath(full, root).replace(os.sep, "/")] = full
    return files


with open(listing_path, "rb") as f:
    listing = json.loads(f.read().decode("utf-8"))

check(listing["format_version"] == 2, "format_version")
# The records file's lines, comments and empty lines left out, byte 0xC9 read as U+00C9.
check(listing["records"] == ['Versions,Orvan "Gold",Orvan.exe,1.1,1.2', "Registry,Software\\Quillmer\\\u00c9dition",
                             "Expansion,Isles,7,1.0,xpd"], "records: %r" % listing["records"])

old_files, new_files = tree(old_tree), tree(new_tree)
expected_paths = sorted(p for p in set(old_files) | set(new_files)
                        if p not in old_files or p not in new_files
                        or open(old_files[p], "rb").read() != open(new_files[p], "rb").read())
files = listing["files"]
check([f["path"] for f in files] == expected_paths, "paths: %r, not %r" % ([f["path"] for f in files], expected_paths))

fields = {"path": str, "operation": str, "optional": bool, "codec": str, "stage": (str, type(None)), "old_size": int, "old_hash": (str, type(None)),
          "new_size": int, "new_hash": (str, type(None)), "data_offset": int, "data_length": int,
          "data_hash": (str, type(None))}
codecs = {"none", "zstd", "ref-zstd", "covers", "covers-x86", "covers-x64", "delta-zstd"}
offset = 0
for f in files:
    name = f.get("path")
    check(set(f) == set(fields), "%s: fields %r" % (name, sorted(f)))
    for field, kind in fields.items():
        check(isinstance(f.get(field), kind), "%s: %s is %r" % (name, field, f.get(field)))
    check(f["codec"] in codecs, "%s: codec %r" % (name, f["codec"]))
    check(f["optional"] == name.endswith(".xpd"), "%s: optional" % name)
    old, new = old_files.get(name), new_files.get(name)
    check(f["operation"] == ("modify" if old and new else "add" if new else "delete"), "%s: operation" % name)
    check(f["old_size"] == (os.path.getsize(old) if old else 0), "%s: old_size" % name)
    check(f["new_size"] == (os.path.getsize(new) if new else 0), "%s: new_size" % name)
    check(f["old_hash"] == (xxh128(old) if old else None), "%s: old_hash %r" % (name, f["old_hash"]))
    check(f["new_hash"] == (xxh128(new) if new else None), "%s: new_hash %r" % (name, f["new_hash"]))
    if new:
        check(len(f["data_hash"]) == 16 and int(f["data_hash"], 16) >= 0, "%s: data_hash" % name)
        check(f["data_length"] > 0, "%s: data_length" % name)
        check(f["stage"] in ("zstd", "lzma"), "%s: stage %r" % (name, f["stage"]))
    else:
        check(f["data_hash"] is None and f["data_length"] == 0 and f["codec"] == "none" and f["stage"] is None,
              "%s: a delete's data" % name)
    check(f["data_offset"] == offset, "%s: data_offset %d, not %d" % (name, f["data_offset"], offset))
    offset += f["data_length"]

check(listing["data_area_length"] == offset, "data_area_length")
check(listing["data_area_offset"] + listing["data_area_length"] + 48 == os.path.getsize(updater),
      "the data area does not end where the trailer begins")

for problem in problems:
    print("check_json_listing: " + problem, file=sys.stderr)
sys.exit(1 if problems else 0)
