// The file services where only Windows can answer: the path a library is opened under is
// the path itself (the simulated machine maps it onto its host). The cases both platforms
// answer alike are in tests/platform/files_contract_test.cpp.
#include "platform/files.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(WindowsFilesTest, LibraryFilePathIsThePathItself) {
    std::string library;
    ASSERT_TRUE(platform::LibraryFilePath("C:\\VemraExamDB\\자료.db", library));
    EXPECT_EQ(library, "C:\\VemraExamDB\\자료.db");
}

}  // namespace
