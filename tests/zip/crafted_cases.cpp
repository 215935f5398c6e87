// The crafted archives, one line each: a sound archive changed in one place, and what the
// reader must answer. Codes: 201 damaged, 202 CRC, 203 spanned, 213 password, 217 not
// removable, 219 no attribute conversion, 220 no end record, 221 bad Zip64 record,
// 224 destination outside the folder, 5xx zlib, 6xx bzip2, below 200 errno.
#include "crafted_cases.h"

#include "zip_builder.h"

#include <filesystem>
#include <fstream>

namespace ziptest {
namespace {

const std::string kText = [] {
    std::string text;
    for (int i = 0; i < 4000; ++i) {
        text += "계정과목 " + std::to_string(i) + " exam data line\n";
    }
    return text;
}();
const std::string kShort = "short file\n";
// A 64-bit offset that wraps when anything is added to it.
constexpr uint64_t kWrapping = 0xFFFFFFFFFFFFFFF0ull;
const std::string kHangulCp949 = "\xC7\xD1\xB1\xDB.txt";  // "한글.txt" in code page 949
const std::string kHangulUtf8 = "\xED\x95\x9C\xEA\xB8\x80.txt";
const std::string kLongName = [] {
    std::string name;
    for (int i = 0; i < 6; ++i) {
        name += std::string(50, static_cast<char>('a' + i)) + "/";
    }
    return name + "long.txt";
}();

CraftedFiles Only(const std::string& archive) {
    return CraftedFiles{archive, {}};
}

// A sound archive of one deflated text entry, changed by `change` before it is laid out.
template <typename Change>
std::function<CraftedFiles()> OneEntry(Change change, uint16_t method = 8,
                                       const std::string& name = "a.txt",
                                       const std::string& data = kText) {
    return [=] {
        ZipBuilder zip;
        change(zip, zip.Add(name, data, method));
        return Only(zip.Build());
    };
}

auto Unchanged = [](ZipBuilder&, Entry&) {};

// Sets the central and local CRC, so that only the data disagrees.
void SetBothCrc(Entry& e, uint32_t crc) {
    e.crc = crc;
    e.local.crc = crc;
}

// Sets the central and local compressed size.
void SetBothCompressed(Entry& e, uint64_t size) {
    e.compressedSize = size;
    e.local.compressedSize = static_cast<uint32_t>(size);
}

// A data-descriptor entry: flag bit 3, zero CRC and sizes locally, the values after the data.
void UseDescriptor(Entry& e, uint32_t descriptorCrc) {
    e.flags |= 0x8;
    e.local.flags |= 0x8;
    e.local.crc = 0;
    e.local.compressedSize = 0;
    e.local.uncompressedSize = 0;
    e.trailer = Descriptor(descriptorCrc, e.compressedSize, e.uncompressedSize, false);
}

// Two volumes: the entries' data on disk 0 (a.z01), the central directory on disk 1 (a.zip).
CraftedFiles TwoVolumes() {
    ZipBuilder zip;
    zip.Add("a.txt", kText);
    zip.Add("b.txt", kShort, 0);
    zip.end.thisDisk = 1;
    zip.end.cdDisk = 1;
    zip.end.cdOffset = 0;
    uint64_t cdOffset = 0;
    const std::string whole = zip.Build(&cdOffset);
    return CraftedFiles{whole.substr(cdOffset), {{"a.z01", whole.substr(0, cdOffset)}}};
}

// A binary split archive: one archive cut into a.001 and a.002 (the reader is given the last
// part, whose extension counts the parts). `change` may alter the entries first.
template <typename Change>
std::function<CraftedFiles()> BinarySplit(Change change) {
    return [=] {
        ZipBuilder zip;
        zip.Add("a.txt", kText);
        zip.Add("b.txt", kShort, 0);
        change(zip);
        const std::string whole = zip.Build();
        const size_t cut = whole.size() / 2;
        return CraftedFiles{whole.substr(cut), {{"a.001", whole.substr(0, cut)}}};
    };
}

// A sound archive of three entries whose central directory is in another order.
CraftedFiles ShuffledDirectory() {
    ZipBuilder zip;
    zip.Add("first.txt", kShort, 0);
    zip.Add("second.txt", kText, 8);
    zip.Add("third.txt", kText, 12);
    zip.centralOrder = {2, 0, 1};
    return Only(zip.Build());
}

// A name at the end of a sound entry, for the destination-path cases.
std::function<CraftedFiles()> Named(const std::string& name) {
    return OneEntry(Unchanged, 0, name, kShort);
}

// An end record hidden in the archive comment, pointing nowhere sensible. The real end
// record's comment reaches exactly to the end of the file, so the hidden one is comment text
// and the archive reads as it is; a reader taking the hidden record fails with 201.
CraftedFiles HiddenEndRecord() {
    ZipBuilder zip;
    zip.Add("a.txt", kShort, 0);
    std::string fake("PK\x05\x06", 4);
    Put16(fake, 0);
    Put16(fake, 0);
    Put16(fake, 3);
    Put16(fake, 3);
    Put32(fake, 46 * 3);
    Put32(fake, 0x7FFFFFF0u);
    Put16(fake, 0);
    zip.end.comment = "comment: " + fake;
    return Only(zip.Build());
}

// A prefix holding a copy of the entry, and a Zip64 offset that lands on it only when
// offset + prefix length wraps around 2^64.
CraftedFiles OffsetWrappingIntoPrefix() {
    ZipBuilder inner;
    inner.Add("a.txt", kShort, 0);
    const std::string copy = inner.Build();
    ZipBuilder zip;
    zip.prefix = std::string(50, 'S') + copy + std::string(50, 'S');
    Entry& e = zip.Add("a.txt", kShort, 0);
    e.zip64 = true;
    e.offsetOverride = 0ull - zip.prefix.size() + 50;
    return Only(zip.Build());
}

// A Zip64 directory offset that wraps: offset + size is small, and the offset read as a
// signed number counts back from the end of the file into the comment, where a copy of
// the central directory waits.
CraftedFiles DirectoryOffsetWrapping() {
    ZipBuilder zip;
    zip.Add("a.txt", kShort, 0);
    uint64_t cdOffset = 0;
    const std::string plain = zip.Build(&cdOffset);
    const std::string directory = plain.substr(cdOffset, plain.size() - 22 - cdOffset);
    zip.end.zip64 = true;
    zip.end.comment = directory;
    zip.end.zip64CdOffset = 0ull - directory.size();
    zip.end.zip64CdSize = directory.size();
    return Only(zip.Build());
}

void WriteReadOnlyFile(const std::string& machine, const std::string& relative) {
    const std::filesystem::path path = std::filesystem::path(machine) / "drive_c" / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path) << "old contents\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_read |
                                           std::filesystem::perms::group_read |
                                           std::filesystem::perms::others_read);
}

}  // namespace

