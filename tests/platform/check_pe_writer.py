#!/usr/bin/python3
"""Checks the PE files of mivo-write-pe with tools that know nothing of our code.

pefile (Debian's python3-pefile) parses headers, sections, the resource tree and the
version resource; binutils' objdump must accept the file as pei-x86-64 and list the same
headers; GNU windres (binutils-mingw-w64, when installed) decompiles the resources. Usage: check_pe_writer.py PATH-OF-mivo-write-pe
"""

import os
import re
import subprocess
import sys
import tempfile

import pefile

# name, writer arguments, expected file version, expected product version, rcdata bytes
CASES = [
    ("plain", [], None, None, None),
    ("version", ["--version", "3.8.5.2"], (3, 8, 5, 2), (3, 8, 5, 2), None),
    ("zero", ["--version", "0.0.0.0"], (0, 0, 0, 0), (0, 0, 0, 0), None),
    ("widest", ["--version", "65535.65535.65535.65535"], (65535,) * 4, (65535,) * 4, None),
    ("product", ["--version", "10.2.7.1", "--product", "2025.8.14.0"],
     (10, 2, 7, 1), (2025, 8, 14, 0), None),
    ("rcdata-only", ["--rcdata", "no version here"], None, None, b"no version here"),
    ("rcdata-and-version", ["--version", "4.0.0.9", "--rcdata", "x" * 37],
     (4, 0, 0, 9), (4, 0, 0, 9), b"x" * 37),
]

failures = []


def check(case, condition, what):
    if not condition:
        failures.append(f"{case}: {what}")


def ms_ls(v):
    return (v[0] << 16 | v[1], v[2] << 16 | v[3])


def check_pefile(case, path, file_version, product_version, rcdata):
    pe = pefile.PE(path)
    check(case, pe.FILE_HEADER.Machine == 0x8664, "machine is not AMD64")
    check(case, pe.OPTIONAL_HEADER.Magic == 0x20B, "not PE32+")
    check(case, pe.is_exe(), "not an executable image")
    check(case, pe.verify_checksum(), "checksum does not match")
    # pefile also guesses at truncation from the share of zero bytes; a tiny image padded
    # to the file alignment is mostly zeros by design, so that one guess is left out.
    warnings = [w for w in pe.get_warnings() if not w.startswith("Byte 0x00 makes up")]
    check(case, not warnings, f"pefile warnings: {warnings}")
    text = [s for s in pe.sections if s.Name.rstrip(b"\0") == b".text"]
    check(case, len(text) == 1, "no .text section")
    if text:
        entry = pe.OPTIONAL_HEADER.AddressOfEntryPoint
        check(case, text[0].contains_rva(entry), "entry point outside .text")
        check(case, pe.get_data(entry, 3) == b"\x31\xc0\xc3", "entry code is not xor eax,eax; ret")
    has_rsrc = file_version is not None or rcdata is not None
    check(case, hasattr(pe, "DIRECTORY_ENTRY_RESOURCE") == has_rsrc, "resource directory presence")
    types = []
    if hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        for entry in pe.DIRECTORY_ENTRY_RESOURCE.entries:
            types.append(entry.id)
            if entry.id == pefile.RESOURCE_TYPE["RT_RCDATA"]:
                leaf = entry.directory.entries[0].directory.entries[0].data.struct
                check(case, pe.get_data(leaf.OffsetToData, leaf.Size) == rcdata, "rcdata bytes")
    expected_types = ([10] if rcdata is not None else []) + ([16] if file_version is not None else [])
    check(case, types == expected_types, f"resource types {types}, expected {expected_types}")
    if file_version is None:
        check(case, not hasattr(pe, "VS_FIXEDFILEINFO"), "unexpected version resource")
        return
    check(case, hasattr(pe, "VS_FIXEDFILEINFO"), "no VS_FIXEDFILEINFO")
    if not hasattr(pe, "VS_FIXEDFILEINFO"):
        return
    fixed = pe.VS_FIXEDFILEINFO[0]
    check(case, fixed.Signature == 0xFEEF04BD, "fixed info signature")
    check(case, (fixed.FileVersionMS, fixed.FileVersionLS) == ms_ls(file_version),
          f"file version {fixed.FileVersionMS:#x}.{fixed.FileVersionLS:#x}")
    check(case, (fixed.ProductVersionMS, fixed.ProductVersionLS) == ms_ls(product_version),
          "product version")
    check(case, pe.VS_VERSIONINFO[0].Key == b"VS_VERSION_INFO", "root key")
    strings = {}
    translations = []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                check(case, table.LangID == b"040904B0", f"string table {table.LangID}")
                strings.update(table.entries)
        elif info.Key == b"VarFileInfo":
            for var in info.Var:
                translations.extend(var.entry.values())
    text_of = ".".join
    check(case, strings.get(b"FileVersion") == text_of(map(str, file_version)).encode(),
          f"FileVersion string {strings.get(b'FileVersion')}")
    check(case, strings.get(b"ProductVersion") == text_of(map(str, product_version)).encode(),
          f"ProductVersion string {strings.get(b'ProductVersion')}")
    check(case, translations == ["0x0409 0x04b0"], f"translation {translations}")


