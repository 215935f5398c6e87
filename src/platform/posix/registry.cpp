// The registry of the simulated machine: HKEY_LOCAL_MACHINE kept in registry.reg as
// "Windows Registry Editor Version 5.00" text, read anew at each access and written whole
// through a temporary file and a rename, under a lock, so that several processes share it.
//
// Value forms: REG_SZ as "text" (the stored terminator is implied: a string read back
// always carries one), REG_DWORD of four bytes as dword:, every other value as hex(N): or
// hex: (REG_BINARY), so that any bytes survive the round trip.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <vector>

#include "platform/errors.h"
#include "platform/posix/internal.h"
#include "platform/registry.h"
#include "platform/text.h"

namespace platform {

struct RegistryKeyTag {
    std::string path;     // key path below HKEY_LOCAL_MACHINE ("" for the root)
    uint32_t access = 0;  // KEY_* rights the key was opened with
};

using namespace platform::posix;

namespace {

constexpr const char* kHeader = "Windows Registry Editor Version 5.00";
constexpr const char* kRootName = "HKEY_LOCAL_MACHINE";

struct RegValue {
    std::string name;  // "" for the default value
    uint32_t type = kRegNone;
    std::vector<uint8_t> data;
};

struct RegKey {
    std::string path;  // below HKEY_LOCAL_MACHINE, as first written
    std::vector<RegValue> values;
};

struct RegistryData {
    std::vector<RegKey> keys;  // in file order
    bool utf16 = false;        // UTF-16LE with a byte-order mark, as regedit exports it;
                               // written back the same way

    RegKey* Find(const std::string& path) {
        for (RegKey& key : keys) {
            if (SameNameNoCase(key.path, path)) {
                return &key;
            }
        }
        return nullptr;
    }
};

RegistryKeyTag g_root;

std::string TrimRight(std::string s) {
    while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) {
        s.pop_back();
    }
    return s;
}

bool ParseQuoted(const std::string& text, size_t& pos, std::string& out) {
    if (pos >= text.size() || text[pos] != '"') {
        return false;
    }
    ++pos;
    out.clear();
    while (pos < text.size()) {
        const char c = text[pos++];
        if (c == '"') {
            return true;
        }
        if (c == '\\') {
            if (pos >= text.size()) {
                return false;
            }
            out.push_back(text[pos++]);
        } else {
            out.push_back(c);
        }
    }
    return false;
}

bool ParseHexBytes(const std::string& text, std::vector<uint8_t>& out) {
    out.clear();
    std::string digits;
    for (size_t i = 0; i <= text.size(); ++i) {
        const char c = i < text.size() ? text[i] : ',';
        if (c == ',') {
            if (digits.empty()) {
                if (i == text.size()) {
                    break;
                }
                return false;
            }
            if (digits.size() > 2) {
                return false;
            }
            out.push_back(static_cast<uint8_t>(std::strtoul(digits.c_str(), nullptr, 16)));
            digits.clear();
        } else if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits.push_back(c);
        } else if (c != ' ' && c != '\t') {
            return false;
        }
    }
    return true;
}

std::vector<uint8_t> StringData(const std::string& text) {
    const std::u16string units = Utf8ToUtf16(text);
    std::vector<uint8_t> data;
    data.reserve(units.size() * 2 + 2);
    for (char16_t u : units) {
        data.push_back(static_cast<uint8_t>(u & 0xFF));
        data.push_back(static_cast<uint8_t>(u >> 8));
    }
    data.push_back(0);
    data.push_back(0);
    return data;
}

// UTF-16LE bytes (after the byte-order mark) as UTF-8 text.
std::string FromUtf16Le(const std::string& bytes) {
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return Utf16ToUtf8(units);
}

