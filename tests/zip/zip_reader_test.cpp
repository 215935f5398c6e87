// The reader on a simulated machine: extraction rules, name decoding, the end-record
// search window, split-archive refusals, hostile counts, times and attributes.
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/crt_errno.h"
#include "platform/files.h"
#include "temp_machine.h"
#include "test_archive.h"
#include "zip/zip_reader.h"
#include "zip/zip_stream.h"
#include "zlib_only_reader.h"

#include <zlib.h>

namespace {

using ziptest::Entry;
using ziptest::Options;

// Runs `action` and returns the code of the CZipError it throws; -1 when it throws none.
template <typename Action>
int ErrorCode(Action action, std::string* path = nullptr) {
    try {
        action();
    } catch (const CZipError& error) {
        if (path != nullptr) {
            *path = error.Path();
        }
        return error.Code();
    }
    return -1;
}

class ZipReaderTest : public ::testing::Test {
protected:
    explicit ZipReaderTest(const std::string& drives = "", const std::string& extraIni = "")
        : m_machine(drives, extraIni) {}

    // Writes an archive at a Windows path of the machine.
    void Write(const std::string& windowsPath, const std::string& bytes) {
        m_machine.WriteHostFile(m_machine.Host(windowsPath), bytes);
    }
    std::string Read(const std::string& windowsPath) const {
        return testsupport::TempMachine::ReadHostFile(m_machine.Host(windowsPath));
    }
    bool Exists(const std::string& windowsPath) const {
        return std::filesystem::exists(m_machine.Host(windowsPath));
    }
    // Runs python3 with `script`, where ARCHIVE is the host path of `windowsPath`.
    void Python(const std::string& windowsPath, const std::string& script) {
        std::string host = m_machine.Host(windowsPath);
        std::filesystem::create_directories(std::filesystem::path(host).parent_path());
        std::string file = m_machine.Folder() + "/script.py";
        std::ofstream(file) << "import zipfile\nARCHIVE = " << '"' << host << '"' << "\n" << script;
        ASSERT_EQ(std::system(("python3 " + file).c_str()), 0) << script;
    }

