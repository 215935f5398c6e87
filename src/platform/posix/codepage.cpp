// Windows code pages decoded with the C library's iconv, as MultiByteToWideChar decodes
// them: a byte sequence the code page does not define becomes U+FFFD.
#include <iconv.h>

#include <cerrno>
#include <string>

#include "platform/text.h"

namespace platform {

namespace {

std::string IconvName(unsigned codePage) {
    switch (codePage) {
        case 65001:
            return "UTF-8";
        case 20127:
            return "ASCII";
        case 28591:
            return "ISO-8859-1";
        case 1200:
            return "UTF-16LE";
        default:
            return "CP" + std::to_string(codePage);
    }
}

void Latin1(std::string_view bytes, std::string& out) {
    std::u16string units;
    for (unsigned char c : bytes) {
        units.push_back(c);
    }
    out = Utf16ToUtf8(units);
}

}  // namespace

bool CodePageToUtf8(unsigned codePage, std::string_view bytes, std::string& out) {
    out.clear();
    if (codePage == 65001) {
        out = Utf16ToUtf8(Utf8ToUtf16(bytes));  // replaces malformed sequences
        return true;
    }
    iconv_t cd = iconv_open("UTF-8", IconvName(codePage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        Latin1(bytes, out);
        return false;
    }
    std::string input(bytes);
    char* in = input.data();
    size_t inLeft = input.size();
    std::string buffer(input.size() * 4 + 16, '\0');
    while (inLeft > 0) {
        char* outPtr = buffer.data();
        size_t outLeft = buffer.size();
        const size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer.data(), buffer.size() - outLeft);
        if (r == static_cast<size_t>(-1)) {
            if (errno == E2BIG) {
                continue;
            }
            // An undefined or cut-off sequence: one replacement, then go on after the byte.
            out += "\xEF\xBF\xBD";
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return true;
}

}  // namespace platform
