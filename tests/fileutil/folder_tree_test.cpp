// Folder-tree operations on the simulated machine: what each copies, skips, deletes and
// keeps, where each stops, and the working folder after every return of RemoveTree.
#include "fileutil/folder_tree.h"

#include "platform/files.h"
#include "temp_machine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <vector>

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

namespace {

long g_dispatches = 0;  // calls the message pump received

void CountingPump() {
    ++g_dispatches;
}

class FolderTreeTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        SetMessagePump(CountingPump);
        g_dispatches = 0;
        fs::create_directories(m_machine.Host("C:\\Work"));
        ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\Work"));
    }
    std::string Host(const std::string& path) const { return m_machine.Host(path); }
    void Write(const std::string& path, uint32_t attributes = platform::kAttrNormal) const {
        m_machine.WriteHostFile(Host(path), path);
        ASSERT_TRUE(platform::ChangeFileAttributes(path, attributes));
    }
    std::string Read(const std::string& path) const {
        return testsupport::TempMachine::ReadHostFile(Host(path));
    }
    bool Exists(const std::string& path) const { return fs::exists(Host(path)); }
    static std::string Current() {
        std::string folder;
        platform::CurrentFolder(folder);
        return folder;
    }
    // Every entry below `folder`, relative and sorted; folders end with "/".
    Names Tree(const std::string& folder) const {
        Names names;
        for (const auto& e : fs::recursive_directory_iterator(Host(folder))) {
            names.push_back(fs::relative(e.path(), Host(folder)).string() +
                            (e.is_directory() ? "/" : ""));
        }
        std::sort(names.begin(), names.end());
        return names;
    }
    // Dot-names, hidden, system and read-only files, nested and empty folders.
    void MakeSourceTree(const std::string& root) const {
        Write(root + "\\.settings\\prefs");
        Write(root + "\\.hidden.txt");
        Write(root + "\\a.txt");
        Write(root + "\\Answer\\01\\Answer.dat");
        Write(root + "\\Answer\\hidden.dat", platform::kAttrHidden);
        Write(root + "\\LevelInfo.dat", platform::kAttrReadOnly);
        Write(root + "\\system.bin", platform::kAttrSystem | platform::kAttrHidden);
        fs::create_directories(Host(root + "\\Empty"));
    }
};

const Names kWithoutDotNames = {
    "Answer/", "Answer/01/", "Answer/01/Answer.dat", "Answer/hidden.dat", "Empty/", "LevelInfo.dat",
    "a.txt",   "system.bin"};
const Names kFullTree = [] {
    Names names = kWithoutDotNames;
    names.insert(names.begin(), {".hidden.txt", ".settings/", ".settings/prefs"});
    return names;
}();

TEST_F(FolderTreeTest, StripTrailingBackslashAndMakePath) {
    const std::pair<const char*, const char*> strips[] = {{"C:\\A\\B\\", "C:\\A\\B"},
                                                          {"C:\\A\\\\", "C:\\A\\"},
                                                          {"C:\\A \\ \t\r\n", "C:\\A "},
                                                          {"C:\\A", "C:\\A"},
                                                          {"\\", ""},
                                                          {"", ""}};
    for (const auto& [in, out] : strips) {
        std::string path = in;
        StripTrailingBackslash(path);
        EXPECT_EQ(path, out) << in;
    }
    const std::pair<const char*, const char*> makes[] = {{"C:\\A\\B\\", "C:\\A\\B"},
                                                         {"C:\\D\\\\E", "C:\\D\\E"},
                                                         {"Rel\\X\\Y", "C:\\Work\\Rel\\X\\Y"},
                                                         {"C:\\", "C:\\"}};
    for (const auto& [path, made] : makes) {
        EXPECT_TRUE(MakePath(path)) << path;
        EXPECT_TRUE(fs::is_directory(Host(made))) << path;
    }
    // An existing path is left as it is.
    Write("C:\\A\\B\\keep.txt");
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\A\\B", platform::kAttrHidden));
    EXPECT_TRUE(MakePath("C:\\A\\B\\"));
    EXPECT_EQ(Tree("C:\\A"), (Names{"B/", "B/keep.txt"}));
    EXPECT_EQ(platform::FileAttributes("C:\\A\\B"),
              platform::kAttrDirectory | platform::kAttrHidden);
    // A file in the way, or a drive the machine lacks.
    Write("C:\\File");
    for (const char* path : {"C:\\File\\Sub", "C:\\File\\Sub\\Deeper", "Q:\\A"}) {
        EXPECT_FALSE(MakePath(path)) << path;
    }
}