// UTF-8 text as regedit writes it: UTF-16LE with a byte-order mark and CR LF line ends.
std::string ToUtf16Le(const std::string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : Utf8ToUtf16(text)) {
        if (unit == u'\n') {
            bytes += std::string("\r\0", 2);
        }
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

// Parses the whole text; false with "line N: ..." in `problem`.
bool Parse(const std::string& fileBytes, RegistryData& data, std::string& problem) {
    data.utf16 = fileBytes.size() >= 2 && fileBytes[0] == '\xFF' && fileBytes[1] == '\xFE';
    const std::string text = data.utf16 ? FromUtf16Le(fileBytes) : fileBytes;
    std::istringstream in(text);
    std::string raw;
    int lineNumber = 0;
    bool sawHeader = false;
    RegKey* current = nullptr;
    const auto fail = [&](const std::string& what) {
        problem = "line " + std::to_string(lineNumber) + ": " + what;
        return false;
    };
    while (std::getline(in, raw)) {
        ++lineNumber;
        std::string line = TrimRight(raw);
        if (lineNumber == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) {
            line = line.substr(3);
        }
        const int startLine = lineNumber;
        // Hex lists continue on the next line after a trailing backslash.
        while (!line.empty() && line.back() == '\\' && line.find("=hex") != std::string::npos) {
            line.pop_back();
            std::string more;
            if (!std::getline(in, more)) {
                break;
            }
            ++lineNumber;
            more = TrimRight(more);
            const auto first = more.find_first_not_of(" \t");
            line += first == std::string::npos ? "" : more.substr(first);
        }
        if (line.empty() || line[0] == ';') {
            continue;
        }
        if (!sawHeader) {
            if (line != kHeader) {
                return fail(std::string("expected \"") + kHeader + "\"");
            }
            sawHeader = true;
            continue;
        }
        if (line[0] == '[') {
            if (line.back() != ']') {
                return fail("key line without closing bracket");
            }
            std::string path = line.substr(1, line.size() - 2);
            const std::string root = kRootName;
            if (!SameNameNoCase(path.substr(0, root.size()), root) ||
                (path.size() > root.size() && path[root.size()] != '\\')) {
                return fail("only keys below HKEY_LOCAL_MACHINE are kept here");
            }
            path = path.size() > root.size() ? path.substr(root.size() + 1) : "";
            current = data.Find(path);
            if (current == nullptr) {
                data.keys.push_back(RegKey{path, {}});
                current = &data.keys.back();
            }
            continue;
        }
        if (current == nullptr) {
            return fail("value before any key");
        }
        RegValue value;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!ParseQuoted(line, pos, value.name)) {
            return fail("expected a quoted value name");
        }
        if (pos >= line.size() || line[pos] != '=') {
            return fail("expected = after the value name");
        }
        ++pos;
        const std::string rest = line.substr(pos);
        if (!rest.empty() && rest[0] == '"') {
            size_t p = 0;
            std::string stringValue;
            if (!ParseQuoted(rest, p, stringValue) || p != rest.size()) {
                return fail("unterminated string");
            }
            value.type = kRegSz;
            value.data = StringData(stringValue);
        } else if (rest.rfind("dword:", 0) == 0) {
            const std::string digits = rest.substr(6);
            if (digits.empty() || digits.size() > 8 ||
                digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
                return fail("dword: needs up to 8 hexadecimal digits");
            }
            const uint32_t v = static_cast<uint32_t>(std::strtoul(digits.c_str(), nullptr, 16));
            value.type = kRegDword;
            value.data = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                          static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 24)};
        } else if (rest.rfind("hex", 0) == 0) {
            size_t p = 3;
            value.type = kRegBinary;
            if (p < rest.size() && rest[p] == '(') {
                const auto close = rest.find(')', p);
                if (close == std::string::npos) {
                    return fail("hex( without )");
                }
                value.type = static_cast<uint32_t>(
                    std::strtoul(rest.substr(p + 1, close - p - 1).c_str(), nullptr, 16));
                p = close + 1;
            }
            if (p >= rest.size() || rest[p] != ':') {
                return fail("expected hex: or hex(N):");
            }
            if (!ParseHexBytes(rest.substr(p + 1), value.data)) {
                return fail("bad hexadecimal byte list");
            }
        } else {
            lineNumber = startLine;
            return fail("unknown value form (expected \"text\", dword: or hex:)");
        }
        bool replaced = false;
        for (RegValue& existing : current->values) {
            if (SameNameNoCase(existing.name, value.name)) {
                existing = value;
                replaced = true;
            }
        }
        if (!replaced) {
            current->values.push_back(value);
        }
    }
    if (!sawHeader && lineNumber > 0) {
        return fail(std::string("expected \"") + kHeader + "\"");
    }
    return true;
}

std::string Quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    return out + "\"";
}

// A REG_SZ's text when its bytes are plain text (optionally terminated), else false.
bool AsPlainString(const std::vector<uint8_t>& data, std::string& text) {
    if (data.size() % 2 != 0) {
        return false;
    }
    std::u16string units;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        units.push_back(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    }
    if (!units.empty() && units.back() == 0) {
        units.pop_back();
    }
    for (char16_t u : units) {
        if (u == 0 || u == u'\n' || u == u'\r') {
            return false;
        }
    }
    text = Utf16ToUtf8(units);
    return Utf8ToUtf16(text) == units;
}

