// Contract of the shell links: the files SaveShellLink writes are read back by lnkinfo
// (liblnk, a reader that shares no code with ours), with every property as it was set.
#include "platform/files.h"
#include "platform/shell.h"
#include "temp_machine.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>

namespace {

// lnkinfo's first-level "Name : value" lines as a map; empty when lnkinfo fails.
std::map<std::string, std::string> LnkInfo(const std::string& hostPath) {
    std::map<std::string, std::string> fields;
    const std::string command = "lnkinfo -c windows-949 '" + hostPath + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return fields;
    }
    char line[4096];
    while (fgets(line, sizeof line, pipe) != nullptr) {
        std::string text = line;
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        // "\tName\t\t\t: value" at the first level; deeper levels describe shell items.
        const size_t colon = text.find(": ");
        if (text.size() < 2 || text[0] != '\t' || text[1] == '\t' || colon == std::string::npos) {
            continue;
        }
        std::string name = text.substr(1, colon - 1);
        name.erase(name.find_last_not_of(" \t") + 1);
        fields[name] = text.substr(colon + 2);
    }
    if (pclose(pipe) != 0) {
        fields.clear();
    }
    return fields;
}

class ShellLinkTest : public testsupport::MachineTest {
protected:
    void SetUp() override {
        if (access("/usr/bin/lnkinfo", X_OK) != 0) {
            GTEST_SKIP() << "lnkinfo is missing (Debian package liblnk-utils)";
        }
        m_machine.WriteHostFile(m_machine.Host("C:\\Vemra\\VemraExam.exe"), "MZ");
        std::filesystem::create_directories(m_machine.Host("C:\\Users\\Desktop"));
    }
};

TEST_F(ShellLinkTest, LnkinfoReadsEveryProperty) {
    platform::ShellLink link;
    link.target = "C:\\Vemra\\VemraExam.exe";
    link.description = "제 35 회 세무2급 시험";
    link.arguments = "/exam \"두 단어\"";
    link.iconPath = "C:\\Vemra\\VemraExam.exe";
    link.iconIndex = 2;
    link.workingFolder = "C:\\Vemra";
    const std::string linkPath = "C:\\Users\\Desktop\\제 35 회 세무2급.lnk";
    ASSERT_EQ(platform::SaveShellLink(link, linkPath), platform::kShellOk);

    const auto fields = LnkInfo(m_machine.Host(linkPath));
    ASSERT_FALSE(fields.empty()) << "lnkinfo cannot read the file";
    const std::map<std::string, std::string> expected = {
        {"Local path", "C:\\Vemra\\VemraExam.exe"},      {"Description", "제 35 회 세무2급 시험"},
        {"Command line arguments", "/exam \"두 단어\""}, {"Working directory", "C:\\Vemra"},
        {"Icon location", "C:\\Vemra\\VemraExam.exe"},   {"Icon index", "2"},
    };
    for (const auto& [name, value] : expected) {
        SCOPED_TRACE(name);
        const auto found = fields.find(name);
        ASSERT_NE(found, fields.end());
        EXPECT_EQ(found->second, value);
    }
}

TEST_F(ShellLinkTest, OnlyTheTargetIsNeeded) {
    platform::ShellLink link;
    link.target = "C:\\Vemra\\VemraExam.exe";
    ASSERT_EQ(platform::SaveShellLink(link, "C:\\Users\\Desktop\\plain.lnk"), platform::kShellOk);
    const auto fields = LnkInfo(m_machine.Host("C:\\Users\\Desktop\\plain.lnk"));
    ASSERT_FALSE(fields.empty()) << "lnkinfo cannot read the file";
    EXPECT_EQ(fields.count("Working directory"), 0u) << "not set, not written";
    ASSERT_EQ(fields.count("Local path"), 1u);
    EXPECT_EQ(fields.at("Local path"), "C:\\Vemra\\VemraExam.exe");
}

TEST_F(ShellLinkTest, SavingReplacesAndFailsAsWin32Does) {
    platform::ShellLink link;
    link.target = "C:\\Vemra\\VemraExam.exe";
    link.description = "first";
    const std::string path = "C:\\Users\\Desktop\\exam.lnk";
    ASSERT_EQ(platform::SaveShellLink(link, path), platform::kShellOk);
    link.description = "second";
    ASSERT_EQ(platform::SaveShellLink(link, path), platform::kShellOk);
    EXPECT_EQ(LnkInfo(m_machine.Host(path))["Description"], "second");

    EXPECT_EQ(platform::SaveShellLink(link, "C:\\NoSuchFolder\\exam.lnk"),
              static_cast<long>(0x80070003L));
    ASSERT_TRUE(platform::ChangeFileAttributes(path, platform::kAttrReadOnly));
    EXPECT_EQ(platform::SaveShellLink(link, path), platform::kShellAccessDenied);
}

}  // namespace
