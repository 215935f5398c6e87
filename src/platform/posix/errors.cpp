// The last-error code of the calling thread and the system's texts for error numbers, as a
// Korean Windows words them.
#include <utility>

#include "platform/crt_errno.h"
#include "platform/errors.h"

namespace platform {

namespace {

thread_local uint32_t t_lastError = 0;

// The message table of a Korean Windows for the numbers this program can meet.
constexpr std::pair<uint32_t, const char*> kSystemTexts[] = {
    {0, "작업을 완료했습니다."},
    {1, "기능이 잘못되었습니다."},
    {2, "지정된 파일을 찾을 수 없습니다."},
    {3, "지정된 경로를 찾을 수 없습니다."},
    {4, "시스템이 파일을 열 수 없습니다."},
    {5, "액세스가 거부되었습니다."},
    {6, "핸들이 잘못되었습니다."},
    {8, "이 명령을 처리할 메모리 리소스가 부족합니다."},
    {15, "시스템이 지정된 드라이브를 찾을 수 없습니다."},
    {16, "디렉터리를 제거할 수 없습니다."},
    {18, "더 이상 파일이 없습니다."},
    {21, "장치가 준비되지 않았습니다."},
    {32, "다른 프로세스가 파일을 사용 중이기 때문에 프로세스가 액세스 할 수 없습니다."},
    {53, "네트워크 경로를 찾을 수 없습니다."},
    {80, "파일이 있습니다."},
    {87, "매개 변수가 틀립니다."},
    {112, "디스크 공간이 부족합니다."},
    {122, "시스템 호출에 전달되는 데이터 영역이 너무 작습니다."},
    {123, "파일 이름, 디렉터리 이름 또는 볼륨 레이블 구문이 잘못되었습니다."},
    {145, "디렉터리가 비어 있지 않습니다."},
    {183, "파일이 이미 있으므로 만들 수 없습니다."},
    {193, "%1은(는) 올바른 Win32 응용 프로그램이 아닙니다."},
    {206, "파일 이름이나 확장명이 너무 깁니다."},
    {234, "데이터가 더 있습니다."},
    {267, "디렉터리 이름이 올바르지 않습니다."},
    {1407, "창 클래스를 찾을 수 없습니다."},
    {1812, "지정된 이미지 파일에 리소스 섹션이 없습니다."},
    {1813, "이미지 파일에서 지정된 리소스 종류를 찾을 수 없습니다."},
};

}  // namespace

uint32_t LastError() {
    return t_lastError;
}

void SetLastErrorCode(uint32_t code) {
    t_lastError = code;
}

std::string FormatSystemError(uint32_t code) {
    for (const auto& [number, text] : kSystemTexts) {
        if (number == code) {
            return std::string(text) + "\r\n";
        }
    }
    return "";
}

const char* CrtErrorText(int errnoValue) {
    // The Windows C runtime's strerror texts.
    switch (errnoValue) {
        case 0:
            return "No error";
        case 1:
            return "Operation not permitted";
        case 2:
            return "No such file or directory";
        case 5:
            return "Input/output error";
        case 9:
            return "Bad file descriptor";
        case 12:
            return "Not enough space";
        case 13:
            return "Permission denied";
        case 17:
            return "File exists";
        case 20:
            return "Not a directory";
        case 21:
            return "Is a directory";
        case 22:
            return "Invalid argument";
        case 24:
            return "Too many open files";
        case 27:
            return "File too large";
        case 28:
            return "No space left on device";
        case 29:
            return "Invalid seek";
        case 38:
            return "Filename too long";
        case 41:
            return "Directory not empty";
        default:
            return "Unknown error";
    }
}

}  // namespace platform
