// Folder-tree operations on the simulated machine: what each copies, skips, deletes and
// keeps, where each stops, and the working folder after every return of RemoveTree.
#include "fileutil/folder_tree.h"

#include "platform/errors.h"
#include "platform/files.h"
#include "temp_machine.h"
#include "ui/view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Counts the dispatches PumpMessages asks of the view.
class CountingView : public ui::IView {
public:
    int ShowMessageBox(const std::string&, const std::string&, unsigned) override { return 0; }
    void DispatchPendingEvents() override { ++s_dispatches; }
    void ShowWaitCursor(bool) override {}
    const char* Name() const override { return "counting"; }
    static long s_dispatches;
};
long CountingView::s_dispatches = 0;

class FolderTreeTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        ui::SetView(std::make_unique<CountingView>());
        CountingView::s_dispatches = 0;
        fs::create_directories(m_machine.Host("C:\\Work"));
        ASSERT_TRUE(platform::ChangeCurrentFolder("C:\\Work"));
    }

    std::string Host(const std::string& path) const { return m_machine.Host(path); }
    void Write(const std::string& path, const std::string& contents = "data") const {
        m_machine.WriteHostFile(Host(path), contents);
    }
    std::string Read(const std::string& path) const {
        return testsupport::TempMachine::ReadHostFile(Host(path));
    }
    bool Exists(const std::string& path) const { return fs::exists(Host(path)); }
    void Folder(const std::string& path) const { fs::create_directories(Host(path)); }
    static void SetAttributes(const std::string& path, uint32_t attributes) {
        ASSERT_TRUE(platform::ChangeFileAttributes(path, attributes)) << path;
    }

    // Every entry below `folder`, relative, sorted; folders end with "/".
    std::vector<std::string> Tree(const std::string& folder) const {
        std::vector<std::string> entries;
        const fs::path root = Host(folder);
        for (const auto& e : fs::recursive_directory_iterator(root)) {
            std::string name = fs::relative(e.path(), root).string();
            if (e.is_directory()) {
                name += '/';
            }
            entries.push_back(name);
        }
        std::sort(entries.begin(), entries.end());
        return entries;
    }

    // A source tree with dot-names, hidden, system and read-only files and a nested folder.
    void MakeSourceTree(const std::string& root) const {
        Write(root + "\\a.txt", "alpha");
        Write(root + "\\.settings\\prefs", "dot folder");
        Write(root + "\\.hidden.txt", "dot file");
        Write(root + "\\Answer\\01\\Answer.dat", "answers");
        Write(root + "\\Answer\\hidden.dat", "hidden");
        Write(root + "\\LevelInfo.dat", "level");
        Write(root + "\\system.bin", "system");
        Folder(root + "\\Empty");
        SetAttributes(root + "\\Answer\\hidden.dat", platform::kAttrHidden);
        SetAttributes(root + "\\system.bin", platform::kAttrSystem | platform::kAttrHidden);
        SetAttributes(root + "\\LevelInfo.dat", platform::kAttrReadOnly);
    }

    static std::string Current() {
        std::string folder;
        EXPECT_TRUE(platform::CurrentFolder(folder));
        return folder;
    }

    std::string DebugLog() const {
        return testsupport::TempMachine::ReadHostFile(m_machine.Folder() + "/run/debug.log");
    }
};

const std::vector<std::string> kFullTree = {
    ".hidden.txt",          ".settings/",        ".settings/prefs", "Answer/",       "Answer/01/",
    "Answer/01/Answer.dat", "Answer/hidden.dat", "Empty/",          "LevelInfo.dat", "a.txt",
    "system.bin",
};
const std::vector<std::string> kTreeWithoutDotNames = {
    "Answer/",       "Answer/01/", "Answer/01/Answer.dat", "Answer/hidden.dat", "Empty/",
    "LevelInfo.dat", "a.txt",      "system.bin",
};

// ---- StripTrailingBackslash and MakePath

TEST_F(FolderTreeTest, StripTrailingBackslashRemovesBlanksThenOneBackslash) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\A\\B\\", "C:\\A\\B"},
        {"C:\\A\\B\\\\", "C:\\A\\B\\"},
        {"C:\\A\\ \t\r\n", "C:\\A"},
        {"C:\\A\\B", "C:\\A\\B"},
        {"C:\\", "C:"},
        {"\\", ""},
        {"", ""},
        {"C:\\A \\ ", "C:\\A "},
    };
    for (const auto& [in, out] : cases) {
        SCOPED_TRACE(in);
        std::string path = in;
        StripTrailingBackslash(path);
        EXPECT_EQ(path, out);
    }
}