TEST_F(FolderTreeTest, CopyTreeCopiesEverythingItCanAndSkipsTheRest) {
    MakeSourceTree("C:\\Src");
    CopyTree("C:\\Src", "C:\\Missing\\Dst",
             CopyFailure::kSkip);  // the target's parent is missing: nothing
    EXPECT_FALSE(Exists("C:\\Missing"));
    CopyTree("C:\\NoSource", "C:\\Made",
             CopyFailure::kSkip);  // one level is made even without a source
    EXPECT_EQ(Tree("C:\\Made"), Names{});

    // Two read-only target files cannot be overwritten; the walk goes on past them.
    Write("C:\\Dst\\.hidden.txt", platform::kAttrReadOnly);
    Write("C:\\Dst\\Answer\\01\\Answer.dat", platform::kAttrReadOnly);
    CopyTree("C:\\Src\\", "C:\\Dst\\", CopyFailure::kSkip);  // trailing backslashes
    EXPECT_EQ(Tree("C:\\Dst"), kFullTree);
    EXPECT_EQ(Read("C:\\Dst\\.hidden.txt"), "C:\\Dst\\.hidden.txt");
    EXPECT_EQ(Read("C:\\Dst\\Answer\\hidden.dat"), "C:\\Src\\Answer\\hidden.dat");
    // Attributes come with the copy.
    EXPECT_EQ(platform::FileAttributes("C:\\Dst\\system.bin") & 0x07u, 0x06u);
    EXPECT_EQ(platform::FileAttributes("C:\\Dst\\LevelInfo.dat") & 0x07u, 0x01u);
}

TEST_F(FolderTreeTest, CopyTreeStopRuleCopiesEverythingOrStopsAtTheFirstFailure) {
    MakeSourceTree("C:\\Src");
    // An earlier read-only copy is overwritten; the target's parents are made.
    Write("C:\\Temp\\Backup\\Inst\\a.txt", platform::kAttrReadOnly);
    long files = 0;
    EXPECT_TRUE(
        CopyTree("C:\\Src\\", "C:\\Temp\\Backup\\Inst", CopyFailure::kStop, [&files] { ++files; }));
    EXPECT_EQ(Tree("C:\\Temp\\Backup\\Inst"), kFullTree);
    EXPECT_EQ(Read("C:\\Temp\\Backup\\Inst\\a.txt"), "C:\\Src\\a.txt");
    EXPECT_EQ(files, 7);
    // One pump per listed entry: 9 in Src (with . and ..), 3 in .settings, 4 in Answer,
    // 3 in 01, 2 in Empty.
    EXPECT_EQ(g_dispatches, 21);

    EXPECT_FALSE(CopyTree("C:\\NoSource", "C:\\T1\\A", CopyFailure::kStop));
    EXPECT_FALSE(CopyTree("C:\\Src", "C:\\Src\\a.txt\\Sub", CopyFailure::kStop));
    // A folder where a file must go, deep down, stops the whole walk there.
    fs::create_directories(Host("C:\\Dst\\Answer\\01\\Answer.dat"));
    EXPECT_FALSE(CopyTree("C:\\Src", "C:\\Dst", CopyFailure::kStop));
    EXPECT_FALSE(Exists("C:\\Dst\\LevelInfo.dat"));
}

