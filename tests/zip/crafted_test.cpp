// Crafted and damaged archives through the installer's own loop: open, extract every entry
// to C:\out in index order, stop at the first false, close after an exception. Each case of
// the table says how that loop must end, which files must (not) be there, and nothing may
// ever be written outside C:\out.
#include "crafted_cases.h"
#include "temp_machine.h"
#include "zip/zip_error.h"
#include "zip/zip_reader.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// The reader's part of the road, in the order the installer calls it.
std::string RunInstallerLoop(const ziptest::CraftedCase& c, std::vector<std::string>& names) {
    CZipReader reader;
    size_t index = 0;
    bool opened = false;
    try {
        EXPECT_TRUE(reader.Open(c.where, c.mode));
        opened = true;
        reader.SetActionCallback(nullptr,
                                 CZipReader::kCallbackExtract | CZipReader::kCallbackUnconsulted);
        if (c.ignoredChecks) {
            reader.SetIgnoredChecks(*c.ignoredChecks);
        }
        const size_t count = reader.GetEntryCount();
        for (index = 0; index < count; ++index) {
            CZipEntry* entry = reader.GetEntryInfo(index);
            if (entry == nullptr) {
                return "no entry " + std::to_string(index);
            }
            names.push_back(entry->GetFileName());
            if (!reader.ExtractEntry(index, "C:\\out")) {
                reader.Close(0);
                return "false " + std::to_string(index);
            }
        }
        reader.Close(0);
        return "done " + std::to_string(count);
    } catch (const CZipError& error) {
        reader.Close(1);
        return (opened ? "entry " + std::to_string(index) + " " : "open ") +
               std::to_string(error.Code());
    }
}

std::string ReadWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class CraftedArchive : public ::testing::TestWithParam<ziptest::CraftedCase> {};

TEST_P(CraftedArchive, EndsAsTheTableSays) {
    const ziptest::CraftedCase& c = GetParam();
    testsupport::TempMachine machine("D = fixed, drive_d\nE = removable, drive_e\n");
    const fs::path root = machine.Folder();
    fs::create_directories(root / "drive_d");
    fs::create_directories(root / "drive_e");
    fs::create_directories(root / "drive_c" / "out");
    const ziptest::CraftedFiles files = c.make();
    const fs::path archive = machine.Host(c.where);
    if (!files.archive.empty()) {
        machine.WriteHostFile(archive.string(), files.archive);
    }
    for (const auto& [name, bytes] : files.beside) {
        machine.WriteHostFile((archive.parent_path() / name).string(), bytes);
    }
    if (c.setup) {
        c.setup(machine.Folder());
    }

    std::vector<std::string> names;
    std::string outcome = RunInstallerLoop(c, names);
    if (c.expect.rfind("fail ", 0) == 0) {
        // Hostile values may be refused at open or at the entry; only the code is fixed.
        const std::string code = c.expect.substr(4);  // " CODE"
        const bool threw = outcome.rfind("open ", 0) == 0 || outcome.rfind("entry ", 0) == 0;
        if (threw && outcome.size() > code.size() &&
            outcome.compare(outcome.size() - code.size(), code.size(), code) == 0) {
            outcome = c.expect;
        }
    }
    EXPECT_EQ(outcome, c.expect);
    if (!c.names.empty()) {
        EXPECT_EQ(names, c.names);
    }

    const fs::path out = root / "drive_c" / "out";
    for (const std::string& expected : c.outputs) {
        SCOPED_TRACE(expected);
        if (expected[0] == '!') {
            EXPECT_FALSE(fs::exists(out / expected.substr(1)));
        } else if (expected.back() == '/') {
            EXPECT_TRUE(fs::is_directory(out / expected));
        } else {
            const size_t equals = expected.find('=');
            ASSERT_NE(equals, std::string::npos);
            const fs::path file = out / expected.substr(0, equals);
            ASSERT_TRUE(fs::is_regular_file(file));
            EXPECT_EQ(ReadWhole(file), expected.substr(equals + 1));
        }
    }

    // Whatever the archive says, nothing lands outside C:\out but the archive's own files.
    for (const char* drive : {"drive_c", "drive_d", "drive_e"}) {
        for (const auto& item : fs::recursive_directory_iterator(root / drive)) {
            const fs::path relative = fs::relative(item.path(), root / drive);
            const std::string top = relative.begin()->string();
            const bool allowed = (std::string(drive) == "drive_c" &&
                                  (top == "out" || top == "pkg" || top == "Windows")) ||
                                 (std::string(drive) == "drive_e" && top == "pkg");
            EXPECT_TRUE(allowed) << "written outside the folder: " << drive << "/" << relative;
        }
    }
}

std::string CaseName(const ::testing::TestParamInfo<ziptest::CraftedCase>& info) {
    std::string name = info.param.name;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Table, CraftedArchive, ::testing::ValuesIn(ziptest::CraftedCases()),
                         CaseName);

// The case names are the test names: two cases with one name would hide one of them.
TEST(CraftedTable, NamesAreUnique) {
    std::set<std::string> seen;
    for (const auto& c : ziptest::CraftedCases()) {
        EXPECT_TRUE(seen.insert(c.name).second) << c.name;
    }
}

}  // namespace
