// Facts about the simulated machine and the moment: system folder, screen, special
// folders, local time (in the machine's time zone), waiting, the tick counter and the
// debugger output, which goes to run/debug.log.
#include <cerrno>
#include <ctime>

#include "platform/detail/broken_down_time.h"
#include "platform/errors.h"
#include "platform/posix/internal.h"
#include "platform/system.h"

namespace platform {

using namespace platform::posix;

std::string SystemFolder() {
    return Machine().systemDirectory;
}

int ScreenWidth() {
    return Machine().screenWidth;
}

int ScreenHeight() {
    return Machine().screenHeight;
}

bool SpecialFolderPath(int csidl, std::string& path) {
    switch (csidl) {
        case kCsidlDesktop:
        case kCsidlDesktopDirectory:
            path = Machine().desktop;
            return true;
        case kCsidlCommonDesktopDirectory:
            path = Machine().commonDesktop;
            return true;
        default:
            SetLastErrorCode(kErrorFileNotFound);
            return false;
    }
}

using detail::FromTm;

LocalTime CurrentLocalTime() {
    struct timespec now {};
    clock_gettime(CLOCK_REALTIME, &now);
    struct tm t {};
    localtime_r(&now.tv_sec, &t);
    LocalTime local;
    FromTm(t, local);
    local.milliseconds = static_cast<int>(now.tv_nsec / 1000000);
    return local;
}

int64_t CurrentUnixTime() {
    return static_cast<int64_t>(time(nullptr));
}

bool UnixToLocalTime(int64_t seconds, LocalTime& local) {
    // The Windows runtime converts 0 through the last second of the year 3000.
    constexpr int64_t kLast = 32535215999LL;
    if (seconds < 0 || seconds > kLast) {
        local = LocalTime{};
        return false;
    }
    const time_t t = static_cast<time_t>(seconds);
    struct tm parts {};
    if (localtime_r(&t, &parts) == nullptr) {
        local = LocalTime{};
        return false;
    }
    FromTm(parts, local);
    return true;
}

int64_t LocalTimeToUnix(const LocalTime& local) {
    struct tm t = detail::ToTm(local);
    const time_t result = mktime(&t);
    return result == static_cast<time_t>(-1) ? -1 : static_cast<int64_t>(result);
}

void SleepMilliseconds(uint32_t milliseconds) {
    struct timespec wait {};
    wait.tv_sec = milliseconds / 1000;
    wait.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    while (nanosleep(&wait, &wait) != 0 && errno == EINTR) {
    }
}

uint32_t TickCount() {
    struct timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ms =
        static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec / 1000000);
    return static_cast<uint32_t>(ms);
}

void DebugOutput(const std::string& text) {
    AppendRunLog("debug.log", text);
}

unsigned AnsiCodePage() {
    return Machine().ansiCodePage;
}

unsigned OemCodePage() {
    return Machine().oemCodePage;
}

}  // namespace platform