// Keys in tree order, as regedit lists them: a key before its subkeys, names compared
// without regard to case.
std::vector<const RegKey*> TreeOrder(const RegistryData& data) {
    std::vector<const RegKey*> keys;
    for (const RegKey& key : data.keys) {
        keys.push_back(&key);
    }
    const auto sortKey = [](const std::string& path) {
        std::u16string units;
        for (char16_t u : Utf8ToUtf16(path)) {
            units.push_back(u == u'\\' ? char16_t{1} : UpcaseUnit(u));
        }
        return units;
    };
    std::stable_sort(keys.begin(), keys.end(), [&](const RegKey* a, const RegKey* b) {
        return sortKey(a->path) < sortKey(b->path);
    });
    return keys;
}

std::string Serialise(const RegistryData& data) {
    std::ostringstream out;
    out << kHeader << "\n";
    for (const RegKey* keyInOrder : TreeOrder(data)) {
        const RegKey& key = *keyInOrder;
        out << "\n[" << kRootName << (key.path.empty() ? "" : "\\") << key.path << "]\n";
        for (const RegValue& value : key.values) {
            out << (value.name.empty() ? "@" : Quote(value.name)) << "=";
            std::string text;
            if (value.type == kRegSz && AsPlainString(value.data, text)) {
                out << Quote(text);
            } else if (value.type == kRegDword && value.data.size() == 4) {
                char buf[16];
                const uint32_t v = value.data[0] | (value.data[1] << 8) | (value.data[2] << 16) |
                                   (static_cast<uint32_t>(value.data[3]) << 24);
                std::snprintf(buf, sizeof buf, "dword:%08x", v);
                out << buf;
            } else {
                char buf[16];
                if (value.type == kRegBinary) {
                    out << "hex:";
                } else {
                    std::snprintf(buf, sizeof buf, "hex(%x):", value.type);
                    out << buf;
                }
                for (size_t i = 0; i < value.data.size(); ++i) {
                    std::snprintf(buf, sizeof buf, "%s%02x", i ? "," : "", value.data[i]);
                    out << buf;
                }
            }
            out << "\n";
        }
    }
    return out.str();
}

// Holds the registry's lock file for the life of the object.
class RegistryLock {
public:
    explicit RegistryLock(bool exclusive) {
        const std::string file = RegistryFile();
        if (file.empty()) {
            return;
        }
        m_fd = open((file + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        if (m_fd >= 0) {
            flock(m_fd, exclusive ? LOCK_EX : LOCK_SH);
        }
    }
    ~RegistryLock() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;

private:
    int m_fd = -1;
};

// Reads registry.reg; a missing file is an empty registry. Answers a Win32 error.
long Load(RegistryData& data) {
    data = RegistryData{};
    const std::string file = RegistryFile();
    if (file.empty()) {
        return kErrorFileNotFound;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return kErrorSuccess;
    }
    std::ostringstream text;
    text << in.rdbuf();
    std::string problem;
    return Parse(text.str(), data, problem) ? kErrorSuccess : 1009;  // ERROR_BADDB
}

long Save(const RegistryData& data) {
    const std::string file = RegistryFile();
    const std::string temp = file + ".tmp." + std::to_string(getpid());
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out << (data.utf16 ? ToUtf16Le(Serialise(data)) : Serialise(data));
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return kErrorDiskFull;
        }
    }
    if (std::rename(temp.c_str(), file.c_str()) != 0) {
        std::remove(temp.c_str());
        return kErrorAccessDenied;
    }
    return kErrorSuccess;
}

std::string Join(RegistryHandle root, const std::string& subkey) {
    std::string base = root == nullptr ? "" : root->path;
    std::string sub = subkey;
    while (!sub.empty() && sub.front() == '\\') {
        sub.erase(0, 1);
    }
    while (!sub.empty() && sub.back() == '\\') {
        sub.pop_back();
    }
    if (base.empty()) {
        return sub;
    }
    return sub.empty() ? base : base + "\\" + sub;
}

RegistryHandle NewHandle(const std::string& path, uint32_t access) {
    // Owned by the caller until CloseRegistryKey frees it, as a Win32 key handle is.
    return std::make_unique<RegistryKeyTag>(RegistryKeyTag{path, access}).release();
}

}  // namespace

RegistryHandle LocalMachineRoot() {
    return &g_root;
}

