#!/usr/bin/env python3
"""Benchmark of the zip reader on a realistic exam package. Prints figures; asserts nothing.

How to run (after a normal build in build/):

    bench/zip/zip_bench.py [--build build] [--work /tmp/mivo-bench] [--runs 3] [--keep]

It makes a package of about 300 MB in about 5,000 files (database-like pages, text, some
incompressible binaries), deflated by Info-ZIP zip; then times `mivo-zip extract` against
`unzip -q`, `bsdtar -xf` and `7z x` (best of --runs rounds, each run into a fresh folder,
archive in the page cache) and prints each tool's time relative to mivo-zip; then runs `zip-bench`,
which decompresses every entry to memory through the reader and through zlib's raw inflate
with crc32 alone. The work folder is removed at the end unless --keep is given; a package
left there by an earlier --keep run is reused. Needs zip, unzip, bsdtar and 7z; takes a
few minutes and about 1 GB of disk.
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import time

PAGE = 4096


def database_file(rng, pages):
    """Pages like a database file's: a header, records of numbers and names, free space."""
    names = [("계정%04d" % i).encode() for i in range(500)] + [b"Cash", b"Sales", b"Payable"]
    out = bytearray()
    for page in range(pages):
        body = bytearray(b"\x0d\x00\x00" + page.to_bytes(4, "little"))
        while len(body) < PAGE - 600:
            body += rng.randbytes(4) + rng.choice(names) + b"\x00" + \
                str(rng.randrange(10 ** 9)).encode() + b"\x01"
        body += b"\x00" * (PAGE - len(body))
        out += body
    return bytes(out)


def text_file(rng, lines_pool, size):
    out = []
    total = 0
    while total < size:
        line = rng.choice(lines_pool)
        out.append(line)
        total += len(line)
    return b"".join(out)


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
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL)
    return time.perf_counter() - start


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--work", default="/tmp/mivo-bench")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--keep", action="store_true")
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

    out = os.path.join(work, "out")
    extractors = [
        ("mivo-zip extract", lambda: [tool, "extract", archive, out], None),
        ("unzip -q", lambda: ["unzip", "-q", archive, "-d", out], None),
        ("bsdtar -xf", lambda: ["bsdtar", "-xf", archive], out),
        ("7z x", lambda: ["7z", "x", "-y", "-o" + out, archive], None),
    ]
    # Round by round, every tool once per round, so that drift in the machine's load and in
    # the disk's write-back falls on all of them alike.
    best = {name: float("inf") for name, _, _ in extractors}
    for _ in range(options.runs):
        for name, command, cwd in extractors:
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            subprocess.run(["sync"])
            best[name] = min(best[name], timed(command(), cwd))
    shutil.rmtree(out, ignore_errors=True)
    print("\nextraction to disk (best of %d):" % options.runs)
    for name, seconds in best.items():
        print("  %-18s %7.2f s   %5.2f x mivo-zip" % (name, seconds,
                                                       seconds / best["mivo-zip extract"]))
    print("  mivo-zip / bsdtar: %.2f (1.00 or less meets the target)" % (
        best["mivo-zip extract"] / best["bsdtar -xf"]))

    print("\ndecompression of every entry to memory:", flush=True)
    subprocess.run([bench, archive, str(options.runs)], check=True)
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