    testsupport::TempMachine m_machine;
};

TEST_F(ZipReaderTest, ExtractsEntriesBelowTheFolderKeepingTheirRelativePaths) {
    Write("C:\\pkg\\a.zip", ziptest::Build({
                                {.name = "sub/dir/a.txt", .data = "alpha"},
                                {.name = "D:/abs/b.txt", .data = "beta"},
                                {.name = "dir/", .data = ""},
                                {.name = "empty.txt", .data = ""},
                            }));
    CZipReader reader;
    ASSERT_TRUE(reader.Open("C:\\pkg\\a.zip"));
    ASSERT_EQ(reader.GetEntryCount(), 4u);
    for (uint64_t i = 0; i < reader.GetEntryCount(); ++i) {
        SCOPED_TRACE(reader.GetEntryInfo(i)->GetFileName());
        EXPECT_TRUE(reader.ExtractEntry(i, "C:\\X"));
    }
    reader.Close();
    EXPECT_EQ(Read("C:\\X\\sub\\dir\\a.txt"), "alpha");
    EXPECT_EQ(Read("C:\\X\\abs\\b.txt"), "beta");
    EXPECT_TRUE(std::filesystem::is_directory(m_machine.Host("C:\\X\\dir")));
    EXPECT_TRUE(Exists("C:\\X\\empty.txt"));
    EXPECT_EQ(Read("C:\\X\\empty.txt"), "");
}

TEST_F(ZipReaderTest, IndicesFollowTheDataOrderAndInvalidIndicesGiveNothing) {
    Options options;
    options.reverseDirectory = true;
    Write("C:\\a.zip", ziptest::Build({{.name = "first", .data = "1"},
                                       {.name = "second", .data = "22"},
                                       {.name = "third", .data = "333"}},
                                      options));
    CZipReader reader;
    EXPECT_EQ(reader.GetEntryInfo(0), nullptr);  // not open
    ASSERT_TRUE(reader.Open("C:\\a.zip"));
    ASSERT_EQ(reader.GetEntryCount(), 3u);
    EXPECT_EQ(reader.GetEntryInfo(0)->GetFileName(), "first");
    EXPECT_EQ(reader.GetEntryInfo(2)->GetFileName(), "third");
    EXPECT_EQ(reader.GetEntryInfo(3), nullptr);
    EXPECT_EQ(reader.GetEntryInfo(CZipReader::kNoIndex), nullptr);
    EXPECT_FALSE(reader.ExtractEntry(3, "C:\\out"));
    // A second open leaves the open archive as it is.
    Write("C:\\b.zip", ziptest::Build({{.name = "other", .data = ""}}));
    EXPECT_FALSE(reader.Open("C:\\b.zip"));
    EXPECT_EQ(reader.GetEntryCount(), 3u);
    EXPECT_EQ(reader.Close(), "C:\\a.zip");
    EXPECT_EQ(reader.GetEntryCount(), 0u);
    EXPECT_EQ(reader.Close(), "");
}

class ZipNameTest : public ZipReaderTest {
protected:
    // ANSI and OEM code pages differ here, so the choice between them shows.
    ZipNameTest() : ZipReaderTest("", "[system]\nansi_codepage = 1252\noem_codepage = 949\n") {}
};

TEST_F(ZipNameTest, NamesDecodeBySystemAndFlags) {
    const std::string cp949 = "\xC7\xD1\xB1\xDB";  // 한글 in code page 949
    const std::string utf8 = "한글";
    struct Case {
        const char* what;
        Entry entry;
        std::string expected;
    };
    const Case cases[] = {
        {"MS-DOS: OEM code page", {.name = cp949 + ".txt", .system = 0}, utf8 + ".txt"},
        {"NTFS: OEM code page", {.name = cp949 + ".txt", .system = 11}, utf8 + ".txt"},
        {"other system: ANSI code page", {.name = cp949 + ".txt", .system = 10}, "ÇÑ±Û.txt"},
        {"Unix: UTF-8", {.name = utf8 + ".txt", .system = 3}, utf8 + ".txt"},
        {"Unix, bytes that are not UTF-8: ANSI code page",
         {.name = cp949 + ".txt", .system = 3},
         "ÇÑ±Û.txt"},
        {"flag bit 11 on bytes that are not UTF-8",
         {.name = cp949 + ".txt", .system = 0, .flags = 0x800},
         "\uFFFD\u0471\uFFFD.txt"},
        {"flag bit 11: UTF-8", {.name = utf8 + ".txt", .system = 0, .flags = 0x800}, utf8 + ".txt"},
        {"slashes", {.name = "d/e/f.txt", .system = 0}, "d\\e\\f.txt"},
        {"Unicode path field",
         {.name = "x.txt",
          .system = 0,
          .extra = ziptest::UnicodePathField("x.txt", "유니/코드.txt")},
         "유니\\코드.txt"},
        {"Unicode path field of another name",
         {.name = "x.txt", .system = 0, .extra = ziptest::UnicodePathField("y.txt", "유니.txt")},
         "x.txt"},
        {"NUL ends the name", {.name = std::string("ab\0cd", 5), .system = 0}, "ab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Entry entry = c.entry;
        entry.data = "data";
        Write("C:\\names.zip", ziptest::Build({entry}));
        CZipReader reader;
        ASSERT_TRUE(reader.Open("C:\\names.zip"));
        EXPECT_EQ(reader.GetEntryInfo(0)->GetFileName(), c.expected);
        reader.Close();
    }
}

TEST_F(ZipReaderTest, ExistingFilesAreReplacedUnlessTheyCannotBeDeleted) {
    Write("C:\\a.zip", ziptest::Build({{.name = "f.txt", .data = "new"}}));
    struct Case {
        const char* what;
        bool readOnly;
        bool folder;
        int code;  // -1: replaced
    };
    const Case cases[] = {
        {"plain file", false, false, -1},
        {"read-only file", true, false, CZipError::kNotRemoved},
        {"folder in the way", false, true, CZipError::kNotRemoved},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(m_machine.Host("C:\\out"));
        if (c.folder) {
            std::filesystem::create_directories(m_machine.Host("C:\\out\\f.txt"));
        } else {
            Write("C:\\out\\f.txt", "old contents");
        }
        if (c.readOnly) {
            ASSERT_TRUE(platform::ChangeFileAttributes("C:\\out\\f.txt", platform::kAttrReadOnly));
        }
        CZipReader reader;
        ASSERT_TRUE(reader.Open("C:\\a.zip"));
        std::string path;
        EXPECT_EQ(ErrorCode([&] { EXPECT_TRUE(reader.ExtractEntry(0, "C:\\out")); }, &path),
                  c.code);
        reader.Close(c.code == -1 ? CZipReader::kCloseNormal : CZipReader::kCloseAfterException);
        if (c.code == -1) {
            EXPECT_EQ(Read("C:\\out\\f.txt"), "new");
        } else {
            EXPECT_EQ(path, "C:\\out\\f.txt");
            if (!c.folder) {
                EXPECT_EQ(Read("C:\\out\\f.txt"), "old contents");
            }
        }
        platform::ChangeFileAttributes("C:\\out\\f.txt", platform::kAttrNormal);
    }
}

TEST_F(ZipReaderTest, LaterEntriesReplaceEarlierOnesOfTheSameNameInAFreshFolder) {
    // The reader skips looking for existing files in folders only it has written to; names
    // it wrote itself, in any case, must still be found and replaced.
    Write("C:\\a.zip", ziptest::Build({{.name = "sub/a.txt", .data = "first"},
                                       {.name = "SUB/A.TXT", .data = "second"},
                                       {.name = "top.txt", .data = "1"},
                                       {.name = "Top.txt", .data = "2"},
                                       {.name = "d/", .data = "", .externalAttr = 0x10},
                                       {.name = "D", .data = "file over a folder"}}));
    std::filesystem::create_directories(m_machine.Host("C:\\empty"));
    CZipReader reader;
    ASSERT_TRUE(reader.Open("C:\\a.zip"));
    for (uint64_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(reader.ExtractEntry(i, "C:\\empty"));
    }
    EXPECT_TRUE(reader.ExtractEntry(4, "C:\\empty"));
    EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(5, "C:\\empty"); }), CZipError::kNotRemoved);
    reader.Close(CZipReader::kCloseAfterException);
    // The old file is deleted and the new one created under the entry's own spelling.
    EXPECT_EQ(Read("C:\\empty\\sub\\A.TXT"), "second");
    EXPECT_FALSE(Exists("C:\\empty\\sub\\a.txt"));
    EXPECT_EQ(Read("C:\\empty\\Top.txt"), "2");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(m_machine.Host("C:\\empty")),
                            std::filesystem::directory_iterator()),
              3);
}

