// Why the zip reader declined an entry.
#include "declined_entry.h"

std::string DeclinedEntryReason(const CZipEntry& entry, const char* verb) {
    const uint16_t method = entry.m_method;
    if (method != CZipEntry::kMethodStored && method != CZipEntry::kMethodDeflate &&
        method != CZipEntry::kMethodBzip2) {
        return std::string("entry not ") + verb + " (compression method " + std::to_string(method) +
               " not supported)";
    }
    return std::string("entry not ") + verb +
           " (data shorter than its size, or time or attributes not set)";
}