def check_objdump(case, path, file_version, rcdata):
    run = subprocess.run(["objdump", "-p", path], capture_output=True, text=True)
    check(case, run.returncode == 0, f"objdump failed: {run.stderr.strip()}")
    out = run.stdout
    check(case, "file format pei-x86-64" in out, "objdump does not see pei-x86-64")
    check(case, re.search(r"^Magic\s+020b\s+\(PE32\+\)", out, re.M) is not None, "objdump magic")
    check(case, re.search(r"^ImageBase\s+0000000140000000", out, re.M) is not None, "image base")
    has_rsrc = file_version is not None or rcdata is not None
    directory = re.search(r"^Entry 2 ([0-9a-f]+) ([0-9a-f]+) Resource Directory", out, re.M)
    check(case, directory is not None and (int(directory.group(2), 16) != 0) == has_rsrc,
          "objdump resource directory entry")
    check(case, run.stderr == "", f"objdump complains: {run.stderr.strip()}")
    # Type entries are the first level of the tree, indented by three spaces.
    types = [int(t, 16) for t in re.findall(r"^[0-9a-f]+   Entry: ID: 0x([0-9a-f]+), Value: 0x8",
                                            out, re.M)]
    expected = ([10] if rcdata is not None else []) + ([16] if file_version is not None else [])
    check(case, types == expected, f"objdump lists resource types {types}, expected {expected}")
    sizes = [int(s, 16) for s in re.findall(r"Leaf: Addr: 0x[0-9a-f]+, Size: 0x([0-9a-f]+)", out)]
    if rcdata is not None and sizes:
        check(case, sizes[0] == len(rcdata), f"objdump rcdata leaf size {sizes[0]}")


WINDRES = "/usr/bin/x86_64-w64-mingw32-windres"


def check_windres(case, path, file_version, product_version, rcdata):
    """GNU windres decompiles the resources back into a resource script."""
    run = subprocess.run([WINDRES, "-i", path, "-O", "rc"], capture_output=True, text=True)
    if file_version is None and rcdata is None:
        check(case, "no resource section" in run.stderr, "windres finds resources")
        return
    check(case, run.returncode == 0, f"windres failed: {run.stderr.strip()}")
    out = run.stdout
    if file_version is None:
        check(case, "VERSIONINFO" not in out, "windres finds a version resource")
        return
    def numbers(v):
        return ", ".join(map(str, v))

    # windres leaves out a version statement whose four parts are all zero.
    for key, version in (("FILEVERSION", file_version), ("PRODUCTVERSION", product_version)):
        statement = f"{key} {numbers(version)}" if any(version) else f"{key} "
        check(case, (statement in out) == any(version), f"windres {key}")
    text = ".".join(map(str, file_version))
    check(case, f'VALUE "FileVersion", "{text}"' in out, "windres FileVersion string")
    check(case, 'VALUE "Translation", 0x409, 1200' in out, "windres translation")


def main():
    writer = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="mivo-pe-") as folder:
        for name, args, file_version, product_version, rcdata in CASES:
            path = os.path.join(folder, name + ".exe")
            run = subprocess.run([writer, path] + args, capture_output=True, text=True)
            if run.returncode != 0:
                failures.append(f"{name}: writer failed: {run.stderr.strip()}")
                continue
            check_pefile(name, path, file_version, product_version, rcdata)
            check_objdump(name, path, file_version, rcdata)
            if os.access(WINDRES, os.X_OK):
                check_windres(name, path, file_version, product_version, rcdata)
        # The writer refuses what is not a version rather than writing a wrong one.
        for bad in ["1.2.3", "1.2.3.4.5", "65536.0.0.0", "1..2.3", "a.b.c.d"]:
            path = os.path.join(folder, "bad.exe")
            run = subprocess.run([writer, path, "--version", bad], capture_output=True)
            check(f"bad {bad}", run.returncode == 2 and not os.path.exists(path),
                  "accepted a malformed version")
    for failure in failures:
        print("FAIL", failure)
    print(f"{len(CASES)} files checked, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
