// Shared by the platform implementations (not part of the interface): a C runtime broken-down
// time as the platform's LocalTime, and back.
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

/// A broken-down time of `local` for mktime: the weekday is left to it, and whether
/// daylight saving time applies too (tm_isdst -1).
inline struct tm ToTm(const LocalTime& local) {
    struct tm t {};
    t.tm_year = local.year - 1900;
    t.tm_mon = local.month - 1;
    t.tm_mday = local.day;
    t.tm_hour = local.hour;
    t.tm_min = local.minute;
    t.tm_sec = local.second;
    t.tm_isdst = -1;
    return t;
}

}  // namespace platform::detail