TEST_F(FolderTreeTest, MakePathCreatesEveryMissingFolder) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\A\\B\\", "C:\\A\\B"},                      // trailing backslash
        {"C:\\D\\\\E", "C:\\D\\E"},                      // doubled backslash
        {"C:\\F\\G\\H  ", "C:\\F\\G\\H"},                // trailing blanks
        {"Rel\\X\\Y", "C:\\Work\\Rel\\X\\Y"},            // relative to the working folder
        {"C:\\Work\\Rel\\X\\Z", "C:\\Work\\Rel\\X\\Z"},  // partly existing
        {"C:\\", "C:\\"},                                // the root exists
    };
    for (const auto& [path, made] : cases) {
        SCOPED_TRACE(path);
        EXPECT_TRUE(MakePath(path));
        EXPECT_TRUE(fs::is_directory(Host(made)));
    }
    EXPECT_EQ(Current(), "C:\\Work");
}

TEST_F(FolderTreeTest, MakePathOnAnExistingPathChangesNothing) {
    Write("C:\\A\\B\\keep.txt", "kept");
    SetAttributes("C:\\A\\B", platform::kAttrHidden);
    const auto before = fs::last_write_time(Host("C:\\A\\B"));
    EXPECT_TRUE(MakePath("C:\\A\\B\\"));
    EXPECT_EQ(Read("C:\\A\\B\\keep.txt"), "kept");
    EXPECT_EQ(platform::FileAttributes("C:\\A\\B"),
              platform::kAttrDirectory | platform::kAttrHidden);
    EXPECT_EQ(fs::last_write_time(Host("C:\\A\\B")), before);
}

TEST_F(FolderTreeTest, MakePathFailsWhereAFolderCannotBeMade) {
    Write("C:\\File", "not a folder");
    const char* cases[] = {"C:\\File\\Sub", "C:\\File\\Sub\\Deeper", "Q:\\NoSuchDrive\\A"};
    for (const char* path : cases) {
        SCOPED_TRACE(path);
        EXPECT_FALSE(MakePath(path));
    }
    EXPECT_EQ(Read("C:\\File"), "not a folder");
}

// ---- CopyTree

TEST_F(FolderTreeTest, CopyTreeCopiesEverythingButDotAndDotDot) {
    MakeSourceTree("C:\\Src");
    CopyTree("C:\\Dst", "C:\\Src");  // target first
    EXPECT_EQ(Tree("C:\\Dst"), kFullTree);
    EXPECT_EQ(Read("C:\\Dst\\Answer\\01\\Answer.dat"), "answers");
    EXPECT_EQ(Read("C:\\Dst\\.settings\\prefs"), "dot folder");
    // Attributes come with the copy and are not changed afterwards.
    EXPECT_NE(platform::FileAttributes("C:\\Dst\\LevelInfo.dat") & platform::kAttrReadOnly, 0u);
    EXPECT_NE(platform::FileAttributes("C:\\Dst\\Answer\\hidden.dat") & platform::kAttrHidden, 0u);
    EXPECT_NE(platform::FileAttributes("C:\\Dst\\system.bin") & platform::kAttrSystem, 0u);
}

TEST_F(FolderTreeTest, CopyTreeAcceptsTrailingBackslashesAndOverwrites) {
    MakeSourceTree("C:\\Src");
    Write("C:\\Dst\\a.txt", "old");
    Write("C:\\Dst\\other.txt", "stays");
    CopyTree("C:\\Dst\\", "C:\\Src\\");  // every joined path gets a doubled backslash
    std::vector<std::string> expected = kFullTree;
    expected.push_back("other.txt");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Tree("C:\\Dst"), expected);
    EXPECT_EQ(Read("C:\\Dst\\a.txt"), "alpha");
}

