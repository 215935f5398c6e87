// The last-error contract and FormatSystemError: the texts a Korean Windows gives for the
// codes the installer shows, each with the line break of Windows' message table.
#include "platform/errors.h"
#include "platform/crt_errno.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

namespace {

TEST(ErrorsTest, FormatSystemErrorGivesKoreanSystemTexts) {
    struct Row {
        uint32_t code;
        const char* text;
    };
    const Row rows[] = {
        {platform::kErrorFileNotFound, "지정된 파일을 찾을 수 없습니다.\r\n"},
        {platform::kErrorPathNotFound, "지정된 경로를 찾을 수 없습니다.\r\n"},
        {platform::kErrorAccessDenied, "액세스가 거부되었습니다.\r\n"},
        {platform::kErrorSharingViolation,
         "다른 프로세스가 파일을 사용 중이기 때문에 프로세스가 액세스 할 수 없습니다.\r\n"},
        {platform::kErrorDiskFull, "디스크 공간이 부족합니다.\r\n"},
        {platform::kErrorDirNotEmpty, "디렉터리가 비어 있지 않습니다.\r\n"},
        {platform::kErrorAlreadyExists, "파일이 이미 있으므로 만들 수 없습니다.\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE("code " + std::to_string(row.code));
        EXPECT_EQ(platform::FormatSystemError(row.code), row.text);
    }
}

TEST(ErrorsTest, UnknownCodeGivesEmptyText) {
    EXPECT_EQ(platform::FormatSystemError(0xDEAD), "");
    EXPECT_EQ(platform::FormatSystemError(0xFFFFFFFFu), "");
}

TEST(ErrorsTest, LastErrorBelongsToTheThread) {
    platform::SetLastErrorCode(platform::kErrorAccessDenied);
    uint32_t seenByOther = 1;
    std::thread other([&seenByOther] {
        seenByOther = platform::LastError();
        platform::SetLastErrorCode(platform::kErrorDiskFull);
    });
    other.join();
    EXPECT_EQ(seenByOther, 0u) << "a new thread starts with no error";
    EXPECT_EQ(platform::LastError(), platform::kErrorAccessDenied);
}

TEST(ErrorsTest, CrtErrorTextsAreTheRuntimes) {
    EXPECT_STREQ(platform::CrtErrorText(platform::kErrnoNoEnt), "No such file or directory");
    EXPECT_STREQ(platform::CrtErrorText(platform::kErrnoAccess), "Permission denied");
}

}  // namespace
