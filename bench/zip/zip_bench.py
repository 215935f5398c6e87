#!/usr/bin/env python3
"""Benchmark of the zip reader on a realistic exam package. Prints figures; asserts nothing.

How to run (after a normal build in build/):

    bench/zip/zip_bench.py [--build build] [--work /tmp/mivo-bench] [--pairs 5] [--keep]

It makes a package of about 300 MB in about 5,000 files (database-like pages, text, some
incompressible binaries), deflated by Info-ZIP zip; then times `mivo-zip extract` against
`bsdtar -xf`, `7z x` and `unzip -q` in paired runs taken in turn (mivo-zip, the other tool,
mivo-zip, the other tool, ... --pairs pairs, each run into a fresh folder, archive in the
page cache) and prints, per tool, the median of the pairs' ratios mivo-zip / tool with their
spread (lowest and highest), and the median wall and CPU (user + system) times; then runs
`zip-bench`, which does the same for decompressing every entry to memory through the reader
against zlib's raw inflate with crc32 alone. A shared machine is noisy: the paired ratio
follows the load that both runs of a pair saw, which a best-of figure does not.

Every run extracts into a folder of its own, and the folders are removed only at the end: on
an ext4 file system without a journal (as here) files created within a minute or so after
thousands were deleted cost several times more system time (the allocator passes over the
freshly freed inodes), which would fall on every tool alike and hide their differences.
--reuse-folder times the other way instead, emptying one folder before each run. The work
folder is removed at the end unless --keep is given; a package left there by an earlier
--keep run is reused. Needs zip, unzip, bsdtar and 7z; takes a few minutes and about
2 GB of disk a pair (10 GB at 5 pairs).
"""

import argparse
import os
import random
import resource
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from exam_data import database_file, text_file  # noqa: E402


def make_package(folder):
    """About 300 MB in about 5,000 files."""
    rng = random.Random(7)
    words = ["tax", "ledger", "계정과목", "차변", "대변", "answer", "question", "합계", "exam",
             "vat", "receipt", "2026", "세무", "회계", "journal", "balance"]
    lines_pool = [(" ".join(rng.choice(words) for _ in range(rng.randrange(4, 16))) +
                   " %d\n" % rng.randrange(10 ** 6)).encode() for _ in range(20000)]
    # Database-like: 40 files of 4 MB = 160 MB.
    for i in range(40):
        path = os.path.join(folder, "Data", "Level%d" % (i % 4 + 1), "Exam%02d.DBS" % i)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(database_file(rng, 1024))
    # Incompressible binaries: 10 files of 4 MB = 40 MB.
    for i in range(10):
        path = os.path.join(folder, "Bin", "module%02d.bin" % i)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(rng.randbytes(4 << 20))
    # Text: 4,950 files averaging 20 KB = about 100 MB.
    for i in range(4950):
        path = os.path.join(folder, "Text", "Q%03d" % (i // 50), "item%04d.txt" % i)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as out:
            out.write(text_file(rng, lines_pool, rng.randrange(2000, 38000)))


def timed(command, cwd=None):
    """Wall and CPU (user + system) seconds of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--work", default="/tmp/mivo-bench")
    parser.add_argument("--pairs", type=int, default=5)
    parser.add_argument("--keep", action="store_true")
    parser.add_argument("--reuse-folder", action="store_true")
    options = parser.parse_args()
    tool = os.path.abspath(os.path.join(options.build, "tools", "mivo_zip", "mivo-zip"))
    bench = os.path.abspath(os.path.join(options.build, "bench", "zip", "zip-bench"))
    for program in (tool, bench):
        if not os.access(program, os.X_OK):
            sys.exit("missing %s: build first (cmake --build %s)" % (program, options.build))

    work = os.path.abspath(options.work)
    archive = os.path.join(work, "VemraExamDB.zip")
    if not os.path.exists(archive):
        source = os.path.join(work, "source")
        shutil.rmtree(source, ignore_errors=True)
        os.makedirs(source)
        print("making the package in %s ..." % work, flush=True)
        make_package(source)
        subprocess.run(["zip", "-q", "-r", archive, "."], cwd=source, check=True)
        shutil.rmtree(source)
    with zipfile_listing(archive) as (count, total):
        print("package: %s, %d entries, %.0f MB unpacked, %.0f MB packed" % (
            archive, count, total / 1e6, os.path.getsize(archive) / 1e6))
    with open(archive, "rb") as f:  # into the page cache
        while f.read(1 << 24):
            pass

    outputs = os.path.join(work, "out")
    mivo = ("mivo-zip extract", lambda out: ([tool, "extract", archive, out], None))
    others = [
        ("bsdtar -xf", lambda out: (["bsdtar", "-xf", archive], out)),
        ("7z x", lambda out: (["7z", "x", "-y", "-o" + out, archive], None)),
        ("unzip -q", lambda out: (["unzip", "-q", archive, "-d", out], None)),
    ]
    runs = [0]

    def run(extractor):
        if options.reuse_folder:
            out = os.path.join(outputs, "0")
            shutil.rmtree(out, ignore_errors=True)
        else:
            runs[0] += 1
            out = os.path.join(outputs, str(runs[0]))
        os.makedirs(out)
        subprocess.run(["sync"])
        return timed(*extractor[1](out))

    print("\nextraction to disk, %d pairs in turn per tool:" % options.pairs)
    medians = {}
    for other in others:
        ratios, mine, theirs = [], [], []
        for _ in range(options.pairs):
            a = run(mivo)
            b = run(other)
            mine.append(a)
            theirs.append(b)
            ratios.append(a[0] / b[0])
        medians[other[0]] = statistics.median(w for w, _ in theirs)
        print("  mivo-zip / %-10s median %.2f (spread %.2f-%.2f); wall %.2f s and %.2f s, "
              "CPU %.2f s and %.2f s" % (
                  other[0], statistics.median(ratios), min(ratios), max(ratios),
                  statistics.median(w for w, _ in mine), medians[other[0]],
                  statistics.median(c for _, c in mine),
                  statistics.median(c for _, c in theirs)), flush=True)
    shutil.rmtree(outputs, ignore_errors=True)
    fastest = min(medians, key=medians.get)
    print("  fastest other tool by median wall: %s (target: mivo-zip / it at most 0.60)" % fastest)

    print("\ndecompression of every entry to memory:", flush=True)
    subprocess.run([bench, archive, str(options.pairs)], check=True)
    if not options.keep:
        shutil.rmtree(work, ignore_errors=True)


class zipfile_listing:
    """Entry count and unpacked size, from python's zipfile."""

    def __init__(self, path):
        import zipfile
        self.zip = zipfile.ZipFile(path)

    def __enter__(self):
        infos = self.zip.infolist()
        return len(infos), sum(i.file_size for i in infos)

    def __exit__(self, *exc):
        self.zip.close()


if __name__ == "__main__":
    main()