TEST_F(FolderTreeTest, CopyTreeMakesOneLevelOnlyAndSkipsWhatItCannotCopy) {
    MakeSourceTree("C:\\Src");
    // A target whose parent is missing: nothing is made or copied.
    CopyTree("C:\\Missing\\Dst", "C:\\Src");
    EXPECT_FALSE(Exists("C:\\Missing"));

    // A source that does not exist: the target is made, nothing else.
    CopyTree("C:\\Made", "C:\\NoSource");
    EXPECT_TRUE(fs::is_directory(Host("C:\\Made")));
    EXPECT_TRUE(Tree("C:\\Made").empty());

    // A read-only target file cannot be overwritten; the walk goes on past it.
    Write("C:\\Dst\\Answer\\01\\Answer.dat", "old answers");
    SetAttributes("C:\\Dst\\Answer\\01\\Answer.dat", platform::kAttrReadOnly);
    Write("C:\\Dst\\.hidden.txt", "old dot file");
    SetAttributes("C:\\Dst\\.hidden.txt", platform::kAttrReadOnly);
    CopyTree("C:\\Dst", "C:\\Src");
    EXPECT_EQ(Tree("C:\\Dst"), kFullTree);
    EXPECT_EQ(Read("C:\\Dst\\.hidden.txt"), "old dot file");
    EXPECT_EQ(Read("C:\\Dst\\Answer\\01\\Answer.dat"), "old answers");
    EXPECT_EQ(Read("C:\\Dst\\a.txt"), "alpha");
    EXPECT_EQ(Read("C:\\Dst\\Answer\\hidden.dat"), "hidden");
}

// ---- CopyFolder

TEST_F(FolderTreeTest, CopyFolderLeavesDotNamesOutAndPumpsBeforeEveryEntry) {
    MakeSourceTree("C:\\Src");
    EXPECT_TRUE(CopyFolder("C:\\Src", "C:\\Temp\\Backup\\Inst"));  // source first
    EXPECT_EQ(Tree("C:\\Temp\\Backup\\Inst"), kTreeWithoutDotNames);
    EXPECT_EQ(Read("C:\\Temp\\Backup\\Inst\\Answer\\01\\Answer.dat"), "answers");
    EXPECT_NE(platform::FileAttributes("C:\\Temp\\Backup\\Inst\\Answer\\hidden.dat") &
                  platform::kAttrHidden,
              0u);
    // Root: . .. .hidden.txt .settings a.txt Answer Empty LevelInfo.dat system.bin (9);
    // Answer: . .. 01 hidden.dat (4); Answer\01: . .. Answer.dat (3); Empty: . .. (2).
    EXPECT_EQ(CountingView::s_dispatches, 18);
}

TEST_F(FolderTreeTest, CopyFolderOfAnEmptyFolderOrWithBackslashes) {
    Folder("C:\\EmptySrc");
    EXPECT_TRUE(CopyFolder("C:\\EmptySrc", "C:\\New\\Target"));
    EXPECT_TRUE(fs::is_directory(Host("C:\\New\\Target")));

    MakeSourceTree("C:\\Src");
    EXPECT_TRUE(CopyFolder("C:\\Src\\", "C:\\Dst\\"));
    EXPECT_EQ(Tree("C:\\Dst"), kTreeWithoutDotNames);
}

TEST_F(FolderTreeTest, CopyFolderFailsOnAMissingSourceAfterMakingTheTarget) {
    EXPECT_FALSE(CopyFolder("C:\\NoSource", "C:\\Temp\\A\\B"));
    EXPECT_TRUE(fs::is_directory(Host("C:\\Temp\\A\\B")));

    // A file is no folder to copy from either.
    Write("C:\\NotAFolder", "x");
    EXPECT_FALSE(CopyFolder("C:\\NotAFolder", "C:\\Temp\\C"));
    EXPECT_TRUE(fs::is_directory(Host("C:\\Temp\\C")));
    EXPECT_TRUE(Tree("C:\\Temp\\C").empty());

    // A target that cannot be made.
    EXPECT_FALSE(CopyFolder("C:\\Work", "C:\\NotAFolder\\Sub"));
}