TEST_F(ZipReaderTest, WhatAnotherProgramChangesBetweenTwoEntriesIsSeen) {
    // The reader believes sub\b.txt absent (it made sub itself); another program then
    // changes the folder before the second entry.
    Write("C:\\a.zip", ziptest::Build({{.name = "sub/a.txt", .data = "first"},
                                       {.name = "sub/b.txt", .data = "new"}}));
    struct Case {
        const char* what;
        uint32_t attributes;  // of a b.txt put in the way; 0: the folder sub is removed
        int code;             // -1: extracted
    };
    const Case cases[] = {
        {"read-only file", platform::kAttrReadOnly, CZipError::kNotRemoved},
        {"hidden file", platform::kAttrHidden, -1},
        {"folder removed", 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(m_machine.Host("C:\\out"));
        CZipReader reader;
        ASSERT_TRUE(reader.Open("C:\\a.zip"));
        ASSERT_TRUE(reader.ExtractEntry(0, "C:\\out"));
        if (c.attributes == 0) {
            std::filesystem::remove_all(m_machine.Host("C:\\out\\sub"));
        } else {
            Write("C:\\out\\sub\\b.txt", "other program");
            ASSERT_TRUE(platform::ChangeFileAttributes("C:\\out\\sub\\b.txt", c.attributes));
        }
        EXPECT_EQ(ErrorCode([&] { EXPECT_TRUE(reader.ExtractEntry(1, "C:\\out")); }), c.code);
        reader.Close(CZipReader::kCloseAfterException);
        if (c.code == -1) {
            EXPECT_EQ(Read("C:\\out\\sub\\b.txt"), "new");
            EXPECT_EQ(platform::FileAttributes("C:\\out\\sub\\b.txt"), platform::kAttrArchive);
        } else {
            EXPECT_EQ(Read("C:\\out\\sub\\b.txt"), "other program");
        }
        platform::ChangeFileAttributes("C:\\out\\sub\\b.txt", platform::kAttrNormal);
    }
}

TEST_F(ZipReaderTest, ADeeplyNestedNameNeedsNoStackPerFolder) {
    // 1,800 folders (a 3.6 KB name) on a 256 KB stack: a call per folder would overflow
    // it, as a few thousand do on the 1 MB main-thread stack of Windows.
    std::string name;
    for (int i = 0; i < 1800; ++i) {
        name += "a/";
    }
    Write("C:\\deep.zip", ziptest::Build({{.name = name + "b.txt", .data = "deep"}}));
    struct Run {
        std::string folder;
        int code = -1;
    } run{"C:\\out"};
    const auto extract = [](void* argument) -> void* {
        auto& r = *static_cast<Run*>(argument);
        CZipReader reader;
        r.code = ErrorCode([&] {
            reader.Open("C:\\deep.zip");
            EXPECT_TRUE(reader.ExtractEntry(0, r.folder));
        });
        reader.Close(CZipReader::kCloseAfterException);
        return nullptr;
    };
    pthread_attr_t attributes;
    ASSERT_EQ(pthread_attr_init(&attributes), 0);
    ASSERT_EQ(pthread_attr_setstacksize(&attributes, 256 * 1024), 0);
    pthread_t thread;
    ASSERT_EQ(pthread_create(&thread, &attributes, +extract, &run), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
    EXPECT_EQ(run.code, -1);
    std::string path = "C:\\out\\" + name + "b.txt";
    std::replace(path.begin(), path.end(), '/', '\\');
    EXPECT_EQ(Read(path), "deep");
}

TEST_F(ZipReaderTest, CrcMismatchFailsAfterTheFileIsWrittenUnlessTheCheckIsIgnored) {
    Write("C:\\a.zip", ziptest::Build({{.name = "f.txt", .data = "payload", .wrongCrc = true},
                                       {.name = "g.txt", .data = "next"}}));
    CZipReader reader;
    ASSERT_TRUE(reader.Open("C:\\a.zip"));
    std::string path;
    EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(0, "C:\\out"); }, &path), CZipError::kBadCrc);
    EXPECT_EQ(path, "C:\\out\\f.txt");
    EXPECT_EQ(Read("C:\\out\\f.txt"), "payload");
    // The archive stays usable after the error.
    EXPECT_TRUE(reader.ExtractEntry(1, "C:\\out"));
    reader.Close(CZipReader::kCloseAfterException);

    ASSERT_TRUE(reader.Open("C:\\a.zip", CZipReader::kModeOpen,
                            CZipDirectory::kDefaultIgnoredChecks | CZipDirectory::kCheckDataCrc));
    EXPECT_TRUE(reader.ExtractEntry(0, "C:\\out2"));
    EXPECT_EQ(reader.TestEntry(0), true);
    reader.Close();
}

