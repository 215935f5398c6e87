#!/usr/bin/env python3
"""Interoperability of mivo-zip with archives that real tools write.

Each case makes an archive at test time with Info-ZIP zip, 7z, bsdtar or python3's zipfile,
extracts it once with a reference extractor (unzip, 7z or bsdtar) and once with
`mivo-zip extract`, and compares the two trees: the same names, the same bytes and the same
modification times. MS-DOS times have 2-second resolution and Info-ZIP rounds odd seconds up,
so a file whose reference time is odd may differ by one second; even times must match exactly.
Every tool of a case runs under the same TZ, mostly one with daylight saving (see CASES).

  interop_test.py --tool PATH --case NAME     run one case (CTest runs one per test)
  interop_test.py --list                      print the case names
  interop_test.py --seeds DIR                 write the small archives to DIR (fuzz corpus)
"""

import argparse
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import zipfile
import zlib

def local_time(*fields):
    """Seconds since 1970 for a local wall-clock time in TZ."""
    return int(time.mktime(tuple(fields) + (0, 0, -1)))


def write(path, data, mtime):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)
    os.utime(path, (mtime, mtime))


def make_tree(root, names="ascii", many=0):
    """The files to archive. `names`: "ascii", "utf8" (Hangul and accents), "hangul"
    (Hangul only, encodable in CP949). `many`: that many extra small files."""
    rng = random.Random(3)
    # Even seconds (MS-DOS resolution), one time in winter and one in summer time.
    winter = local_time(2023, 1, 15, 9, 30, 12)
    summer = local_time(2024, 7, 3, 23, 59, 58)
    text = "".join("line %d of the exam data, 계정과목 %d\n" % (i, i * 7) for i in range(9000))
    pages = b"".join(
        bytes([i % 251]) * 64 + rng.randbytes(32) + b"\0" * 4000 for i in range(60)
    )
    write(os.path.join(root, "readme.txt"), b"exam package\n", winter)
    write(os.path.join(root, "empty.dat"), b"", summer)
    write(os.path.join(root, "data", "pages.db"), pages, summer)  # > 128 KiB, compressible
    write(os.path.join(root, "data", "text", "accounts.txt"), text.encode(), winter)
    write(os.path.join(root, "bin", "random.bin"), rng.randbytes(300_000), summer)  # stored-ish
    write(os.path.join(root, "with space", "a b.txt"), b"spaces in names\n", winter + 86400)
    os.makedirs(os.path.join(root, "empty folder"))
    if names == "utf8":
        write(os.path.join(root, "한글 폴더", "세무1급.txt"), "세무 1급\n".encode(), summer)
        write(os.path.join(root, "Prüfung", "résumé.txt"), b"accents\n", winter)
    elif names == "hangul":
        write(os.path.join(root, "한글 폴더", "세무1급.txt"), "세무 1급\n".encode(), summer)
        write(os.path.join(root, "회계2급.dat"), rng.randbytes(1000), winter)
    for i in range(many):
        write(os.path.join(root, "many", "d%02d" % (i % 40), "f%05d.txt" % i),
              ("entry %d\n" % i).encode() * (i % 7), winter + 2 * (i % 1000))


