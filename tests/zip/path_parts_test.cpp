// Path splitting, destination paths, and the refusal of destinations outside the folder.
#include <gtest/gtest.h>

#include "zip/path_parts.h"
#include "zip/zip_reader.h"

namespace {

TEST(PathPartsTest, SplitsPrefixDriveDirectoryTitleAndExtension) {
    struct Case {
        const char* path;
        const char* prefix;
        const char* drive;
        const char* directory;
        const char* title;
        const char* extension;
        const char* parent;
    };
    const Case cases[] = {
        {"C:\\X\\sub\\dir\\a.txt", "", "C:", "X\\sub\\dir", "a", "txt", "C:\\X\\sub\\dir"},
        {"C:\\a.txt", "", "C:", "", "a", "txt", "C:"},
        {"C:", "", "C:", "", "", "", "C:"},
        {"\\\\?\\C:\\long\\f.tar.gz", "\\\\?\\", "C:", "long", "f.tar", "gz", "\\\\?\\C:\\long"},
        {"\\\\?\\UNC\\server\\share\\f", "\\\\?\\UNC\\", "", "server\\share", "f", "",
         "\\\\?\\UNC\\server\\share"},
        {"\\\\server\\share\\x.y", "\\\\", "", "server\\share", "x", "y", "\\\\server\\share"},
        // Three characters of the prefix are no prefix.
        {"\\\\?x", "", "", "", "?x", "", ""},
        {"sub/dir/", "", "", "sub/dir", "", "", "sub/dir"},
        {"\\\\lead\\\\x..txt", "\\\\", "", "lead", "x.", "txt", "\\\\lead"},
        {"a...", "", "", "", "a..", "", ""},
        {"dir\\.hidden", "", "", "dir", "", "hidden", "dir"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        CPathParts parts(c.path);
        EXPECT_EQ(parts.m_prefix, c.prefix);
        EXPECT_EQ(parts.m_drive, c.drive);
        EXPECT_EQ(parts.m_directory, c.directory);
        EXPECT_EQ(parts.m_title, c.title);
        EXPECT_EQ(parts.m_extension, c.extension);
        EXPECT_EQ(parts.ParentPath(), c.parent);
    }
}

TEST(PathPartsTest, DestinationKeepsTheRelativePathAndDropsDrivesAndPrefixes) {
    struct Case {
        const char* name;
        const char* folder;
        const char* expected;
    };
    const Case cases[] = {
        {"sub\\dir\\a.txt", "C:\\X", "C:\\X\\sub\\dir\\a.txt"},
        {"sub\\dir\\a.txt", "C:\\X\\\\/", "C:\\X\\sub\\dir\\a.txt"},
        {"D:\\abs\\b.txt", "C:\\X", "C:\\X\\abs\\b.txt"},
        {"\\abs\\b.txt", "C:\\X", "C:\\X\\abs\\b.txt"},
        {"\\\\?\\D:\\deep\\c", "C:\\X", "C:\\X\\deep\\c"},
        {"dir\\", "C:\\X", "C:\\X\\dir"},
        {"\\\\\\", "C:\\X", "C:\\X\\"},
        {"", "C:\\X\\", "C:\\X\\"},
        {"a.txt", "", "a.txt"},
    };
    CZipReader reader;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " in " + c.folder);
        EXPECT_EQ(reader.ComputeExtractPath(c.name, c.folder), c.expected);
    }
}

TEST(PathPartsTest, DestinationsOutsideTheFolderAreRefused) {
    struct Case {
        const char* name;
        bool inside;
        const char* resolved;  // when inside
    };
    const Case cases[] = {
        {"a.txt", true, "C:\\X\\a.txt"},
        {"sub\\..\\b.txt", true, "C:\\X\\b.txt"},
        {".\\sub\\.\\c.txt", true, "C:\\X\\sub\\c.txt"},
        {"sub\\..", true, "C:\\X\\sub"},  // a last ".." splits as title "." and an empty extension
        {"..\\evil.txt", false, ""},
        {"sub\\..\\..\\evil.txt", false, ""},
        {"..", true, "C:\\X"},
        {"C:..\\evil.txt", false, ""},
        {"\\..\\evil.txt", false, ""},
        {"a\\...\\b", false, ""},
        {"a\\.. \\b", false, ""},
        {"a\\ . \\b", false, ""},
        {"...txt", true, "C:\\X\\...txt"},
        {"a..b\\c", true, "C:\\X\\a..b\\c"},
    };
    CZipReader reader;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = reader.ComputeExtractPath(c.name, "C:\\X");
        std::string resolved;
        EXPECT_EQ(CZipReader::ResolveInsideFolder(path, "C:\\X", resolved), c.inside);
        if (c.inside) {
            EXPECT_EQ(resolved, c.resolved);
        }
    }
}

}  // namespace
