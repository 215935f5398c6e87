#!/usr/bin/env python3
"""mivo-zip on the crafted archives: its exit status and its one error line must tell what
the reader ended with, for `extract` and for `test`.

  tool_test.py --tool MIVO-ZIP --writer ZIP-WRITE-CRAFTED

The writer puts every crafted archive in a folder with manifest.tsv (name, expected end,
plain); the plain cases need nothing but the file, so the tool must end them the same way
the reader's own test does: "done N" exits 0; a code C exits 1 with the line
"mivo-zip: error C: DESCRIPTION: PATH" (the archive's path when opening fails); "false I"
exits 1 with code 0.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

# Cases that only writing can meet (a folder in the way of a file, a file in the way of a
# folder): `test` writes nothing, so these archives test sound.
WRITE_ONLY = {"217-folder-in-the-way", "2-output-parent-is-a-file"}
ERROR_LINE = re.compile(r"^mivo-zip: error (\d+): (.+): (.*)$")


def expected_code(expect):
    words = expect.split()
    if words[0] == "done":
        return None
    if words[0] == "false":
        return "0"
    return words[-1]


def check(tool, command, archive, expect, out=None):
    args = [tool, command, archive] + ([out] if out else [])
    result = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    stderr = result.stderr.decode(errors="replace").rstrip("\n")
    code = expected_code(expect)
    if code is None:
        if result.returncode != 0 or stderr:
            return "%s: exit %d, %r; expected success" % (command, result.returncode, stderr)
        return None
    lines = stderr.splitlines()
    match = ERROR_LINE.match(lines[-1]) if lines else None
    if result.returncode != 1 or len(lines) != 1 or not match:
        return "%s: exit %d, %r; expected exit 1 and one error line" % (
            command, result.returncode, stderr)
    if match.group(1) != code:
        return "%s: code %s, expected %s (%s)" % (command, match.group(1), code, stderr)
    if expect.startswith("open") and match.group(3) != archive:
        return "%s: path %r, expected the archive %r" % (command, match.group(3), archive)
    return None


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool", required=True)
    parser.add_argument("--writer", required=True)
    options = parser.parse_args()
    os.environ["TZ"] = "Asia/Seoul"
    work = tempfile.mkdtemp(prefix="mivo-tool-test-")
    failures = 0
    checked = 0
    try:
        subprocess.run([options.writer, work], check=True, stdout=subprocess.DEVNULL)
        with open(os.path.join(work, "manifest.tsv"), encoding="utf-8") as manifest:
            cases = [line.rstrip("\n").split("\t") for line in manifest]
        for name, expect, plain in cases:
            if plain != "1":
                continue
            archive = os.path.join(work, name + ".zip")
            out = os.path.join(work, name + ".out")
            problems = [check(options.tool, "extract", archive, expect, out)]
            shutil.rmtree(out, ignore_errors=True)
            test_expect = "done 0" if name in WRITE_ONLY else expect
            problems.append(check(options.tool, "test", archive, test_expect))
            problems = [p for p in problems if p]
            checked += 1
            for problem in problems:
                print("%s: %s" % (name, problem))
            failures += bool(problems)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("%d passed, %d failed" % (checked - failures, failures))
    return 1 if failures or checked < 40 else 0


if __name__ == "__main__":
    sys.exit(main())