TEST_F(ZipReaderTest, NamesLeavingTheFolderAreRefusedBeforeAnythingIsCreated) {
    const char* names[] = {"sub/../../evil.txt", "../evil.txt", "sub\\..\\..\\evil.txt",
                           "C:../evil.txt", "deep/.../evil.txt"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        Write("C:\\a.zip", ziptest::Build({{.name = name, .data = "bad"}}));
        CZipReader reader;
        ASSERT_TRUE(reader.Open("C:\\a.zip"));
        std::string path;
        EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(0, "C:\\out\\pkg"); }, &path),
                  CZipError::kOutsideFolder);
        EXPECT_NE(path.find("evil.txt"), std::string::npos);
        EXPECT_EQ(ErrorCode([&] { reader.TestEntry(0); }), CZipError::kOutsideFolder);
        reader.Close(CZipReader::kCloseAfterException);
        EXPECT_FALSE(Exists("C:\\out")) << "a folder was created";
        EXPECT_FALSE(Exists("C:\\evil.txt"));
    }
    // ".." that stays inside the folder is resolved, not refused.
    Write("C:\\a.zip", ziptest::Build({{.name = "sub/../fine.txt", .data = "ok"}}));
    CZipReader reader;
    ASSERT_TRUE(reader.Open("C:\\a.zip"));
    EXPECT_TRUE(reader.ExtractEntry(0, "C:\\out"));
    reader.Close();
    EXPECT_EQ(Read("C:\\out\\fine.txt"), "ok");
    EXPECT_FALSE(Exists("C:\\out\\sub"));
}

TEST_F(ZipReaderTest, TheEndRecordIsFoundOnlyWithinTheLast65557Bytes) {
    struct Case {
        int commentLength;
        int trailingBytes;
        int code;  // -1: opens
    };
    // 32748: the signature straddles the border of the first 32768-byte chunk.
    const Case cases[] = {
        {0, 0, -1},     {32746, 0, -1}, {32747, 0, -1}, {32748, 0, -1},
        {32749, 0, -1}, {65535, 0, -1}, {65534, 1, -1}, {65535, 1, CZipError::kEndRecordNotFound}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.commentLength) + " + " + std::to_string(c.trailingBytes));
        Python("C:\\e.zip",
               "with zipfile.ZipFile(ARCHIVE, 'w', zipfile.ZIP_DEFLATED) as z:\n"
               "    z.writestr('a.txt', 'x' * 1000)\n"
               "    z.comment = b'c' * " +
                   std::to_string(c.commentLength) + "\n" + "open(ARCHIVE, 'ab').write(b'\\0' * " +
                   std::to_string(c.trailingBytes) + ")\n");
        CZipReader reader;
        int code = ErrorCode([&] { ASSERT_TRUE(reader.Open("C:\\e.zip")); });
        EXPECT_EQ(code, c.code);
        if (code == -1) {
            EXPECT_EQ(reader.GetEntryCount(), 1u);
            EXPECT_TRUE(reader.TestEntry(0));
            reader.Close();
        }
    }
}

TEST_F(ZipReaderTest, AnEndRecordHiddenInTheCommentIsCommentText) {
    // A complete end record claiming no entries, at the very end of the real one's comment.
    std::string fake = "PK\5\6" + std::string(18, '\0');
    Options options;
    options.comment = "note " + fake;
    Write("C:\\a.zip", ziptest::Build({{.name = "a.txt", .data = "x"}}, options));
    CZipReader reader;
    ASSERT_TRUE(reader.Open("C:\\a.zip"));
    EXPECT_EQ(reader.GetEntryCount(), 1u);
    reader.Close();
}

TEST_F(ZipReaderTest, BytesBeforeTheArchiveAreSkipped) {
    Options options;
    options.prefix = std::string(200, 'M');
    Write("C:\\sfx.exe", ziptest::Build({{.name = "a.txt", .data = "inside"}}, options));
    CZipReader reader;
    ASSERT_TRUE(reader.Open("C:\\sfx.exe"));
    EXPECT_EQ(reader.GetStorage().PrefixBytes(), 200u);
    EXPECT_TRUE(reader.ExtractEntry(0, "C:\\out"));
    reader.Close();
    EXPECT_EQ(Read("C:\\out\\a.txt"), "inside");
}

TEST_F(ZipReaderTest, HostileCountsAndSizesAreRefused) {
    struct Case {
        const char* what;
        Options options;
    };
    Case cases[3];
    cases[0].what = "more entries than the directory can hold";
    cases[0].options.totalEntries = 1000;
    cases[1].what = "entries without a directory";
    cases[1].options.directorySize = 0;
    cases[2].what = "directory larger than the file";
    cases[2].options.directorySize = 0x7FFFFFFF;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Write("C:\\a.zip", ziptest::Build({{.name = "a.txt", .data = "x"}}, c.options));
        CZipReader reader;
        EXPECT_EQ(ErrorCode([&] { reader.Open("C:\\a.zip"); }), CZipError::kBadArchive);
        EXPECT_FALSE(reader.IsOpen());
    }
    // An empty archive opens with no entries.
    Write("C:\\empty.zip", ziptest::Build({}));
    CZipReader reader;
    ASSERT_TRUE(reader.Open("C:\\empty.zip"));
    EXPECT_EQ(reader.GetEntryCount(), 0u);
    reader.Close();
}

TEST_F(ZipReaderTest, ReadOnlyPackageOpensOnlyForReading) {
    Write("C:\\a.zip", ziptest::Build({{.name = "a.txt", .data = "x"}}));
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\a.zip", platform::kAttrReadOnly));
    CZipReader reader;
    std::string path;
    EXPECT_EQ(ErrorCode([&] { reader.Open("C:\\a.zip", CZipReader::kModeOpen); }, &path),
              platform::kErrnoAccess);
    EXPECT_EQ(path, "C:\\a.zip");
    EXPECT_TRUE(reader.Open("C:\\a.zip", CZipReader::kModeReadOnly));
    reader.Close();
    platform::ChangeFileAttributes("C:\\a.zip", platform::kAttrNormal);
    EXPECT_EQ(ErrorCode([&] { reader.Open("C:\\missing.zip"); }, &path), platform::kErrnoNoEnt);
}

