#!/usr/bin/env python3
"""Benchmark of a whole installation by the real installer. Prints figures; asserts nothing.

How to run (after a normal build in build/):

    bench/install/install_bench.py [--build build] [--work /tmp/mivo-install-bench]
                                   [--size-mb 300] [--files 5000] [--pairs 5] [--keep]

It makes a simulated machine (mivo-machine) whose package folder holds a realistic level-3
package of about --size-mb MB in about --files files (the exam tree of mivo-package plus
database-like pages, text and some incompressible binaries; deflated by Info-ZIP zip), and
installs it once to have an earlier installation of the same size. Each round then times:

  mivo      the installer over the earlier installation, answered by a user script (the
            reinstall question, the exam number and name): backup of the earlier data to
            C:\\Temp, its removal, the extraction, the stamping, and the rest of the run;
  baseline  `cp -a` of the same earlier tree to a backup folder, `rm -rf` of it and
            `bsdtar -xf` of the same package into its place.

The installer's fixed waits (the 300 ms pause after the extraction and the 10 ms before each
folder that RemoveTree removes) are measured apart, by a run under strace that sums the
installer's own sleeps, and are reported apart. The two run in turn, --pairs pairs, and the figures are the medians of the
pairs' ratios with their spread; the target is mivo without its fixed waits within 1.0 x
the baseline. The work folder is
removed at the end unless --keep is given; a package left there by --keep is reused. Needs
zip, bsdtar and strace; takes a few minutes and about 2 GB of disk at the default size.
"""

import argparse
import ctypes
import os
import random
import re
import resource
import shutil
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "common"))
from exam_data import database_file, text_file  # noqa: E402

PR_SET_CHILD_SUBREAPER = 36


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as out:
        out.write(data)


