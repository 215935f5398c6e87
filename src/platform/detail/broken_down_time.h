// Shared by the platform implementations (not part of the interface): a C runtime broken-down
// time as the platform's LocalTime.
#pragma once

#include <ctime>

#include "platform/system.h"

namespace platform::detail {

/// The fields of `t` as a LocalTime (milliseconds 0).
inline void FromTm(const struct tm& t, LocalTime& local) {
    local.year = t.tm_year + 1900;
    local.month = t.tm_mon + 1;
    local.day = t.tm_mday;
    local.hour = t.tm_hour;
    local.minute = t.tm_min;
    local.second = t.tm_sec;
    local.weekday = t.tm_wday;
    local.milliseconds = 0;
}

}  // namespace platform::detail
