#!/usr/bin/env python3
"""Compares an installed exam-data tree with the package it came from.

    check_install.py PACKAGE.zip INSTALLED-FOLDER EXAM-NUMBER NAME

Every file of the archive must be in the folder with the same bytes, except the level
record Vemra/LevelInfo.dat: there the exam number (UTF-16, 21 units at offset 16) and the
name (at offset 58) must be stamped, and every other byte kept. Names are compared without
regard to case, as Windows finds them. Prints each difference; exit status 1 when any.
"""
import os
import sys
import zipfile

RECORD = "vemra/levelinfo.dat"
RECORD_SIZE = 388
TEXT_UNITS = 21
STAMPED = {16: "number", 58: "name"}


def installed_files(folder):
    """Maps each file's lower-case relative name (with /) to its path."""
    found = {}
    for root, _dirs, files in os.walk(folder):
        for name in files:
            path = os.path.join(root, name)
            relative = os.path.relpath(path, folder).replace(os.sep, "/")
            found[relative.lower()] = path
    return found


def text_field(record, offset):
    raw = record[offset : offset + 2 * TEXT_UNITS]
    return raw.decode("utf-16-le", errors="replace").split("\0", 1)[0]


def check_record(packaged, installed, number, name):
    problems = []
    if len(installed) != RECORD_SIZE:
        return [f"level record is {len(installed)} bytes, not {RECORD_SIZE}"]
    wanted = {16: number, 58: name}
    for offset, label in STAMPED.items():
        got = text_field(installed, offset)
        if got != wanted[offset]:
            problems.append(f"level record {label} is {got!r}, not {wanted[offset]!r}")
    stamped = set()
    for offset in STAMPED:
        stamped.update(range(offset, offset + 2 * TEXT_UNITS))
    changed = [i for i in range(RECORD_SIZE) if i not in stamped and packaged[i] != installed[i]]
    if changed:
        problems.append(f"level record bytes outside the stamped fields differ at {changed[:8]}")
    return problems


def main(argv):
    if len(argv) != 5:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    package, folder, number, name = argv[1:]
    if not os.path.isdir(folder):
        print(f"no installed folder {folder}")
        return 1
    files = installed_files(folder)
    problems = []
    with zipfile.ZipFile(package) as archive:
        for entry in archive.infolist():
            if entry.is_dir():
                continue
            key = entry.filename.lower()
            path = files.pop(key, None)
            if path is None:
                problems.append(f"missing {entry.filename}")
                continue
            with open(path, "rb") as f:
                installed = f.read()
            packaged = archive.read(entry)
            if key == RECORD:
                problems += check_record(packaged, installed, number, name)
            elif installed != packaged:
                problems.append(f"{entry.filename} differs from the package")
    # What the installer adds itself: the display marker beside the company data.
    extra = [n for n in files if not os.path.basename(n).startswith("disp_")]
    if extra:
        problems.append(f"files not in the package: {sorted(extra)[:8]}")
    for problem in problems:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