TEST_F(ZipReaderTest, EntriesThatCannotBeOpenedWriteNothing) {
    Write("C:\\a.zip", ziptest::Build({
                           {.name = "lzma.bin", .data = "xx", .method = 14},
                           {.name = "secret.txt", .data = "xxxxxxxxxxxxxxxx", .flags = 0x1},
                           {.name = "amiga.txt", .data = "x", .system = 1},
                       }));
    CZipReader reader;
    ASSERT_TRUE(reader.Open("C:\\a.zip"));
    EXPECT_FALSE(reader.ExtractEntry(0, "C:\\out"));
    EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(1, "C:\\out"); }), CZipError::kBadPassword);
    EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(2, "C:\\out"); }),
              CZipError::kPlatformNotSupported);
    reader.Close(CZipReader::kCloseAfterException);
    EXPECT_FALSE(Exists("C:\\out\\lzma.bin"));
    EXPECT_FALSE(Exists("C:\\out\\secret.txt"));
    EXPECT_FALSE(Exists("C:\\out\\amiga.txt"));
}

TEST_F(ZipReaderTest, LocalHeadersMustAgreeUnlessTheCheckIsIgnored) {
    const uint32_t base = CZipDirectory::kDefaultIgnoredChecks;
    struct Case {
        const char* what;
        Entry entry;
        uint32_t mask;
        bool accepted;
    };
    const Case cases[] = {
        {"agreeing", {}, base, true},
        {"method", {.localMethod = 8}, base, false},
        {"method ignored", {.localMethod = 8}, base | CZipDirectory::kCheckMethod, true},
        {"CRC", {.localCrcXor = 1}, base, false},
        {"CRC ignored", {.localCrcXor = 1}, base | CZipDirectory::kCheckLocalCrc, true},
        {"CRC, sizes bit", {.localCrcXor = 1}, base | CZipDirectory::kCheckSizes, true},
        {"size", {.localSizeDelta = 1}, base, false},
        {"size ignored", {.localSizeDelta = 1}, base | CZipDirectory::kCheckSizes, true},
        {"size, CRC bit", {.localSizeDelta = 1}, base | CZipDirectory::kCheckLocalCrc, true},
        {"compressed size 0", {.localCompressedZero = true}, base, true},
        {"flags", {.localFlags = 0x2}, base, false},
        {"flags ignored", {.localFlags = 0x2}, base | CZipDirectory::kCheckFlags, true},
        {"high flags differ", {.localFlags = 0x800}, base, true},
        {"data descriptor: CRC and sizes not compared",
         {.flags = 0x8, .localCrcXor = 1, .localSizeDelta = 1},
         base,
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Entry entry = c.entry;
        entry.name = "a.txt";
        entry.data = "abc";
        Write("C:\\a.zip", ziptest::Build({entry}));
        CZipReader reader;
        ASSERT_TRUE(reader.Open("C:\\a.zip", CZipReader::kModeOpen, c.mask));
        int code = ErrorCode([&] { EXPECT_TRUE(reader.ExtractEntry(0, "C:\\out")); });
        EXPECT_EQ(code, c.accepted ? -1 : CZipError::kBadArchive);
        reader.Close(CZipReader::kCloseAfterException);
        if (c.accepted) {
            EXPECT_EQ(Read("C:\\out\\a.txt"), "abc");
        }
        std::filesystem::remove_all(m_machine.Host("C:\\out"));
    }
}

TEST_F(ZipReaderTest, DataDescriptorsAreComparedOnlyWhenTheCheckIsOn) {
    // Info-ZIP zip writes data descriptors when it writes to a pipe.
    std::string host = m_machine.Host("C:\\dd.zip");
    ASSERT_EQ(std::system(("seq 1 20000 | zip -q - - | cat > " + host).c_str()), 0);
    const uint32_t checkDescriptor =
        CZipDirectory::kDefaultIgnoredChecks & ~CZipDirectory::kCheckDataDescriptor;
    CZipReader reader;
    ASSERT_TRUE(reader.Open("C:\\dd.zip", CZipReader::kModeOpen, checkDescriptor));
    ASSERT_EQ(reader.GetEntryCount(), 1u);
    CZipEntry& entry = *reader.GetEntryInfo(0);
    ASSERT_NE(entry.m_flags & CZipEntry::kFlagDataDescriptor, 0);
    EXPECT_TRUE(reader.TestEntry(0));
    reader.Close();

    // A descriptor that disagrees with the central header (its CRC changed).
    std::string bytes = Read("C:\\dd.zip");
    size_t descriptor = bytes.find("PK\7\x08");
    ASSERT_NE(descriptor, std::string::npos);
    bytes[descriptor + 4] = static_cast<char>(bytes[descriptor + 4] ^ 0x01);
    Write("C:\\dd.zip", bytes);
    ASSERT_TRUE(reader.Open("C:\\dd.zip", CZipReader::kModeOpen, checkDescriptor));
    EXPECT_EQ(ErrorCode([&] { reader.TestEntry(0); }), CZipError::kBadArchive);
    reader.Close(CZipReader::kCloseAfterException);
    ASSERT_TRUE(reader.Open("C:\\dd.zip"));
    EXPECT_TRUE(reader.TestEntry(0));  // ignored by default
    reader.Close();
}

TEST_F(ZipReaderTest, PathsBeyondTheWindowsLimitAreExtracted) {
    std::string name;
    for (int i = 0; i < 12; ++i) {
        name += std::string(20, static_cast<char>('a' + i)) + "/";
    }
    name += "file.txt";  // about 260 characters, longer with the folder
    Write("C:\\long.zip", ziptest::Build({{.name = name.substr(0, name.rfind('/') + 1), .data = ""},
                                          {.name = name, .data = "deep"}}));
    CZipReader reader;
    ASSERT_TRUE(reader.Open("C:\\long.zip"));
    EXPECT_TRUE(reader.ExtractEntry(0, "C:\\out"));
    EXPECT_TRUE(reader.ExtractEntry(1, "C:\\out"));
    // A second extraction replaces the file, through the long-path delete.
    EXPECT_TRUE(reader.ExtractEntry(1, "C:\\out"));
    reader.Close();
    std::string path = "C:\\out\\" + name;
    std::replace(path.begin(), path.end(), '/', '\\');
    EXPECT_GT(path.size(), 260u);
    EXPECT_EQ(Read(path), "deep");
}

class ZipSplitTest : public ZipReaderTest {
protected:
    ZipSplitTest() : ZipReaderTest("E = removable, drive_e\n") {}
};

TEST_F(ZipSplitTest, AnArchiveOfSeveralDisksIsSplitOnAFixedDriveAndRefusedOnARemovableOne) {
    Options options;
    options.thisDisk = 1;
    std::string bytes = ziptest::Build({{.name = "a.txt", .data = "x"}}, options);
    Write("E:\\pkg\\a.zip", bytes);
    CZipReader reader;
    EXPECT_EQ(ErrorCode([&] { reader.Open("E:\\pkg\\a.zip"); }), CZipError::kNoCallback);
    EXPECT_FALSE(reader.IsOpen());

    Write("C:\\pkg\\a.zip", bytes);
    ASSERT_TRUE(reader.Open("C:\\pkg\\a.zip"));
    EXPECT_TRUE(reader.GetStorage().IsSplit());
    std::string path;
    // The entry starts on the first disk, which is missing.
    EXPECT_EQ(ErrorCode([&] { reader.ExtractEntry(0, "C:\\out"); }, &path), platform::kErrnoNoEnt);
    EXPECT_EQ(path, "C:\\pkg\\a.z01");
    reader.Close(CZipReader::kCloseAfterException);
}

class ZipTimeTest : public ZipReaderTest {
protected:
    ZipTimeTest() : ZipReaderTest("", "[system]\ntimezone = Asia/Seoul\n") {}
};

TEST_F(ZipTimeTest, TimesAreLocalAndAttributesFollowTheSystem) {
    // 2020-01-02 03:04:06 in Seoul (UTC+9) is 2020-01-01 18:04:06 UTC.
    const uint16_t date = (40 << 9) | (1 << 5) | 2;
    const uint16_t time = (3 << 11) | (4 << 5) | 3;
    struct Case {
        const char* name;
        uint8_t system;
        uint32_t external;
        uint32_t attributes;
    };
    const Case cases[] = {
        {"dos.txt", 0, 0x21, 0x21},
        {"unix-plain.txt", 3, 0100644u << 16, 0x20},
        {"unix-readonly.txt", 3, 0100444u << 16, 0x21},
        {"unix-private.txt", 3, 0100600u << 16, 0x22},
        {"unix-exec.sh", 3, 0100755u << 16, 0x80},  // no bit left: reported as normal
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write("C:\\t.zip", ziptest::Build({{.name = c.name,
                                            .data = "t",
                                            .system = c.system,
                                            .externalAttr = c.external,
                                            .modTime = time,
                                            .modDate = date}}));
        CZipReader reader;
        ASSERT_TRUE(reader.Open("C:\\t.zip"));
        EXPECT_TRUE(reader.ExtractEntry(0, "C:\\out"));
        reader.Close();
        std::string path = std::string("C:\\out\\") + c.name;
        platform::FileStatus status;
        ASSERT_TRUE(platform::ReadFileStatus(path, status));
        EXPECT_EQ(status.modified, 1577901846);
        EXPECT_EQ(platform::FileAttributes(path), c.attributes);
        platform::ChangeFileAttributes(path, platform::kAttrNormal);
    }
}

TEST_F(ZipReaderTest, DeflateAndBzip2DataAreCheckedAndCorruptionIsReported) {
    Python("C:\\c.zip",
           "import random\n"
           "random.seed(7)\n"
           "data = bytes(random.randrange(16) for _ in range(200000))\n"
           "with zipfile.ZipFile(ARCHIVE, 'w') as z:\n"
           "    z.writestr('d.bin', data, zipfile.ZIP_DEFLATED)\n"
           "    z.writestr('b.bin', data, zipfile.ZIP_BZIP2)\n"
           "open(ARCHIVE + '.raw', 'wb').write(data)\n");
    std::string expected = Read("C:\\c.zip.raw");
    CZipReader reader;
    ASSERT_TRUE(reader.Open("C:\\c.zip"));
    ASSERT_EQ(reader.GetEntryCount(), 2u);
    EXPECT_TRUE(reader.ExtractEntry(0, "C:\\out"));
    EXPECT_TRUE(reader.ExtractEntry(1, "C:\\out"));
    reader.Close();
    EXPECT_EQ(Read("C:\\out\\d.bin"), expected);
    EXPECT_EQ(Read("C:\\out\\b.bin"), expected);

    // Damage the middle of each entry's data.
    std::string bytes = Read("C:\\c.zip");
    CZipReader info;
    ASSERT_TRUE(info.Open("C:\\c.zip", CZipReader::kModeReadOnly));
    for (uint64_t i = 0; i < 2; ++i) {
        CZipEntry& entry = *info.GetEntryInfo(i);
        size_t middle = entry.m_localOffset + 30 + 5 + entry.m_compressedSize / 2;
        bytes[middle] = static_cast<char>(bytes[middle] ^ 0x55);
    }
    info.Close();
    Write("C:\\bad.zip", bytes);
    ASSERT_TRUE(reader.Open("C:\\bad.zip"));
    for (uint64_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        int code = ErrorCode([&] { reader.TestEntry(i); });
        EXPECT_TRUE(code == CZipError::kBadCrc || (code >= 500 && code <= 507) ||
                    (code >= 600 && code <= 608) || code == CZipError::kBadArchive)
            << code;
    }
    reader.Close(CZipReader::kCloseAfterException);
}

TEST(ZipCrcTest, LibdeflateCrcEqualsZlibCrcWholeAndInParts) {
    std::string data;
    for (int i = 0; i < 300000; ++i) {
        data.push_back(static_cast<char>((i * 7919) ^ (i >> 5)));
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(data.data());
    for (size_t size : {size_t{0}, size_t{1}, size_t{15}, size_t{4096}, data.size()}) {
        SCOPED_TRACE(size);
        const uint32_t zlib = static_cast<uint32_t>(crc32(0, bytes, static_cast<uInt>(size)));
        EXPECT_EQ(zipcodec::Crc32(0, bytes, size), zlib);
        EXPECT_EQ(
            zipcodec::Crc32(zipcodec::Crc32(0, bytes, size / 3), bytes + size / 3, size - size / 3),
            zlib);
    }
}

// Whole-entry inflate and the worker must change nothing: entry by entry, sound and damaged,
// the result or error code and the bytes written are those of zlib alone.
TEST_F(ZipReaderTest, DamagedDeflateEntriesEndAsWithZlibAlone) {
    Python("C:\\d.zip",
           "import random, struct, zlib\n"
           "random.seed(3)\n"
           "def entry(i):\n"
           "    return bytes(random.randrange(12) for _ in range(30000 + 9000 * i))\n"
           "with zipfile.ZipFile(ARCHIVE, 'w') as z:\n"
           "    for i in range(12):\n"
           "        z.writestr('e%02d.bin' % i, entry(i), zipfile.ZIP_DEFLATED)\n"
           "    z.writestr('sub/', b'')\n"
           "    z.writestr('last.bin', entry(1), zipfile.ZIP_DEFLATED)\n"
           "data = bytearray(open(ARCHIVE, 'rb').read())\n"
           "z = zipfile.ZipFile(ARCHIVE)\n"
           "infos = z.infolist()\n"
           "def start(i):\n"
           "    o = infos[i].header_offset\n"
           "    n, e = struct.unpack('<HH', data[o + 26:o + 30])\n"
           "    return o + 30 + n + e\n"
           "data[start(1) + 700] ^= 0x55\n"                         // corrupt data
           "data[start(3) + infos[3].compress_size - 2] ^= 0xFF\n"  // near the end
           "data[start(5)] ^= 0x06\n"                               // block type 3
           "data[start(7) + infos[7].compress_size // 2] ^= 0x01\n"
           "open(ARCHIVE.replace('d.zip', 'damaged.zip'), 'wb').write(data)\n");
    for (const char* archive : {"C:\\d.zip", "C:\\damaged.zip"}) {
        SCOPED_TRACE(archive);
        for (uint32_t checks :
             {CZipDirectory::kDefaultIgnoredChecks, CZipDirectory::kDefaultIgnoredChecks | 0x1u}) {
            SCOPED_TRACE(checks);
            CZipReader fast;
            CZlibOnlyReader zlib;
            ASSERT_TRUE(fast.Open(archive, CZipReader::kModeReadOnly, checks));
            ASSERT_TRUE(zlib.Open(archive, CZipReader::kModeReadOnly, checks));
            for (uint64_t i = 0; i < fast.GetEntryCount(); ++i) {
                SCOPED_TRACE(i);
                int fastCode = ErrorCode([&] { EXPECT_TRUE(fast.ExtractEntry(i, "C:\\fast")); });
                int zlibCode = ErrorCode([&] { EXPECT_TRUE(zlib.ExtractEntry(i, "C:\\zlib")); });
                EXPECT_EQ(fastCode, zlibCode);
                const std::string name = fast.GetEntryInfo(i)->GetFileName();
                if (name != "sub\\") {
                    EXPECT_EQ(Read("C:\\fast\\" + name), Read("C:\\zlib\\" + name));
                }
            }
            fast.Close(CZipReader::kCloseAfterException);
            zlib.Close(CZipReader::kCloseAfterException);
        }
    }
}

// Streams that zlib rejects and a lenient inflate decodes, each with the CRC-32 and size of
// that lenient result: the reader must still end each as zlib alone does.
TEST_F(ZipReaderTest, StreamsOnlyALenientInflateAcceptsEndAsWithZlibAlone) {
    Python("C:\\lenient.zip", "import sys\nsys.path.insert(0, '" MIVO_ZIP_TEST_DIR "')\n"
                               "import invalid_deflate\ninvalid_deflate.write_archive(ARCHIVE)\n");
    CZipReader fast;
    CZlibOnlyReader zlib;
    ASSERT_TRUE(fast.Open("C:\\lenient.zip", CZipReader::kModeReadOnly));
    ASSERT_TRUE(zlib.Open("C:\\lenient.zip", CZipReader::kModeReadOnly));
    const uint64_t count = fast.GetEntryCount();
    ASSERT_EQ(count, 9u);
    for (uint64_t i = 0; i < count; ++i) {
        const std::string name = fast.GetEntryInfo(i)->GetFileName();
        SCOPED_TRACE(name);
        int fastCode = ErrorCode([&] { fast.ExtractEntry(i, "C:\\fast"); });
        int zlibCode = ErrorCode([&] { zlib.ExtractEntry(i, "C:\\zlib"); });
        EXPECT_EQ(fastCode, zlibCode);
        EXPECT_EQ(fastCode == -1, i + 1 == count) << fastCode;
        EXPECT_EQ(Read("C:\\fast\\" + name), Read("C:\\zlib\\" + name));
    }
    fast.Close(CZipReader::kCloseAfterException);
    zlib.Close(CZipReader::kCloseAfterException);
}

// Bytes lent as a view serve reads and seeks inside them; whatever follows (a relative seek,
// a read that runs past them, the view withdrawn) continues from the same position.
TEST_F(ZipReaderTest, AFileReadsOnFromWhereItsViewLeftIt) {
    std::string bytes;
    for (int i = 0; i < 256; ++i) {
        bytes.push_back(static_cast<char>(i));
    }
    Write("C:\\v.bin", bytes);
    CZipDiskFile file;
    ASSERT_TRUE(file.Open("C:\\v.bin", CZipDiskFile::kArchiveReadOnly, true));
    file.SetView(100, reinterpret_cast<const uint8_t*>(bytes.data()) + 100, 50);
    uint8_t got[8] = {};
    EXPECT_EQ(file.Seek(120, 0), 120u);
    ASSERT_EQ(file.Read(got, 8), 8u);
    EXPECT_EQ(got[0], 120);
    EXPECT_EQ(file.Seek(2, 1), 130u);
    ASSERT_EQ(file.Read(got, 8), 8u);  // 130-137, still inside
    EXPECT_EQ(file.Seek(146, 0), 146u);
    ASSERT_EQ(file.Read(got, 8), 8u);  // runs past the view's end
    EXPECT_EQ(got[0], 146);
    EXPECT_EQ(got[7], 153);
    EXPECT_EQ(file.Seek(110, 0), 110u);
    file.ClearView();
    ASSERT_EQ(file.Read(got, 1), 1u);
    EXPECT_EQ(got[0], 110);
    EXPECT_EQ(file.GetPosition(), 111u);
    file.Close();
}

// Entries decoded ahead are matched by where their data lies and by their sizes: a reader
// that jumps about, or that read ahead in another archive laid out alike, must still give
// each entry's own bytes.
TEST_F(ZipReaderTest, EntriesDecodedAheadServeOnlyTheirOwnEntry) {
    for (const char* name : {"C:\\a.zip", "C:\\b.zip"}) {
        // Level 0: the same sizes in both archives, different bytes.
        Python(name, std::string("import random\nrandom.seed(") + (name[3] == 'a' ? "1" : "2") +
                         ")\n"
                         "with zipfile.ZipFile(ARCHIVE, 'w', compresslevel=0) as z:\n"
                         "    for i in range(150):\n"
                         "        z.writestr('e%03d' % i, random.randbytes(3000 + i % 7),\n"
                         "                   zipfile.ZIP_DEFLATED)\n");
    }
    CZipReader fast;
    ASSERT_TRUE(fast.Open("C:\\a.zip", CZipReader::kModeReadOnly));
    for (uint64_t i : {0, 1, 2}) {
        ASSERT_TRUE(fast.ExtractEntry(i, "C:\\ahead"));
    }
    fast.Close(CZipReader::kCloseNormal);
    CZlibOnlyReader zlib;
    ASSERT_TRUE(fast.Open("C:\\b.zip", CZipReader::kModeReadOnly));
    ASSERT_TRUE(zlib.Open("C:\\b.zip", CZipReader::kModeReadOnly));
    for (uint64_t i : {0, 1, 3, 4, 70, 71, 2, 149, 5, 6, 130, 131, 132, 66, 67, 68}) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(fast.ExtractEntry(i, "C:\\fast"));
        EXPECT_TRUE(zlib.ExtractEntry(i, "C:\\zlib"));
        const std::string entry = fast.GetEntryInfo(i)->GetFileName();
        EXPECT_EQ(Read("C:\\fast\\" + entry), Read("C:\\zlib\\" + entry));
    }
    fast.Close(CZipReader::kCloseNormal);
    zlib.Close(CZipReader::kCloseNormal);
}

}  // namespace
