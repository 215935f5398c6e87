// mivo-zip as people and scripts use it: the list format, the test summary, the one-line
// error report with the reader's code, the exit statuses.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "temp_machine.h"
#include "test_archive.h"

namespace {

struct ToolRun {
    int status = -1;
    std::string out;
    std::string err;
};

class ToolTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return m_machine.Folder() + "/" + name; }
    void WriteFile(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
    }
    ToolRun Tool(const std::string& arguments) const {
        std::string errFile = Path("stderr.txt");
        std::string command = std::string(MIVO_ZIP_TOOL) + " " + arguments + " 2>" + errFile;
        ToolRun run;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            ADD_FAILURE() << "cannot run " << command;
            return run;
        }
        char buffer[4096];
        size_t n = 0;
        while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
            run.out.append(buffer, n);
        }
        int status = pclose(pipe);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.err = testsupport::TempMachine::ReadHostFile(errFile);
        return run;
    }

    testsupport::TempMachine m_machine;  // only for its temporary folder
};

TEST_F(ToolTest, ListPrintsOneTabSeparatedLinePerEntryInIndexOrder) {
    ziptest::Options options;
    options.reverseDirectory = true;
    WriteFile("a.zip", ziptest::Build({{.name = "dir/", .data = "", .externalAttr = 0x10},
                                       {.name = "dir/a.txt",
                                        .data = "hello",
                                        .externalAttr = 0x21,
                                        .modTime = (13 << 11) | (45 << 5) | 29,
                                        .modDate = (46 << 9) | (12 << 5) | 7},
                                       {.name = "amiga", .data = "x", .system = 1}},
                                      options));
    ToolRun run = Tool("list " + Path("a.zip"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.out,
              "0\tdir\\\t0\t0\t0\t00000000\t2020-01-01 00:00:00\t0x10\n"
              "1\tdir\\a.txt\t5\t5\t0\t3610a686\t2026-12-07 13:45:58\t0x21\n"
              "2\tamiga\t1\t1\t0\t8cdc1683\t2020-01-01 00:00:00\tnone\n");
}

TEST_F(ToolTest, FailuresAreOneLineWithTheCodeAndThePath) {
    WriteFile("good.zip",
              ziptest::Build({{.name = "a.txt", .data = "a"}, {.name = "b/", .data = ""}}));
    WriteFile("crc.zip", ziptest::Build({{.name = "a.txt", .data = "a", .wrongCrc = true}}));
    WriteFile("evil.zip", ziptest::Build({{.name = "../evil.txt", .data = "x"}}));
    WriteFile("lzma.zip", ziptest::Build({{.name = "a.bin", .data = "x", .method = 14}}));
    WriteFile("junk.zip", std::string(100, 'j'));
    struct Case {
        std::string arguments;
        int status;
        std::string out;
        std::string err;
    };
    const std::string out = Path("out");
    const Case cases[] = {
        {"test " + Path("good.zip"), 0, "2 entries OK\n", ""},
        {"test " + Path("crc.zip"), 1, "",
         "mivo-zip: error 202: CRC-32 of the extracted data differs: " + Path("crc.zip") + "\n"},
        {"extract " + Path("crc.zip") + " " + out, 1, "",
         "mivo-zip: error 202: CRC-32 of the extracted data differs: " + out + "/a.txt\n"},
        {"extract " + Path("evil.zip") + " " + out, 1, "",
         "mivo-zip: error 224: entry would be written outside the destination folder: " + out +
             "/../evil.txt\n"},
        {"test " + Path("lzma.zip"), 1, "",
         "mivo-zip: error 0: entry not sound (compression method 14 not supported): a.bin\n"},
        {"list " + Path("junk.zip"), 1, "",
         "mivo-zip: error 220: end of central directory not found: " + Path("junk.zip") + "\n"},
        {"list " + Path("missing.zip"), 1, "",
         "mivo-zip: error 2: No such file or directory: " + Path("missing.zip") + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        ToolRun run = Tool(c.arguments);
        EXPECT_EQ(run.status, c.status);
        EXPECT_EQ(run.out, c.out);
        EXPECT_EQ(run.err, c.err);
    }
    EXPECT_FALSE(std::filesystem::exists(Path("evil.txt")));
}

TEST_F(ToolTest, ExtractCreatesTheFolderAndRelativePathsWork) {
    WriteFile("good.zip",
              ziptest::Build({{.name = "a.txt", .data = "a"}, {.name = "b/c.txt", .data = "c"}}));
    ToolRun run = Tool("extract " + Path("good.zip") + " " + Path("new/folder"));
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(testsupport::TempMachine::ReadHostFile(Path("new/folder/b/c.txt")), "c");
    // Relative host paths are taken from the working directory.
    run = Tool("extract good.zip rel -C");  // wrong usage: one argument too many
    EXPECT_EQ(run.status, 2);
    std::string command =
        "cd " + m_machine.Folder() + " && " + MIVO_ZIP_TOOL + " extract good.zip rel";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_EQ(testsupport::TempMachine::ReadHostFile(Path("rel/a.txt")), "a");
}

}  // namespace