std::vector<CraftedCase> CraftedCases() {
    return {
        // Sound archives and the edge cases of the format that must work.
        {"sound-stored-deflate-bzip2-folder",
         [] {
             ZipBuilder zip;
             zip.Add("stored.txt", kShort, 0);
             zip.Add("sub/deflated.txt", kText, 8);
             zip.Add("sub/dir/bzip2.txt", kText, 12);
             zip.AddFolder("empty/");
             return Only(zip.Build());
         },
         "done 4",
         {},
         {"stored.txt=" + kShort, "sub/deflated.txt=" + kText, "sub/dir/bzip2.txt=" + kText,
          "empty/"}},
        {"empty-archive", [] { return Only(ZipBuilder().Build()); }, "done 0"},
        {"zero-length-file", OneEntry(Unchanged, 0, "zero.dat", ""), "done 1", {}, {"zero.dat="}},
        {"prefix-200-bytes",
         [] {
             ZipBuilder zip;
             zip.prefix = std::string(200, 'S');
             zip.Add("a.txt", kText);
             zip.Add("b.txt", kShort, 0);
             return Only(zip.Build());
         },
         "done 2",
         {},
         {"a.txt=" + kText, "b.txt=" + kShort}},
        {"indices-follow-file-order",
         ShuffledDirectory,
         "done 3",
         {},
         {},
         {"first.txt", "second.txt", "third.txt"}},
        {"comment-65535-bytes",
         [] {
             ZipBuilder zip;
             zip.Add("a.txt", kShort, 0);
             zip.end.comment = std::string(65535, 'c');
             return Only(zip.Build());
         },
         "done 1",
         {},
         {"a.txt=" + kShort}},
        {"oem-name-system-0",
         OneEntry(Unchanged, 0, kHangulCp949, kShort),
         "done 1",
         {},
         {kHangulUtf8 + "=" + kShort}},
        {"utf8-name-flag-11",
         OneEntry([](ZipBuilder&, Entry& e) { e.flags = e.local.flags = 0x800; }, 0, kHangulUtf8,
                  kShort),
         "done 1",
         {},
         {kHangulUtf8 + "=" + kShort}},
        {"utf8-name-system-3",
         OneEntry([](ZipBuilder&, Entry& e) { e.system = 3, e.externalAttr = 0100644u << 16; }, 0,
                  kHangulUtf8, kShort),
         "done 1",
         {},
         {kHangulUtf8 + "=" + kShort}},
        // A Unix tool's name that is not UTF-8 (bsdtar's hdrcharset) is read in the ANSI
        // code page rather than turned into replacement characters.
        {"cp949-name-system-3",
         OneEntry([](ZipBuilder&, Entry& e) { e.system = 3, e.externalAttr = 0100644u << 16; }, 0,
                  kHangulCp949, kShort),
         "done 1",
         {},
         {kHangulUtf8 + "=" + kShort}},
        {"unicode-path-field",
         OneEntry(
             [](ZipBuilder&, Entry& e) {
                 std::string field("\x01", 1);
                 Put32(field, Crc32(e.name));
                 e.centralExtra = ExtraField(0x7075, field + kHangulUtf8);
             },
             0, "x.txt", kShort),
         "done 1",
         {},
         {kHangulUtf8 + "=" + kShort, "!x.txt"}},
        {"unicode-path-field-wrong-crc",
         OneEntry(
             [](ZipBuilder&, Entry& e) {
                 std::string field("\x01", 1);
                 Put32(field, Crc32(e.name) ^ 1);
                 e.centralExtra = ExtraField(0x7075, field + kHangulUtf8);
             },
             0, "x.txt", kShort),
         "done 1",
         {},
         {"x.txt=" + kShort, "!" + kHangulUtf8}},
        {"unix-folder-by-mode",
         OneEntry([](ZipBuilder&, Entry& e) { e.system = 3, e.externalAttr = 040755u << 16; }, 0,
                  "unixdir/", ""),
         "done 1",
         {},
         {"unixdir/"}},
        {"descriptor-entry",
         OneEntry([](ZipBuilder&, Entry& e) { UseDescriptor(e, e.crc); }),
         "done 1",
         {},
         {"a.txt=" + kText}},
        // Destinations of 260 characters and more need the long-path prefix on Windows.
        {"long-path-over-260-characters",
         OneEntry(Unchanged, 0, kLongName, kShort),
         "done 1",
         {},
         {kLongName + "=" + kShort}},
        {"zip64-entry-and-end-record",
         [] {
             ZipBuilder zip;
             zip.Add("a.txt", kText).zip64 = true;
             zip.Add("b.txt", kShort, 0);
             zip.end.zip64 = true;
             return Only(zip.Build());
         },
         "done 2",
         {},
         {"a.txt=" + kText, "b.txt=" + kShort}},
        {"unsupported-method-lzma",
         OneEntry([](ZipBuilder&, Entry& e) { e.method = e.local.method = 14; }),
         "false 0",
         {},
         {"!a.txt"}},
        {"read-only-mode-3",
         OneEntry(Unchanged),
         "done 1",
         {},
         {"a.txt=" + kText},
         {},
         "C:\\pkg\\a.zip",
         3},

        // Each code the reading road can raise.
        {"220-no-end-record-in-garbage", [] { return Only(std::string(5000, 'x')); }, "open 220"},
        {"220-end-record-beyond-the-search-window",
         [] {
             ZipBuilder zip;
             zip.Add("a.txt", kShort, 0);
             return Only(zip.Build() + std::string(65536, '\0'));
         },
         "open 220"},
        {"220-file-shorter-than-a-signature", [] { return Only("PK\x05"); }, "open 220"},
        {"221-zip64-record-signature",
         [] {
             ZipBuilder zip;
             zip.Add("a.txt", kShort, 0);
             zip.end.zip64 = true;
             zip.end.zip64Signature = "PK\x06\x05";
             return Only(zip.Build());
         },
         "open 221"},
        {"201-central-header-signature",
         [] {
             ZipBuilder zip;
             zip.Add("a.txt", kShort, 0);
             uint64_t cd = 0;
             std::string bytes = zip.Build(&cd);
             bytes[cd + 3] = '\x03';
             return Only(bytes);
         },
         "open 201"},
        {"201-local-header-signature",
         [] {
             ZipBuilder zip;
             zip.Add("a.txt", kShort, 0);
             std::string bytes = zip.Build();
             bytes[2] = '\x07';
             return Only(bytes);
         },
         "entry 0 201",
         {},
         {"!a.txt"}},
        {"201-entries-with-zero-directory-size",
         [] {
             ZipBuilder zip;
             zip.Add("a.txt", kShort, 0);
             zip.end.cdSize = 0;
             return Only(zip.Build());
         },
         "open 201"},
        {"201-no-entries-with-directory-size",
         [] {
             ZipBuilder zip;
             zip.Add("a.txt", kShort, 0);
             zip.end.volumeEntries = 0;
             zip.end.totalEntries = 0;
             return Only(zip.Build());
         },
         "open 201"},
        {"201-directory-beyond-end-record",
         [] {
             ZipBuilder zip;
             zip.Add("a.txt", kShort, 0);
             zip.end.cdOffset = 4000;
             return Only(zip.Build());
         },
         "open 201"},
        // The end record counts two of the three entries the directory holds: reading
        // only those would lose the third file while reporting the archive sound.
        {"201-end-record-counts-fewer-entries",
         [] {
             ZipBuilder zip;
             zip.Add("a.txt", kShort, 0);
             zip.Add("b.txt", kShort, 0);
             zip.Add("c.txt", kShort, 0);
             zip.end.volumeEntries = 2;
             zip.end.totalEntries = 2;
             return Only(zip.Build());
         },
         "open 201",
         {},
         {"!a.txt", "!c.txt"}},
        // A deflate stream that goes on past the declared size, the header's CRC being the
        // one of the declared prefix: the surplus is damage, not a file that ends early.
        {"201-deflate-runs-past-declared-size", OneEntry([](ZipBuilder&, Entry& e) {
             const std::string prefix = kText.substr(0, kText.size() / 2);
             e.uncompressedSize = e.local.uncompressedSize = prefix.size();
             SetBothCrc(e, Crc32(prefix));
         }),
         "entry 0 201"},
        {"201-stored-data-past-end-of-file",
         OneEntry(
             [](ZipBuilder&, Entry& e) {
                 SetBothCompressed(e, 100000);
                 e.uncompressedSize = e.local.uncompressedSize = 100000;
             },
             0, "a.txt", kShort),
         "fail 201"},
        // Stored data shorter than its uncompressed size: the entry ends early, which is
        // not an error but a false result.
        {"stored-data-shorter-than-its-size",
         OneEntry([](ZipBuilder&, Entry& e) { SetBothCompressed(e, e.compressedSize - 100); }, 0),
         "false 0"},
        {"202-crc-of-data",
         OneEntry([](ZipBuilder&, Entry& e) { SetBothCrc(e, e.crc ^ 1); }),
         "entry 0 202",
         {},
         {"a.txt=" + kText}},
        {"202-altered-stored-data-is-written-then-fails",
         OneEntry([](ZipBuilder&, Entry& e) { e.payload[3] ^= 0x20; }, 0, "a.txt", kShort),
         "entry 0 202",
         {},
         {"a.txt=shoRt file\n"}},
        {"203-split-archive-on-removable-drive",
         TwoVolumes,
         "open 203",
         {},
         {},
         {},
         "E:\\pkg\\a.zip"},
        {"binary-split-archive",
         BinarySplit([](ZipBuilder&) {}),
         "done 2",
         {},
         {"a.txt=" + kText, "b.txt=" + kShort},
         {},
         "C:\\pkg\\a.002"},
        // An offset beyond the parts is a hostile value, refused as damage (201) before any
        // seek could fall outside the parts (200).
        {"201-binary-split-offset-beyond-the-parts",
         BinarySplit([](ZipBuilder& zip) { zip.At(1).offsetOverride = 1u << 30; }),
         "fail 201",
         {},
         {"!b.txt"},
         {},
         "C:\\pkg\\a.002"},
        {"2-split-archive-missing-volume",
         [] {
             CraftedFiles files = TwoVolumes();
             files.beside.clear();
             return files;
         },
         "entry 0 2"},
        {"213-encrypted-entry-without-password",
         OneEntry([](ZipBuilder&, Entry& e) { e.flags = e.local.flags = 0x1; }),
         "entry 0 213",
         {},
         {"!a.txt"}},
        {"217-folder-in-the-way",
         [] {
             ZipBuilder zip;
             zip.AddFolder("x/");
             zip.Add("x", kShort, 0);
             return Only(zip.Build());
         },
         "entry 1 217"},
        {"217-read-only-file-in-the-way",
         OneEntry(Unchanged),
         "entry 0 217",
         {},
         {"a.txt=old contents\n"},
         {},
         "C:\\pkg\\a.zip",
         1,
         [](const std::string& machine) { WriteReadOnlyFile(machine, "out/a.txt"); }},
        {"219-no-attributes-for-amiga",
         OneEntry([](ZipBuilder&, Entry& e) { e.system = 1; }),
         "entry 0 219",
         {},
         {"!a.txt"}},
        {"504-corrupt-deflate-data",
         OneEntry([](ZipBuilder&, Entry& e) { e.payload = std::string(e.payload.size(), '\xFF'); }),
         "entry 0 504"},
        {"604-bzip2-without-magic", OneEntry([](ZipBuilder&, Entry& e) { e.payload[0] = 'X'; }, 12),
         "entry 0 604"},
        {"603-corrupt-bzip2-block",
         OneEntry(
             [](ZipBuilder&, Entry& e) {
                 for (size_t i = 20; i < e.payload.size() - 20; i += 7) {
                     e.payload[i] = static_cast<char>(~e.payload[i]);
                 }
             },
             12),
         "entry 0 603"},
        {"2-archive-missing",
         [] { return Only(""); },
         "open 2",
         {},
         {},
         {},
         "C:\\pkg\\missing.zip"},
        {"13-read-only-archive-in-mode-1",
         OneEntry(Unchanged),
         "open 13",
         {},
         {},
         {},
         "C:\\pkg\\ro.zip",
         1,
         [](const std::string& machine) { WriteReadOnlyFile(machine, "pkg/ro.zip"); }},
        {"2-output-parent-is-a-file",
         [] {
             ZipBuilder zip;
             zip.Add("f", kShort, 0);
             zip.Add("f/g.txt", kShort, 0);
             return Only(zip.Build());
         },
         "entry 1 2",
         {},
         {"f=" + kShort}},

        // Each bit of the ignored-checks mask: the check fails, then the same archive with
        // the bit set extracts.
        {"mask-001-crc-checked", OneEntry([](ZipBuilder&, Entry& e) { SetBothCrc(e, 7); }),
         "entry 0 202", 0x300},
        {"mask-001-crc-ignored",
         OneEntry([](ZipBuilder&, Entry& e) { SetBothCrc(e, 7); }),
         "done 1",
         0x301,
         {"a.txt=" + kText}},
        {"mask-002-method-checked", OneEntry([](ZipBuilder&, Entry& e) { e.local.method = 0; }),
         "entry 0 201", 0x300},
        {"mask-002-method-ignored",
         OneEntry([](ZipBuilder&, Entry& e) { e.local.method = 0; }),
         "done 1",
         0x302,
         {"a.txt=" + kText}},
        {"mask-004-sizes-checked",
         OneEntry([](ZipBuilder&, Entry& e) { e.local.uncompressedSize += 1; }), "entry 0 201",
         0x300},
        {"mask-004-sizes-ignored",
         OneEntry([](ZipBuilder&, Entry& e) { e.local.uncompressedSize += 1; }),
         "done 1",
         0x304,
         {"a.txt=" + kText}},
        {"mask-008-local-crc-checked",
         OneEntry([](ZipBuilder&, Entry& e) { e.local.crc ^= 0x100; }), "entry 0 201", 0x300},
        {"mask-008-local-crc-ignored",
         OneEntry([](ZipBuilder&, Entry& e) { e.local.crc ^= 0x100; }),
         "done 1",
         0x308,
         {"a.txt=" + kText}},
        {"mask-010-flags-checked", OneEntry([](ZipBuilder&, Entry& e) { e.local.flags = 0x2; }),
         "entry 0 201", 0x300},
        {"mask-010-flags-ignored",
         OneEntry([](ZipBuilder&, Entry& e) { e.local.flags = 0x2; }),
         "done 1",
         0x310,
         {"a.txt=" + kText}},
        {"mask-100-descriptor-checked",
         OneEntry([](ZipBuilder&, Entry& e) { UseDescriptor(e, e.crc ^ 1); }), "entry 0 201",
         0x200},
        {"mask-100-sound-descriptor-checked",
         OneEntry([](ZipBuilder&, Entry& e) { UseDescriptor(e, e.crc); }),
         "done 1",
         0x200,
         {"a.txt=" + kText}},
        {"mask-100-descriptor-ignored-by-default",
         OneEntry([](ZipBuilder&, Entry& e) { UseDescriptor(e, e.crc ^ 1); }),
         "done 1",
         std::nullopt,
         {"a.txt=" + kText}},
        // Bit 0x200 is part of the mask every open starts with, so the volume-entries check
        // never runs while the end record is read.
        {"mask-200-volume-entries-ignored-by-default",
         [] {
             ZipBuilder zip;
             zip.Add("a.txt", kShort, 0);
             zip.end.volumeEntries = 2;
             return Only(zip.Build());
         },
         "done 1",
         std::nullopt,
         {"a.txt=" + kShort}},

        // Hostile archives: never a crash, never a huge allocation, never a file outside.
        {"hostile-two-entries-at-one-offset",
         [] {
             ZipBuilder zip;
             zip.Add("a.txt", kShort, 0);
             zip.Add("b.txt", kShort, 0).offsetOverride = 0;
             return Only(zip.Build());
         },
         "open 201"},
        // The first entry's data reaches over the second one's local header (the trick of
        // the overlapping zip bomb): one of them is damaged.
        {"hostile-entries-overlap",
         [] {
             ZipBuilder zip;
             Entry& first = zip.Add("a.txt", kShort, 0);
             SetBothCompressed(first, kShort.size() + 40);
             first.uncompressedSize = first.local.uncompressedSize = kShort.size() + 40;
             zip.Add("b.txt", kText, 0);
             return Only(zip.Build());
         },
         "fail 201",
         {},
         {"!a.txt", "!b.txt"}},
        {"hostile-entry-count-beyond-file",
         [] {
             ZipBuilder zip;
             zip.Add("a.txt", kShort, 0);
             zip.end.volumeEntries = 65000;
             zip.end.totalEntries = 65000;
             return Only(zip.Build());
         },
         "open 201"},
        {"hostile-zip64-entry-count-huge",
         [] {
             ZipBuilder zip;
             zip.Add("a.txt", kShort, 0);
             zip.end.zip64 = true;
             zip.end.zip64Entries = 1ull << 60;
             return Only(zip.Build());
         },
         "open 201"},
        {"hostile-truncated-zip64-field", OneEntry([](ZipBuilder&, Entry& e) {
             e.compressedSize = e.uncompressedSize = 0xFFFFFFFFu;
             e.centralExtra = ExtraField(0x0001, std::string(8, '\0'));
         }),
         "open 201"},
        {"hostile-extra-field-overruns", OneEntry([](ZipBuilder&, Entry& e) {
             e.centralExtra = ExtraField(0x5455, "abcd");
             e.centralExtra[2] = 100;
         }),
         "open 201"},
        {"hostile-local-zip64-field-short", OneEntry([](ZipBuilder&, Entry& e) {
             e.local.compressedSize = e.local.uncompressedSize = 0xFFFFFFFFu;
             e.local.extra = ExtraField(0x0001, std::string(8, '\0'));
         }),
         "entry 0 201", 0x30C},
        {"hostile-local-offset-wraps", OneEntry([](ZipBuilder&, Entry& e) {
             e.zip64 = true;
             e.offsetOverride = kWrapping;
         }),
         "fail 201"},
        {"hostile-local-offset-wraps-into-prefix",
         OffsetWrappingIntoPrefix,
         "fail 201",
         {},
         {"!a.txt"}},
        {"hostile-directory-offset-wraps", DirectoryOffsetWrapping, "open 201"},
        {"hostile-compressed-size-huge", OneEntry([](ZipBuilder&, Entry& e) {
             e.zip64 = true;
             e.compressedSize = 1ull << 62;
         }),
         "fail 201"},
        {"hostile-end-record-hidden-in-comment",
         HiddenEndRecord,
         "done 1",
         {},
         {"a.txt=" + kShort}},
        // Deeper than any Windows path (32,767 units): refused before a folder is made.
        {"hostile-name-beyond-the-longest-windows-path",
         Named([] {
             std::string name;
             for (int i = 0; i < 16400; ++i) {
                 name += "a/";
             }
             return name + "b.txt";
         }()),
         "entry 0 38",
         {},
         {"!a/"}},
        {"hostile-dotdot", Named("../evil.txt"), "entry 0 224", {}, {"!evil.txt"}},
        {"hostile-dotdot-backslash", Named("..\\..\\evil.txt"), "entry 0 224"},
        {"hostile-dotdot-with-trailing-space", Named(".. /evil.txt"), "entry 0 224"},
        {"hostile-dotdot-deep", Named("a/b/../../../evil.txt"), "entry 0 224", {}, {"!a/"}},
        {"hostile-dotdot-after-drive", Named("C:..\\evil.txt"), "entry 0 224"},
        {"hostile-dotdot-after-sound-entry",
         [] {
             ZipBuilder zip;
             zip.Add("good.txt", kShort, 0);
             zip.Add("../evil.txt", kShort, 0);
             return Only(zip.Build());
         },
         "entry 1 224",
         {},
         {"good.txt=" + kShort}},
        {"dotdot-that-stays-inside",
         Named("a/../inside.txt"),
         "done 1",
         {},
         {"inside.txt=" + kShort}},
        {"absolute-name-backslash", Named("\\evil.txt"), "done 1", {}, {"evil.txt=" + kShort}},
        {"absolute-name-slash", Named("/etc/evil.txt"), "done 1", {}, {"etc/evil.txt=" + kShort}},
        {"drive-letter-name", Named("D:\\abs\\b.txt"), "done 1", {}, {"abs/b.txt=" + kShort}},
        {"drive-relative-name", Named("D:b.txt"), "done 1", {}, {"b.txt=" + kShort}},
        {"long-path-prefix-name",
         Named("\\\\?\\D:\\abs\\c.txt"),
         "done 1",
         {},
         {"abs/c.txt=" + kShort}},
        {"unc-name",
         Named("\\\\server\\share\\u.txt"),
         "done 1",
         {},
         {"server/share/u.txt=" + kShort}},
    };
}

}  // namespace ziptest