def add_bulk(folder, size_mb, files):
    """Exam data of about size_mb MB in about `files` files below `folder`: 53 % database
    pages (4 MB files), 13 % incompressible binaries (4 MB files), the rest text."""
    rng = random.Random(7)
    words = ["tax", "ledger", "계정과목", "차변", "대변", "answer", "question", "합계", "exam",
             "vat", "receipt", "2026", "세무", "회계", "journal", "balance"]
    lines_pool = [(" ".join(rng.choice(words) for _ in range(rng.randrange(4, 16))) +
                   " %d\n" % rng.randrange(10 ** 6)).encode() for _ in range(20000)]
    databases = max(1, size_mb * 40 // 300)
    binaries = max(1, size_mb * 10 // 300)
    texts = max(1, files - databases - binaries)
    for i in range(databases):
        write(os.path.join(folder, "Vemra", "0007", "Level%d" % (i % 4 + 1), "Exam%02d.DBS" % i),
              database_file(rng, 1024))
    for i in range(binaries):
        write(os.path.join(folder, "Bin", "module%02d.bin" % i), rng.randbytes(4 << 20))
    text_bytes = size_mb * 100 // 300 * 1000 * 1000
    average = max(1000, text_bytes // texts)
    for i in range(texts):
        write(os.path.join(folder, "Vemra", "Text", "Q%03d" % (i // 50), "item%04d.txt" % i),
              text_file(rng, lines_pool, rng.randrange(average // 10, average * 19 // 10)))


START = time.perf_counter()


def note(text):
    print("[%6.1f s] %s" % (time.perf_counter() - START, text), flush=True)


def run(command, **kwargs):
    return subprocess.run(command, check=True, **kwargs)


def children_cpu():
    usage = resource.getrusage(resource.RUSAGE_CHILDREN)
    return usage.ru_utime + usage.ru_stime


def timed(command, **kwargs):
    start = time.perf_counter()
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   **kwargs)
    return time.perf_counter() - start


def stop_standins(machine):
    """Ends the stand-ins the installer started and waits for them. They may still be on
    their way when the installer has ended, so the stop files stay until this process (their
    subreaper) has no child left."""
    run_folder = os.path.join(machine, "run")
    stops = [os.path.join(run_folder, "stop-" + role) for role in ("main-program", "db-server")]
    for stop in stops:
        open(stop, "w").close()
    for _ in range(1000):
        try:
            while os.waitpid(-1, os.WNOHANG)[0] != 0:
                pass
        except ChildProcessError:
            break
        time.sleep(0.01)
    else:
        sys.exit("a stand-in did not end at its stop file: see %s" % machine)
    for stop in stops:
        os.remove(stop)
    started = os.path.join(run_folder, "started.log")
    if os.path.exists(started):
        os.remove(started)


def set_script(machine, lines):
    with open(os.path.join(machine, "user-script.txt"), "w") as out:
        out.write("\n".join(lines) + "\n")
    pos = os.path.join(machine, "run", "script.pos")
    if os.path.exists(pos):
        os.remove(pos)


def tree_size(folder):
    files = folders = total = 0
    for root, dirs, names in os.walk(folder):
        folders += len(dirs)
        files += len(names)
        total += sum(os.path.getsize(os.path.join(root, n)) for n in names)
    return files, folders, total


def fixed_waits(installer):
    """Runs the installer under strace and sums the sleeps of its own process (it has one
    thread; the programs it starts are not followed): the fixed waits of one run, in
    seconds, and their number."""
    trace = subprocess.run(
        ["strace", "-qq", "-e", "trace=nanosleep,clock_nanosleep", "-o", "/dev/stderr",
         installer], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
        stderr=subprocess.PIPE, check=True).stderr.decode(errors="replace")
    total = 0.0
    count = 0
    for line in trace.splitlines():
        m = re.search(r"tv_sec=(\d+), tv_nsec=(\d+)", line)
        if m:
            total += int(m.group(1)) + int(m.group(2)) / 1e9
            count += 1
    return total, count


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--build", default="build")
    parser.add_argument("--work", default="/tmp/mivo-install-bench")
    parser.add_argument("--size-mb", type=int, default=300)
    parser.add_argument("--files", type=int, default=5000)
    parser.add_argument("--pairs", type=int, default=5)
    parser.add_argument("--keep", action="store_true")
    options = parser.parse_args()
    build = os.path.abspath(options.build)
    tools = {
        "mivo": os.path.join(build, "src", "app", "mivo"),
        "standin": os.path.join(build, "tools", "standin", "mivo-standin"),
        "machine": os.path.join(build, "tools", "machine", "mivo-machine"),
        "package": os.path.join(build, "tools", "package", "mivo-package"),
    }
    for program in tools.values():
        if not os.access(program, os.X_OK):
            sys.exit("missing %s: build first (cmake --build %s)" % (program, options.build))
    # The stand-ins outlive the installer; as their subreaper this process can wait for them.
    ctypes.CDLL(None, use_errno=True).prctl(PR_SET_CHILD_SUBREAPER, 1, 0, 0, 0)

    work = os.path.abspath(options.work)
    os.makedirs(work, exist_ok=True)
    archive = os.path.join(work, "VemraExamDB-%dMB.zip" % options.size_mb)
    if not os.path.exists(archive):
        note("making the package in %s ..." % work)
        source = os.path.join(work, "source")
        small = os.path.join(work, "small")
        shutil.rmtree(source, ignore_errors=True)
        shutil.rmtree(small, ignore_errors=True)
        run([tools["package"], small, "--levels", "3", "--no-database"])
        os.makedirs(source)
        run(["bsdtar", "-xf", os.path.join(small, "BaseData", "Level3", "VemraExamDB.zip"),
             "-C", source])
        add_bulk(source, options.size_mb, options.files)
        note("zipping ...")
        run(["zip", "-q", "-r", "-X", archive + ".part", "."], cwd=source)
        os.rename(archive + ".part", archive)
        shutil.rmtree(source)
        shutil.rmtree(small)

    machine = os.path.join(work, "machine")
    shutil.rmtree(machine, ignore_errors=True)
    script = os.path.join(work, "script.txt")
    open(script, "w").close()
    run([tools["machine"], machine, "--installer", tools["mivo"], "--standin", tools["standin"],
         "--script", script], stdout=subprocess.DEVNULL)
    package_folder = os.path.join(machine, "drive_d", "MivoPackage")
    run([tools["package"], package_folder, "--levels", "1234", "--no-database"])
    level3 = os.path.join(package_folder, "BaseData", "Level3", "VemraExamDB.zip")
    os.remove(level3)
    shutil.copyfile(archive, level3)
    installer = os.path.join(package_folder, "mivo")
    data = os.path.join(machine, "drive_c", "VemraExamDB")
    temp = os.path.join(machine, "drive_c", "Temp")
    first = ["type exam-number 21100001", "type name 최지민", "press install"]
    again = ["yes"] + first

    note("earlier installation ...")
    set_script(machine, first)
    run([installer], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
    stop_standins(machine)
    files, folders, total = tree_size(data)
    print("package: %s, %.0f MB packed; installed tree: %d files, %d folders, %.0f MB" % (
        archive, os.path.getsize(archive) / 1e6, files, folders, total / 1e6))
    if not os.path.exists(os.path.join(data, "Vemra", "LevelInfo.dat")):
        sys.exit("the earlier installation did not happen: see %s/run/screen.log" % machine)

    note("an installation under strace, for the fixed waits ...")
    set_script(machine, again)
    waits, sleeps = fixed_waits(installer)
    stop_standins(machine)
    shutil.rmtree(temp)

    baseline_backup = os.path.join(temp, "baseline_backup")
    # Pairs taken in turn (mivo, baseline, mivo, baseline, ...), so that the load of a shared
    # machine falls on both sides of a pair; the figures are the medians of the pairs' ratios.
    # Processor time (user and system, of the process and all it waited for) moves less with
    # the load than the wall-clock time does.
    pairs = []
    for round_number in range(options.pairs):
        with open(archive, "rb") as f:  # the package in the page cache for both
            while f.read(1 << 24):
                pass
        # The installer over the earlier installation.
        set_script(machine, again)
        run(["sync"])
        cpu_before = children_cpu()
        mivo_seconds = timed([installer], stdin=subprocess.DEVNULL)
        mivo_cpu = children_cpu() - cpu_before
        stop_standins(machine)
        screen = open(os.path.join(machine, "run", "screen.log")).read()
        closed = [line for line in screen.splitlines() if " closed " in line]
        if not closed or "result=IDOK" not in closed[-1]:
            sys.exit("the timed installation did not complete: see %s" % machine)
        shutil.rmtree(temp)
        # The baseline over the same tree.
        os.makedirs(temp)
        run(["sync"])
        cpu_before = children_cpu()
        start = time.perf_counter()
        run(["cp", "-a", data, baseline_backup])
        run(["rm", "-rf", data])
        os.makedirs(data)
        run(["bsdtar", "-xf", level3, "-C", data])
        baseline_seconds = time.perf_counter() - start
        baseline_cpu = children_cpu() - cpu_before
        shutil.rmtree(temp)
        pairs.append((mivo_seconds, baseline_seconds, mivo_cpu, baseline_cpu))
        note("pair %d: mivo %.2f s (%.2f s without the waits), baseline %.2f s; ratio %.2f" % (
            round_number + 1, mivo_seconds, mivo_seconds - waits, baseline_seconds,
            (mivo_seconds - waits) / baseline_seconds))

    def summary(ratios):
        ratios = sorted(ratios)
        return "%.2f x  (spread %.2f-%.2f over %d pairs)" % (
            statistics.median(ratios), ratios[0], ratios[-1], len(ratios))

    print("\nwhole installation over an earlier one of the same size, %d pairs in turn:" %
          options.pairs)
    print("  mivo (median)              %7.2f s" % statistics.median(p[0] for p in pairs))
    print("  of which fixed waits       %7.2f s  (%d sleeps of the installer)" % (waits, sleeps))
    print("  baseline cp+rm+bsdtar      %7.2f s" % statistics.median(p[1] for p in pairs))
    print("  ratio without the waits    " + summary((p[0] - waits) / p[1] for p in pairs) +
          "  target 1.00 or less")
    print("  ratio with the waits       " + summary(p[0] / p[1] for p in pairs))
    print("  processor time ratio       " + summary(p[2] / p[3] for p in pairs))

    stop_standins(machine)
    if not options.keep:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
