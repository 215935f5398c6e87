// Contract of the file version functions on real PE files: executables written by the PE
// writer with and without a version resource, damaged ones, and files that are no PE.
#include "pe_writer.h"
#include "platform/errors.h"
#include "platform/system.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

class VersionTest : public testsupport::MachineTest {
protected:
    void SetUp() override { std::filesystem::create_directories(m_machine.Host("C:\\Bin")); }

    void WriteImage(const std::string& windowsPath, const std::vector<uint8_t>& image) {
        std::ofstream out(m_machine.Host(windowsPath), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(image.data()),
                  static_cast<std::streamsize>(image.size()));
    }

    // The whole read as the database-server check does it: size, block, fixed info.
    bool ReadFixed(const std::string& windowsPath, platform::FixedFileInfo& info) {
        const uint32_t size = platform::FileVersionInfoSize(windowsPath);
        if (size == 0) {
            return false;
        }
        std::vector<uint8_t> block;
        if (!platform::ReadFileVersionInfo(windowsPath, size, block)) {
            ADD_FAILURE() << "size " << size << " but the block cannot be read";
            return false;
        }
        return platform::QueryFixedFileInfo(block, info);
    }
};

TEST_F(VersionTest, FixedInfoOfWrittenExecutables) {
    struct Row {
        pe::PeVersion file;
        bool hasProduct;
        pe::PeVersion product;
        std::string rcData;  // a resource type before RT_VERSION in the directory
    };
    const Row rows[] = {
        {{3, 8, 5, 2}, false, {}, ""},
        {{10, 2, 7, 0}, true, {2025, 8, 14, 1}, ""},
        {{0, 0, 0, 0}, false, {}, ""},
        {{65535, 65535, 65535, 65535}, false, {}, ""},
        {{4, 0, 0, 9}, false, {}, "some other resource"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(pe::PeVersionText(row.file) + (row.rcData.empty() ? "" : " after rcdata"));
        pe::PeImageOptions options;
        options.hasVersion = true;
        options.fileVersion = row.file;
        options.hasProductVersion = row.hasProduct;
        options.productVersion = row.product;
        options.rcData = row.rcData;
        const pe::PeVersion& product = row.hasProduct ? row.product : row.file;
        std::string problem;
        ASSERT_TRUE(pe::WritePeFile(m_machine.Host("C:\\Bin\\Server.exe"), options, problem))
            << problem;

        platform::FixedFileInfo info;
        ASSERT_TRUE(ReadFixed("C:\\bin\\SERVER.EXE", info));
        EXPECT_EQ(info.signature, 0xFEEF04BDu);
        EXPECT_EQ(info.fileVersionMS, uint32_t{row.file.major} << 16 | row.file.minor);
        EXPECT_EQ(info.fileVersionLS, uint32_t{row.file.build} << 16 | row.file.revision);
        EXPECT_EQ(info.productVersionMS, uint32_t{product.major} << 16 | product.minor);
        EXPECT_EQ(info.productVersionLS, uint32_t{product.build} << 16 | product.revision);
        EXPECT_EQ(info.fileOS, 0x00040004u);
        EXPECT_EQ(info.fileType, 1u);
    }
}

TEST_F(VersionTest, BlockHoldsTheVersionResource) {
    const pe::PeVersion version{3, 9, 4, 1};
    std::string problem;
    ASSERT_TRUE(pe::WritePeFile(m_machine.Host("C:\\Bin\\a.exe"), &version, problem)) << problem;
    const uint32_t size = platform::FileVersionInfoSize("C:\\Bin\\a.exe");
    ASSERT_GT(size, 92u);
    std::vector<uint8_t> block;
    ASSERT_TRUE(platform::ReadFileVersionInfo("C:\\Bin\\a.exe", size, block));
    ASSERT_GE(block.size(), 92u);
    ASSERT_LE(block.size(), size);
    const uint32_t length = block[0] | block[1] << 8;
    EXPECT_LE(length, size) << "the size covers the whole resource";
    EXPECT_EQ(block[2], 52) << "wValueLength of VS_VERSIONINFO";
    const std::u16string key(u"VS_VERSION_INFO");
    for (size_t i = 0; i < key.size(); ++i) {
        EXPECT_EQ(block[6 + 2 * i], key[i]);
    }

    // A block cut short of the fixed part answers no fixed information.
    std::vector<uint8_t> shortBlock;
    if (platform::ReadFileVersionInfo("C:\\Bin\\a.exe", 20, shortBlock)) {
        EXPECT_LE(shortBlock.size(), 20u);
        platform::FixedFileInfo info;
        EXPECT_FALSE(platform::QueryFixedFileInfo(shortBlock, info));
    }
    platform::FixedFileInfo info;
    EXPECT_FALSE(platform::QueryFixedFileInfo({}, info));
}

TEST_F(VersionTest, FilesWithoutAVersion) {
    std::string problem;
    ASSERT_TRUE(pe::WritePeFile(m_machine.Host("C:\\Bin\\plain.exe"), nullptr, problem)) << problem;
    pe::PeImageOptions otherResource;
    otherResource.rcData = "not a version";
    ASSERT_TRUE(pe::WritePeFile(m_machine.Host("C:\\Bin\\rcdata.exe"), otherResource, problem))
        << problem;
    m_machine.WriteHostFile(m_machine.Host("C:\\Bin\\notes.txt"), "MZ is not enough\n");
    m_machine.WriteHostFile(m_machine.Host("C:\\Bin\\empty.dll"), "");

    struct Row {
        const char* path;
        std::vector<uint32_t> errors;  // LastError values Windows gives for the case
    };
    const Row rows[] = {
        // No resource section at all: the version functions report the data as missing.
        {"C:\\Bin\\plain.exe",
         {platform::kErrorResourceDataNotFound, platform::kErrorResourceTypeNotFound}},
        {"C:\\Bin\\rcdata.exe", {platform::kErrorResourceTypeNotFound}},
        {"C:\\Bin\\missing.exe", {platform::kErrorFileNotFound}},
        {"C:\\Nowhere\\missing.exe", {platform::kErrorPathNotFound}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        platform::SetLastErrorCode(0);
        EXPECT_EQ(platform::FileVersionInfoSize(row.path), 0u);
        EXPECT_NE(std::find(row.errors.begin(), row.errors.end(), platform::LastError()),
                  row.errors.end())
            << "LastError " << platform::LastError();
        std::vector<uint8_t> block;
        EXPECT_FALSE(platform::ReadFileVersionInfo(row.path, 1024, block));
    }
    for (const char* path : {"C:\\Bin\\notes.txt", "C:\\Bin\\empty.dll"}) {
        SCOPED_TRACE(path);
        platform::SetLastErrorCode(0);
        EXPECT_EQ(platform::FileVersionInfoSize(path), 0u);
        EXPECT_NE(platform::LastError(), 0u) << "a failure leaves a reason";
    }
}

// Damaged executables must answer "no version", never a wrong one, and never read outside
// the file (the sanitizer build watches that).
TEST_F(VersionTest, DamagedExecutablesHaveNoVersion) {
    pe::PeImageOptions options;
    options.hasVersion = true;
    options.fileVersion = {3, 8, 5, 0};
    const std::vector<uint8_t> good = pe::BuildPeImage(options);
    const size_t rsrcAt = 0x400;  // headers 0x200, code 0x200
    ASSERT_GT(good.size(), rsrcAt + 0x100);

    struct Row {
        const char* what;
        std::vector<uint8_t> image;
    };
    std::vector<Row> rows;
    rows.push_back({"cut inside the resource directory",
                    std::vector<uint8_t>(good.begin(), good.begin() + rsrcAt + 20)});
    rows.push_back({"cut inside the version data",
                    std::vector<uint8_t>(good.begin(), good.begin() + rsrcAt + 0x90)});
    rows.push_back(
        {"cut inside the headers", std::vector<uint8_t>(good.begin(), good.begin() + 0x90)});
    {
        std::vector<uint8_t> image = good;
        image[0x40] = 'X';  // PE signature
        rows.push_back({"no PE signature", image});
    }
    {
        // Type entry pointing far outside the section.
        std::vector<uint8_t> image = good;
        image[rsrcAt + 20] = 0xF0;
        image[rsrcAt + 21] = 0xFF;
        image[rsrcAt + 22] = 0xFF;
        rows.push_back({"directory offset outside the section", image});
    }
    {
        // Data entry whose RVA and size point past the end of the image: the data entry of
        // the single resource follows the root (24 bytes) and two 24-byte directories.
        std::vector<uint8_t> image = good;
        const size_t dataEntry = rsrcAt + 24 + 48;
        image[dataEntry + 4] = 0xFF;
        image[dataEntry + 5] = 0xFF;
        image[dataEntry + 6] = 0xFF;
        rows.push_back({"data size beyond the file", image});
    }
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        WriteImage("C:\\Bin\\damaged.exe", row.image);
        platform::FixedFileInfo info;
        EXPECT_FALSE(ReadFixed("C:\\Bin\\damaged.exe", info))
            << "read version " << (info.fileVersionMS >> 16) << "."
            << (info.fileVersionMS & 0xFFFF);
    }
}

// An executable made by another toolchain: GNU windres compiles a VERSIONINFO script (with
// a Korean resource language) and GNU ld links it. Its resource layout is binutils' own.
TEST_F(VersionTest, ExecutableLinkedByGnuBinutils) {
    const char* const tools[] = {"/usr/bin/x86_64-w64-mingw32-windres",
                                 "/usr/bin/x86_64-w64-mingw32-as", "/usr/bin/x86_64-w64-mingw32-ld",
                                 "/usr/bin/cpp"};
    for (const char* tool : tools) {
        if (access(tool, X_OK) != 0) {
            GTEST_SKIP() << tool << " is missing (Debian package binutils-mingw-w64-x86-64)";
        }
    }
    const std::string work = m_machine.Folder() + "/gnu";
    std::filesystem::create_directories(work);
    m_machine.WriteHostFile(work + "/version.rc",
                            "LANGUAGE 0x12, 0x01\n"
                            "1 VERSIONINFO\n"
                            "FILEVERSION 3,9,4,7\n"
                            "PRODUCTVERSION 10,2,7,0\n"
                            "FILEOS 0x40004\n"
                            "FILETYPE 0x1\n"
                            "BEGIN\n"
                            "  BLOCK \"StringFileInfo\"\n"
                            "  BEGIN\n"
                            "    BLOCK \"041204b0\"\n"
                            "    BEGIN\n"
                            "      VALUE \"FileVersion\", \"3.9.4.7\"\n"
                            "    END\n"
                            "  END\n"
                            "  BLOCK \"VarFileInfo\"\n"
                            "  BEGIN\n"
                            "    VALUE \"Translation\", 0x412, 1200\n"
                            "  END\n"
                            "END\n");
    m_machine.WriteHostFile(work + "/entry.s", ".globl start\nstart:\n  xor %eax, %eax\n  ret\n");
    const std::string build =
        "cd '" + work + "' && x86_64-w64-mingw32-windres --preprocessor=cpp -i version.rc " +
        "-O coff -o version.o && x86_64-w64-mingw32-as entry.s -o entry.o && " +
        "x86_64-w64-mingw32-ld -e start --subsystem windows -o '" +
        m_machine.Host("C:\\Bin\\Gnu.exe") + "' entry.o version.o";
    ASSERT_EQ(std::system(build.c_str()), 0) << build;

    platform::FixedFileInfo info;
    ASSERT_TRUE(ReadFixed("C:\\Bin\\gnu.EXE", info));
    EXPECT_EQ(info.signature, 0xFEEF04BDu);
    EXPECT_EQ(info.fileVersionMS, 0x00030009u);
    EXPECT_EQ(info.fileVersionLS, 0x00040007u);
    EXPECT_EQ(info.productVersionMS, 0x000A0002u);
    EXPECT_EQ(info.productVersionLS, 0x00070000u);

    // Without the resource the same link has no version.
    const std::string plain = "cd '" + work + "' && x86_64-w64-mingw32-ld -e start " +
                              "--subsystem windows -o '" + m_machine.Host("C:\\Bin\\plain.exe") +
                              "' entry.o";
    ASSERT_EQ(std::system(plain.c_str()), 0) << plain;
    EXPECT_EQ(platform::FileVersionInfoSize("C:\\Bin\\plain.exe"), 0u);
}

}  // namespace