TEST_F(FolderTreeTest, EmptyFolderKeepsTheFolderAndItsDotNamesAndStopsAtFailures) {
    MakeSourceTree("C:\\Inst");
    ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Inst\\LevelInfo.dat", 0x80));
    EXPECT_TRUE(EmptyFolder("C:\\Inst\\"));
    EXPECT_EQ(Tree("C:\\Inst"), (Names{".hidden.txt", ".settings/", ".settings/prefs"}));
    EXPECT_FALSE(EmptyFolder("C:\\Inst\\.hidden.txt"));
    EXPECT_FALSE(EmptyFolder("C:\\Missing"));

    // A read-only file ends the walk: here at the top, in a subfolder, and a subfolder that
    // keeps a dot-name cannot be removed; each is a failed entry.
    const char* keepers[] = {"C:\\E1\\b.txt", "C:\\E2\\Sub\\b.txt", "C:\\E3\\Sub\\.keep"};
    for (const std::string keeper : keepers) {
        const std::string root = keeper.substr(0, 5);
        Write(root + "\\a.txt");
        Write(root + "\\Sub\\a.txt");
        Write(keeper, keeper.back() == 't' ? platform::kAttrReadOnly : platform::kAttrNormal);
        Write(root + "\\z.txt");
        EXPECT_FALSE(EmptyFolder(root)) << keeper;
        EXPECT_TRUE(Exists(keeper) && Exists(root + "\\z.txt")) << keeper;
        EXPECT_FALSE(Exists(root + "\\a.txt")) << keeper;
    }
}

TEST_F(FolderTreeTest, RemoveTreeResultAndTheWorkingFolderOnEveryReturn) {
    platform::CrtFile openFile;  // an open file cannot be deleted, as on Windows
    struct Case {
        const char* path;
        std::function<void()> setup;
        int result;
        const char* remains;  // what must still exist afterwards, or null for nothing
    };
    const Case cases[] = {
        {"C:\\Exam",
         [&] {
             MakeSourceTree("C:\\Exam");
             ASSERT_TRUE(platform::ChangeFileAttributes("C:\\Exam", platform::kAttrReadOnly));
         },
         1, nullptr},
        {"Tree\\Sub", [&] { MakeSourceTree("C:\\Work\\Tree\\Sub"); }, 1, "C:\\Work\\Tree"},
        {"C:\\Missing", [] {}, 1, nullptr},
        {"Q:\\NoDrive", [] {}, 1, nullptr},
        {"C:\\Work\\f.txt", [&] { Write("C:\\Work\\f.txt"); }, 0, "C:\\Work\\f.txt"},
        {"C:\\Open",
         [&] {
             Write("C:\\Open\\a.txt");
             Write("C:\\Open\\Sub\\b.txt");
             Write("C:\\Open\\Sub\\c.txt");
             openFile.Open("C:\\Open\\Sub\\b.txt", platform::CrtFile::kRead,
                           platform::CrtFile::kDenyNone);
         },
         0, "C:\\Open\\Sub\\c.txt"},
        // The working folder cannot be removed: it is emptied, stays, and is reported.
        {"C:\\Work", [&] { Write("C:\\Work\\Inner\\x.txt"); }, 0, "C:\\Work"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        c.setup();
        EXPECT_EQ(RemoveTree(c.path), c.result);
        EXPECT_EQ(Current(), "C:\\Work");
        if (c.remains != nullptr) {
            EXPECT_TRUE(Exists(c.remains));
        }
    }
    EXPECT_FALSE(Exists("C:\\Exam") || Exists("C:\\Work\\Tree\\Sub") || Exists("C:\\Open\\a.txt") ||
                 Exists("C:\\Work\\Inner"));
    EXPECT_EQ(testsupport::TempMachine::ReadHostFile(m_machine.Folder() + "/run/debug.log"),
              "폴더 삭제 실패 - 32\n");
    openFile.Close();
    EXPECT_EQ(RemoveTree("C:\\Open"), 1);

    // A working folder too long for the 260-unit buffer cannot be restored: nothing is
    // done, and a tree that is still there is not reported as removed.
    std::string deep = "C:\\Work";
    for (int i = 0; i < 26; ++i) {
        deep += "\\abcdefghij";
    }
    ASSERT_TRUE(MakePath(deep) && platform::ChangeCurrentFolder(deep));
    Write("C:\\Tree\\a.txt");
    EXPECT_EQ(RemoveTree("C:\\Tree"), 0);
    EXPECT_TRUE(Exists("C:\\Tree\\a.txt"));
    EXPECT_EQ(RemoveTree("C:\\Missing"), 1);
    EXPECT_EQ(Current(), deep);
}

}  // namespace