long OpenRegistryKey(RegistryHandle root, const std::string& subkey, uint32_t /*options*/,
                     uint32_t access, RegistryHandle* key) {
    if (root == nullptr || key == nullptr) {
        return kErrorInvalidHandle;
    }
    RegistryLock lock(false);
    RegistryData data;
    const long loaded = Load(data);
    if (loaded != kErrorSuccess) {
        return loaded;
    }
    const std::string path = Join(root, subkey);
    if (!path.empty() && data.Find(path) == nullptr) {
        return kErrorFileNotFound;
    }
    *key = NewHandle(path, access);
    return kErrorSuccess;
}

long CreateRegistryKey(RegistryHandle root, const std::string& subkey, uint32_t /*options*/,
                       uint32_t access, RegistryHandle* key) {
    if (root == nullptr || key == nullptr) {
        return kErrorInvalidHandle;
    }
    RegistryLock lock(true);
    RegistryData data;
    const long loaded = Load(data);
    if (loaded != kErrorSuccess) {
        return loaded;
    }
    const std::string path = Join(root, subkey);
    bool changed = false;
    // Every missing key along the path is created, parents first.
    size_t pos = 0;
    while (!path.empty()) {
        const size_t next = path.find('\\', pos);
        const std::string prefix = path.substr(0, next);
        if (data.Find(prefix) == nullptr) {
            data.keys.push_back(RegKey{prefix, {}});
            changed = true;
        }
        if (next == std::string::npos) {
            break;
        }
        pos = next + 1;
    }
    if (changed) {
        const long saved = Save(data);
        if (saved != kErrorSuccess) {
            return saved;
        }
    }
    *key = NewHandle(path, access);
    return kErrorSuccess;
}

long QueryRegistryValue(RegistryHandle key, const std::string& name, uint32_t* type, uint8_t* data,
                        uint32_t* size) {
    if (key == nullptr) {
        return kErrorInvalidHandle;
    }
    if (data != nullptr && size == nullptr) {
        return kErrorInvalidParameter;
    }
    if (key != &g_root && (key->access & kKeyQueryValue) == 0) {
        return kErrorAccessDenied;
    }
    RegistryLock lock(false);
    RegistryData registry;
    const long loaded = Load(registry);
    if (loaded != kErrorSuccess) {
        return loaded;
    }
    RegKey* k = registry.Find(key->path);
    if (k == nullptr) {
        return 1018;  // ERROR_KEY_DELETED
    }
    for (const RegValue& value : k->values) {
        if (!SameNameNoCase(value.name, name)) {
            continue;
        }
        if (type != nullptr) {
            *type = value.type;
        }
        const uint32_t needed = static_cast<uint32_t>(value.data.size());
        if (data == nullptr) {
            if (size != nullptr) {
                *size = needed;
            }
            return kErrorSuccess;
        }
        if (*size < needed) {
            *size = needed;
            return kErrorMoreData;
        }
        if (needed > 0) {
            std::memcpy(data, value.data.data(), needed);
        }
        *size = needed;
        return kErrorSuccess;
    }
    return kErrorFileNotFound;
}

long SetRegistryValue(RegistryHandle key, const std::string& name, uint32_t type,
                      const uint8_t* data, uint32_t size) {
    if (key == nullptr || key == &g_root) {
        return kErrorInvalidHandle;
    }
    if ((key->access & kKeySetValue) == 0) {
        return kErrorAccessDenied;
    }
    if (data == nullptr && size > 0) {
        return kErrorInvalidParameter;
    }
    RegistryLock lock(true);
    RegistryData registry;
    const long loaded = Load(registry);
    if (loaded != kErrorSuccess) {
        return loaded;
    }
    RegKey* k = registry.Find(key->path);
    if (k == nullptr) {
        return 1018;  // ERROR_KEY_DELETED
    }
    RegValue value{name, type, std::vector<uint8_t>(data, data + size)};
    bool replaced = false;
    for (RegValue& existing : k->values) {
        if (SameNameNoCase(existing.name, name)) {
            existing = value;
            replaced = true;
        }
    }
    if (!replaced) {
        k->values.push_back(value);
    }
    return Save(registry);
}

long CloseRegistryKey(RegistryHandle key) {
    if (key == nullptr) {
        return kErrorInvalidHandle;
    }
    if (key != &g_root) {
        std::unique_ptr<RegistryKeyTag> owned(key);
    }
    return kErrorSuccess;
}

}  // namespace platform

namespace platform::posix {

bool CheckRegistryText(const std::string& text, std::string& problem) {
    RegistryData data;
    return Parse(text, data, problem);
}

}  // namespace platform::posix