def run(args, cwd=None, stdin=None, ok=(0,), shell=False):
    result = subprocess.run(args, cwd=cwd, stdin=stdin, shell=shell,
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if result.returncode not in ok:
        raise RuntimeError("%s exited %d:\n%s%s" % (
            args, result.returncode, result.stdout.decode(errors="replace"),
            result.stderr.decode(errors="replace")))
    return result


# ---- archive makers: each makes the archive(s) in `work` from the tree `src` and returns the
# path that mivo-zip is given and the path the reference extractor is given.

def infozip(*options):
    def make(src, work):
        archive = os.path.join(work, "a.zip")
        run(["zip", "-q", "-r", *options, archive, "."], cwd=src)
        return archive, archive
    return make


def infozip_streamed(src, work):
    # Output to a pipe: zip cannot seek back, so every entry gets a data descriptor.
    archive = os.path.join(work, "a.zip")
    run("zip -q -r - . | cat > '%s'" % archive, cwd=src, shell=True)
    return archive, archive


def infozip_stdin(src, work):
    # One entry read from standard input ("-") and written to a pipe.
    archive = os.path.join(work, "a.zip")
    data = os.path.join(src, "data", "text", "accounts.txt")
    run("zip -q - - < '%s' | cat > '%s'" % (data, archive), cwd=src, shell=True)
    return archive, archive


def self_extracting(adjust):
    def make(src, work):
        plain = os.path.join(work, "plain.zip")
        run(["zip", "-q", "-r", plain, "."], cwd=src)
        archive = os.path.join(work, "setup.exe.zip")
        stub = b"MZ" + random.Random(5).randbytes(40_000)  # stands for the stub program
        with open(archive, "wb") as out, open(plain, "rb") as body:
            out.write(stub + body.read())
        if adjust:
            run(["zip", "-q", "-A", archive])  # offsets then count from the file's start
        return archive, archive
    return make


def sevenzip(*options):
    def make(src, work):
        archive = os.path.join(work, "a.zip")
        run(["7z", "a", "-tzip", *options, archive, "."], cwd=src)
        return archive, archive
    return make


def sevenzip_volumes(src, work):
    # Binary split: the archive cut into a.zip.001, a.zip.002, ...; mivo-zip is given the
    # last part, whose extension tells how many parts there are.
    base = os.path.join(work, "a.zip")
    run(["7z", "a", "-tzip", "-v64k", base, "."], cwd=src)
    parts = sorted(p for p in os.listdir(work) if p.startswith("a.zip."))
    if len(parts) < 3:
        raise RuntimeError("7z made only %s" % parts)
    return os.path.join(work, parts[-1]), os.path.join(work, parts[0])


def bsdtar(*options, pipe=False):
    def make(src, work):
        archive = os.path.join(work, "a.zip")
        opts = ["--options", ",".join(options)] if options else []
        if pipe:
            run("bsdtar --format zip %s -cf - . | cat > '%s'" % (" ".join(opts), archive),
                cwd=src, shell=True)
        else:
            run(["bsdtar", "--format", "zip", *opts, "-cf", archive, "."], cwd=src)
        return archive, archive
    return make


def python_zipfile(method):
    def make(src, work):
        archive = os.path.join(work, "a.zip")
        with zipfile.ZipFile(archive, "w", compression=method) as z:
            for folder, dirs, files in os.walk(src):
                dirs.sort()
                for name in sorted(dirs) + sorted(files):
                    full = os.path.join(folder, name)
                    z.write(full, os.path.relpath(full, src))
        return archive, archive
    return make


# ---- reference extractors

def unzip(archive, out):
    # 1: warnings only (unzip warns about bytes in front of a self-extracting archive).
    run(["unzip", "-q", "-o", archive, "-d", out], ok=(0, 1))


def sevenzip_x(archive, out):
    run(["7z", "x", "-y", "-o" + out, archive])


def bsdtar_x(*options):
    def extract(archive, out):
        os.makedirs(out, exist_ok=True)
        opts = ["--options", ",".join(options)] if options else []
        run(["bsdtar", *opts, "-xf", archive], cwd=out)
    return extract


# ---- what each case's archive must show, so that a case cannot quietly stop testing what it
# names (another tool version choosing other options). Each returns a problem or None.

def extra_ids(blob):
    ids = []
    while len(blob) >= 4:
        ids.append(int.from_bytes(blob[0:2], "little"))
        blob = blob[4 + int.from_bytes(blob[2:4], "little"):]
    return ids


def entries(path):
    """(ZipInfo, local extra field ids) of every entry of a one-file archive."""
    with zipfile.ZipFile(path) as z, open(path, "rb") as raw:
        result = []
        for info in z.infolist():
            raw.seek(info.header_offset + 26)
            name_length = int.from_bytes(raw.read(2), "little")
            extra_length = int.from_bytes(raw.read(2), "little")
            raw.seek(name_length, 1)
            result.append((info, extra_ids(raw.read(extra_length))))
        return result


def shows(description, test):
    def check(path):
        return None if test(entries(path)) else "the archive has no " + description
    return check


def any_method(method):
    return shows("entry of method %d" % method,
                 lambda es: any(i.compress_type == method for i, _ in es))


ALL_STORED = shows("stored entries only", lambda es: all(i.compress_type == 0 for i, _ in es))
DESCRIPTORS = shows("data descriptors", lambda es: any(i.flag_bits & 0x8 for i, _ in es))
ZIP64 = shows("Zip64 fields", lambda es: any(1 in extra_ids(i.extra) or 1 in local
                                             for i, local in es))
UTF8_FLAG = shows("UTF-8 names (flag 11)",
                  lambda es: any(i.flag_bits & 0x800 and not i.filename.isascii() for i, _ in es))
THOUSANDS = shows("thousands of entries", lambda es: len(es) >= 3000)


def raw_cp949_names(path):
    names = [i.filename.encode("cp437") for i, _ in entries(path) if not i.flag_bits & 0x800]
    return None if "세무".encode("cp949") in b"".join(names) else "the archive has no CP949 names"


def stub_in_front(path):
    with open(path, "rb") as f:
        return None if f.read(2) == b"MZ" else "the archive has no stub in front"


def several_files(path):
    return None  # the makers of split archives check their parts themselves


# Time zones. Berlin has daylight saving, so a reader that ignores it is an hour off for
# the summer files. p7zip ignores daylight saving when it writes MS-DOS times (its own
# extraction uses the NTFS time field instead, which the reader does not read), so archives
# that 7z writes are compared in Seoul, the installer's own zone, which has none.
DST = "Europe/Berlin"
SEOUL = "Asia/Seoul"

SPLIT_CASES = ("infozip-split", "7z-volumes")

# One line per case: name, tree, archive maker, what the archive must show, reference
# extractor, time zone.
CASES = [
    ("infozip-deflate", "utf8", infozip(), any_method(8), unzip, DST),
    ("infozip-stored", "ascii", infozip("-0"), ALL_STORED, unzip, DST),
    ("infozip-bzip2", "ascii", infozip("-Z", "bzip2"), any_method(12), unzip, DST),
    ("infozip-zip64", "ascii", infozip("-fz"), ZIP64, unzip, DST),
    ("infozip-split", "ascii", infozip("-s", "64k"), several_files, sevenzip_x, DST),
    ("infozip-streamed", "ascii", infozip_streamed, DESCRIPTORS, unzip, DST),
    ("infozip-stdin", "ascii", infozip_stdin, DESCRIPTORS, unzip, DST),
    ("infozip-sfx-adjusted", "ascii", self_extracting(adjust=True), stub_in_front, unzip, DST),
    ("infozip-sfx-unadjusted", "ascii", self_extracting(adjust=False), stub_in_front, unzip,
     DST),
    ("7z-deflate", "ascii", sevenzip(), any_method(8), sevenzip_x, SEOUL),
    ("7z-volumes", "ascii", sevenzip_volumes, several_files, sevenzip_x, SEOUL),
    ("7z-bzip2", "ascii", sevenzip("-mm=BZip2"), any_method(12), sevenzip_x, SEOUL),
    ("7z-utf8-names", "utf8", sevenzip(), UTF8_FLAG, sevenzip_x, SEOUL),
    ("bsdtar-zip64", "ascii", bsdtar("zip:zip64"), ZIP64, bsdtar_x(), DST),
    ("bsdtar-descriptors", "utf8", bsdtar(pipe=True), DESCRIPTORS, bsdtar_x(), DST),
    ("bsdtar-cp949-names", "hangul", bsdtar("hdrcharset=CP949"), raw_cp949_names,
     bsdtar_x("hdrcharset=CP949"), DST),
    ("python-bzip2", "ascii", python_zipfile(zipfile.ZIP_BZIP2), any_method(12), unzip, DST),
    ("python-many-entries", "many", python_zipfile(zipfile.ZIP_DEFLATED), THOUSANDS, unzip,
     DST),
]


def snapshot(root):
    """{relative path bytes: ("d",) or ("f", contents, mtime)} of a tree."""
    tree = {}
    root_b = os.fsencode(root)
    for folder, dirs, files in os.walk(root_b):
        for name in dirs:
            tree[os.path.relpath(os.path.join(folder, name), root_b)] = ("d",)
        for name in files:
            full = os.path.join(folder, name)
            with open(full, "rb") as f:
                tree[os.path.relpath(full, root_b)] = ("f", f.read(), int(os.stat(full).st_mtime))
    return tree


def compare(reference, extracted):
    """The differences between two snapshots, as text lines (none when they agree)."""
    problems = []
    for path in sorted(set(reference) | set(extracted)):
        shown = path.decode(errors="backslashreplace")
        if path not in extracted:
            problems.append("missing: %s" % shown)
        elif path not in reference:
            problems.append("extra: %s" % shown)
        elif reference[path][0] != extracted[path][0]:
            problems.append("file or folder differs: %s" % shown)
        elif reference[path][0] == "f":
            if reference[path][1] != extracted[path][1]:
                problems.append("contents differ: %s (%d and %d bytes)" % (
                    shown, len(reference[path][1]), len(extracted[path][1])))
            want, got = reference[path][2], extracted[path][2]
            if abs(want - got) > want % 2:
                problems.append("mtime differs: %s (reference %s, mivo-zip %s)" % (
                    shown, time.ctime(want), time.ctime(got)))
    return problems


def attributes(info):
    """The Windows attributes extraction gives an entry, by the rules of the reader's
    documentation, worked out here independently; None when the system has no conversion."""
    system, ext = info.create_system, info.external_attr
    is_folder_name = info.filename.endswith(("/", "\\"))
    if system in (0, 6, 7, 11, 15, 20):
        value = ext & 0xFFFF
    elif system == 3:
        value = ext >> 16
    else:
        value = 0x10 if is_folder_name else 0x20
    if system in (7, 20):
        value &= 0x11
    elif system == 3:
        mode = value
        value = 0x10 if mode & 0x4000 else (0 if mode & 0x40 else 0x20)
        value |= 0 if mode & 0x80 else 0x01
        value |= 0 if mode & 0x24 else 0x02
    elif 1 <= system <= 20 and system not in (6, 11, 15):
        return None
    if info.compress_size == 0 and is_folder_name:
        value |= 0x10
    return value


def decoded_name(info):
    """The name as the reader decodes it: a Unicode path field whose CRC matches the raw
    name, else by flag 11 and the made-by system (the machine's code pages are 949)."""
    raw = info.filename.encode("utf-8" if info.flag_bits & 0x800 else "cp437")
    name = None
    extra = info.extra
    while len(extra) >= 4:
        field_id = int.from_bytes(extra[0:2], "little")
        size = int.from_bytes(extra[2:4], "little")
        data = extra[4:4 + size]
        if field_id == 0x7075 and len(data) > 5 and data[0] == 1 and \
                int.from_bytes(data[1:5], "little") == zlib.crc32(raw):
            name = data[5:].decode("utf-8", errors="replace")
        extra = extra[4 + size:]
    if name is None and info.flag_bits & 0x800:
        name = raw.decode("utf-8", errors="replace")
    elif name is None and info.create_system in (3, 7, 20):
        # Unix-like tools mostly write UTF-8 unflagged; names that are not UTF-8 (bsdtar's
        # hdrcharset) are read in the ANSI code page.
        try:
            name = raw.decode("utf-8")
        except UnicodeDecodeError:
            name = raw.decode("cp949", errors="replace")
    elif name is None:
        name = raw.decode("cp949", errors="replace")
    return "".join("?" if ord(c) < 0x20 else c for c in name).replace("/", "\\")


def expected_listing(path):
    """What `mivo-zip list` must print for a one-file archive, from python's zipfile."""
    infos = sorted((info for info, _ in entries(path)), key=lambda i: i.header_offset)
    lines = []
    for index, info in enumerate(infos):
        attr = attributes(info)
        lines.append("%d\t%s\t%d\t%d\t%d\t%08x\t%04d-%02d-%02d %02d:%02d:%02d\t%s" % (
            (index, decoded_name(info), info.compress_size, info.file_size, info.compress_type,
             info.CRC) + info.date_time + ("none" if attr is None else "0x%X" % attr,)))
    return lines


def compare_listing(tool, path):
    result = subprocess.run([tool, "list", path], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    if result.returncode != 0:
        return ["mivo-zip list exited %d: %s" % (result.returncode,
                                                 result.stderr.decode(errors="replace"))]
    got = result.stdout.decode(errors="replace").splitlines()
    want = expected_listing(path)
    problems = ["list line %d: %r, expected %r" % (i, g, w)
                for i, (g, w) in enumerate(zip(got, want)) if g != w]
    if len(got) != len(want):
        problems.append("list has %d lines, expected %d" % (len(got), len(want)))
    return problems


def run_case(tool, case, keep=False):
    name, names, make, check, reference, zone = case
    os.environ["TZ"] = zone
    time.tzset()
    work = tempfile.mkdtemp(prefix="mivo-interop-")
    try:
        src = os.path.join(work, "src")
        os.makedirs(src)
        if names == "many":
            make_tree(src, "ascii", many=3000)
        else:
            make_tree(src, names)
        archives = os.path.join(work, "archive")
        os.makedirs(archives)
        mivo_path, reference_path = make(src, archives)
        shown = check(mivo_path)
        if shown:
            return ["the case tests nothing: " + shown]
        ref_out = os.path.join(work, "reference")
        reference(reference_path, ref_out)
        mivo_out = os.path.join(work, "mivo")
        os.makedirs(mivo_out)
        result = subprocess.run([tool, "extract", mivo_path, mivo_out],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        problems = []
        if result.returncode != 0:
            problems.append("mivo-zip extract exited %d: %s" % (
                result.returncode, result.stderr.decode(errors="replace").strip()))
        ref_tree = snapshot(ref_out)
        if name != "infozip-stdin":
            # The reference must give back the source tree, or the case tests nothing.
            problems += ["reference extractor: " + p for p in compare(snapshot(src), ref_tree)]
        elif set(ref_tree) != {b"-"}:
            problems.append("reference extractor: expected the one entry \"-\"")
        problems += compare(ref_tree, snapshot(mivo_out))
        if name not in SPLIT_CASES:  # python's zipfile reads one-file archives only
            problems += compare_listing(tool, mivo_path)
        # `test` reads the same archive without writing and must agree that it is sound.
        tested = subprocess.run([tool, "test", mivo_path],
                                stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        if tested.returncode != 0:
            problems.append("mivo-zip test exited %d: %s" % (
                tested.returncode, tested.stderr.decode(errors="replace").strip()))
        return problems
    finally:
        if keep:
            print("kept", work)
        else:
            shutil.rmtree(work, ignore_errors=True)


def write_seeds(folder):
    """The archives of every case small enough to seed a fuzzer (at most 64 KiB)."""
    os.makedirs(folder, exist_ok=True)
    work = tempfile.mkdtemp(prefix="mivo-seeds-")
    try:
        src = os.path.join(work, "src")
        os.makedirs(src)
        write(os.path.join(src, "a.txt"), b"exam data " * 300, local_time(2024, 3, 1, 8, 0, 0))
        write(os.path.join(src, "sub", "b.bin"), random.Random(1).randbytes(700),
              local_time(2023, 8, 1, 8, 0, 0))
        write(os.path.join(src, "한글.txt"), "세무\n".encode(), local_time(2023, 8, 1, 8, 0, 2))
        for name, _, make, _, _, _ in CASES:
            if name in ("7z-volumes", "infozip-split"):
                continue  # several files; the fuzzer feeds one
            out = os.path.join(work, name)
            os.makedirs(out)
            archive, _ = make(src, out)
            if os.path.getsize(archive) <= 65536:
                shutil.copy(archive, os.path.join(folder, name + ".zip"))
    finally:
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--tool")
    parser.add_argument("--case")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--seeds")
    parser.add_argument("--keep", action="store_true", help="keep the work folder")
    options = parser.parse_args()
    os.environ["TZ"] = DST
    time.tzset()
    os.environ["LC_ALL"] = "C.UTF-8"
    if options.list:
        print("\n".join(c[0] for c in CASES))
        return 0
    if options.seeds:
        write_seeds(options.seeds)
        return 0
    case = next((c for c in CASES if c[0] == options.case), None)
    if case is None or not options.tool:
        parser.error("give --tool and one of the cases of --list")
    problems = run_case(os.path.abspath(options.tool), case, options.keep)
    for line in problems[:40]:
        print(line)
    if len(problems) > 40:
        print("... and %d more" % (len(problems) - 40))
    print("%s: %s" % (case[0], "FAILED" if problems else "passed"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