TEST_F(FolderTreeTest, CopyFolderStopsAtTheFirstFileItCannotCopy) {
    Write("C:\\Src\\a.txt", "a");
    Write("C:\\Src\\b.txt", "b");
    Write("C:\\Src\\c.txt", "c");
    Write("C:\\Src\\d\\e.txt", "e");
    Write("C:\\Dst\\b.txt", "old b");
    SetAttributes("C:\\Dst\\b.txt", platform::kAttrReadOnly);
    EXPECT_FALSE(CopyFolder("C:\\Src", "C:\\Dst"));
    EXPECT_EQ(Tree("C:\\Dst"), (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(Read("C:\\Dst\\b.txt"), "old b");

    // A failure deep down stops the walk above it too.
    SetAttributes("C:\\Dst\\b.txt", platform::kAttrNormal);
    Write("C:\\Src\\d\\f.txt", "f");
    Write("C:\\Dst\\d\\e.txt", "old e");
    SetAttributes("C:\\Dst\\d\\e.txt", platform::kAttrReadOnly);
    Write("C:\\Src\\z.txt", "z");
    EXPECT_FALSE(CopyFolder("C:\\Src", "C:\\Dst"));
    EXPECT_EQ(Tree("C:\\Dst"),
              (std::vector<std::string>{"a.txt", "b.txt", "c.txt", "d/", "d/e.txt"}));
}

// ---- EmptyFolder

TEST_F(FolderTreeTest, EmptyFolderKeepsTheFolderAndItsDotNames) {
    MakeSourceTree("C:\\Inst");
    SetAttributes("C:\\Inst\\LevelInfo.dat", platform::kAttrNormal);
    EXPECT_TRUE(EmptyFolder("C:\\Inst"));
    EXPECT_EQ(Tree("C:\\Inst"),
              (std::vector<std::string>{".hidden.txt", ".settings/", ".settings/prefs"}));
    EXPECT_GE(CountingView::s_dispatches, 9);

    Folder("C:\\Nothing");
    EXPECT_TRUE(EmptyFolder("C:\\Nothing\\"));
    EXPECT_TRUE(fs::is_directory(Host("C:\\Nothing")));
}

TEST_F(FolderTreeTest, EmptyFolderRefusesWhatIsNoFolder) {
    Write("C:\\File.txt", "x");
    EXPECT_FALSE(EmptyFolder("C:\\File.txt"));
    EXPECT_EQ(Read("C:\\File.txt"), "x");
    EXPECT_FALSE(EmptyFolder("C:\\Missing"));
}

TEST_F(FolderTreeTest, EmptyFolderStopsAtAReadOnlyFile) {
    Write("C:\\Inst\\a.txt");
    Write("C:\\Inst\\b.txt");
    Write("C:\\Inst\\c.txt");
    SetAttributes("C:\\Inst\\b.txt", platform::kAttrReadOnly);
    EXPECT_FALSE(EmptyFolder("C:\\Inst"));
    EXPECT_EQ(Tree("C:\\Inst"), (std::vector<std::string>{"b.txt", "c.txt"}));
}

TEST_F(FolderTreeTest, EmptyFolderFailsWhenASubfolderKeepsSomething) {
    // A read-only file deep down, and a dot-name that EmptyFolder never deletes: either
    // keeps its subfolder, which is then a failed entry and ends the walk.
    const std::pair<const char*, const char*> keepers[] = {
        {"C:\\Inst\\Sub\\zlocked.txt", "read-only"},
        {"C:\\Inst\\Sub\\.keep", "dot-name"},
    };
    for (const auto& [keeper, why] : keepers) {
        SCOPED_TRACE(why);
        Write("C:\\Inst\\Sub\\other.txt");
        Write(keeper);
        Write("C:\\Inst\\z.txt");
        if (std::string(why) == "read-only") {
            SetAttributes(keeper, platform::kAttrReadOnly);
        }
        EXPECT_FALSE(EmptyFolder("C:\\Inst"));
        EXPECT_TRUE(Exists(keeper));
        EXPECT_TRUE(Exists("C:\\Inst\\z.txt"));
        EXPECT_FALSE(Exists("C:\\Inst\\Sub\\other.txt"));
        fs::permissions(Host(keeper), fs::perms::owner_write, fs::perm_options::add);
        fs::remove_all(Host("C:\\Inst"));
    }
}

// ---- RemoveTree

TEST_F(FolderTreeTest, RemoveTreeRemovesReadOnlyHiddenAndDotNames) {
    MakeSourceTree("C:\\VemraExamDB");
    SetAttributes("C:\\VemraExamDB\\Answer", platform::kAttrReadOnly | platform::kAttrHidden);
    SetAttributes("C:\\VemraExamDB", platform::kAttrReadOnly);
    EXPECT_EQ(RemoveTree("C:\\VemraExamDB"), 1);
    EXPECT_FALSE(Exists("C:\\VemraExamDB"));
    EXPECT_EQ(Current(), "C:\\Work");
    EXPECT_EQ(DebugLog(), "");
}

TEST_F(FolderTreeTest, RemoveTreeOnNothingReturnsOneAndTouchesNothing) {
    const char* cases[] = {"C:\\Missing", "C:\\Missing\\Deeper", "Missing", "Q:\\NoDrive"};
    for (const char* path : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(RemoveTree(path), 1);
        EXPECT_EQ(Current(), "C:\\Work");
    }
}

TEST_F(FolderTreeTest, RemoveTreeOnAFileRemovesNothingAndSaysSo) {
    Write("C:\\Work\\file.txt", "x");
    EXPECT_EQ(RemoveTree("C:\\Work\\file.txt"), 0);
    EXPECT_EQ(Read("C:\\Work\\file.txt"), "x");
    EXPECT_EQ(Current(), "C:\\Work");
}

TEST_F(FolderTreeTest, RemoveTreeResolvesRelativeNamesAgainstTheWorkingFolder) {
    MakeSourceTree("C:\\Work\\Tree\\Sub");
    Write("C:\\Work\\Tree\\keep.txt", "kept");
    EXPECT_EQ(RemoveTree("Tree\\Sub"), 1);
    EXPECT_EQ(Current(), "C:\\Work");
    EXPECT_EQ(Tree("C:\\Work\\Tree"), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(RemoveTree("Tree"), 1);
    EXPECT_EQ(Current(), "C:\\Work");
    EXPECT_FALSE(Exists("C:\\Work\\Tree"));
}

TEST_F(FolderTreeTest, RemoveTreeStopsAtAFileThatCannotBeDeleted) {
    // An open file cannot be deleted, as on Windows. Once at the top, once two levels down.
    const char* openFiles[] = {"C:\\Scratch\\b.txt", "C:\\Scratch\\Sub\\Deep\\b.txt"};
    for (const char* open : openFiles) {
        SCOPED_TRACE(open);
        Write("C:\\Scratch\\a.txt");
        Write("C:\\Scratch\\Sub\\Deep\\a.txt");
        Write("C:\\Scratch\\Sub\\Deep\\b.txt");
        Write("C:\\Scratch\\b.txt");
        Write("C:\\Scratch\\c.txt");
        platform::CrtFile file;
        ASSERT_EQ(file.Open(open, platform::CrtFile::kRead, platform::CrtFile::kDenyNone), 0);
        EXPECT_EQ(RemoveTree("C:\\Scratch"), 0);
        EXPECT_EQ(Current(), "C:\\Work");
        EXPECT_TRUE(Exists(open));
        EXPECT_FALSE(Exists("C:\\Scratch\\a.txt"));  // deleted before the failure
        file.Close();
        EXPECT_EQ(RemoveTree("C:\\Scratch"), 1);
        EXPECT_EQ(Current(), "C:\\Work");
        EXPECT_FALSE(Exists("C:\\Scratch"));
    }
    EXPECT_EQ(DebugLog(), "");
}

TEST_F(FolderTreeTest, RemoveTreeReportsAFolderItCannotRemove) {
    // The working folder itself cannot be removed: it is emptied and stays.
    Write("C:\\Work\\Inner\\x.txt");
    Write("C:\\Work\\y.txt");
    EXPECT_EQ(RemoveTree("C:\\Work"), 0);
    EXPECT_EQ(Current(), "C:\\Work");
    EXPECT_TRUE(fs::is_directory(Host("C:\\Work")));
    EXPECT_TRUE(Tree("C:\\Work").empty());
    EXPECT_EQ(DebugLog(), "폴더 삭제 실패 - 32\n");
}

TEST_F(FolderTreeTest, RemoveTreeWithAWorkingFolderTooLongToSave) {
    // 26 levels of ten letters: a working folder of more than 259 UTF-16 units.
    std::string deep = "C:\\Work";
    for (int i = 0; i < 26; ++i) {
        deep += "\\abcdefghij";
    }
    ASSERT_TRUE(MakePath(deep));
    ASSERT_TRUE(platform::ChangeCurrentFolder(deep));
    ASSERT_EQ(Current(), deep);
    Write("C:\\Tree\\a.txt");
    // The folder could not be restored, so nothing is done; a tree that stays is no success.
    EXPECT_EQ(RemoveTree("C:\\Tree"), 0);
    EXPECT_TRUE(Exists("C:\\Tree\\a.txt"));
    EXPECT_EQ(RemoveTree("C:\\Missing"), 1);
    EXPECT_EQ(Current(), deep);
}

}  // namespace
