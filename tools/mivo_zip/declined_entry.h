// Why the zip reader declined an entry without an error: the words mivo-zip and the
// package check both print, so that one failure reads the same in either tool.
#pragma once

#include <string>

#include "zip/zip_entry.h"

/// "entry not <verb> (...)" for an entry that ExtractEntry or TestEntry answered false for:
/// its compression method is not supported, or its data is shorter than its size, or its
/// time or attributes could not be set.
std::string DeclinedEntryReason(const CZipEntry& entry, const char* verb);
