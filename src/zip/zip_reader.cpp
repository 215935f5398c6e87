// CZipReader: opening and closing archives, and extracting entries below a folder.
#include "zip/zip_reader.h"

#include <vector>

#include "platform/crt_errno.h"
#include "platform/files.h"
#include "platform/system.h"
#include "platform/text.h"
#include "zip/little_endian.h"
#include "zip/path_parts.h"
#include "zip/zip_cipher_aes.h"
#include "zip/zip_cipher_traditional.h"

namespace {

// Windows refuses paths of MAX_PATH characters or more (248 for folders) unless they carry
// the long-path prefix.
constexpr size_t kFolderPathLimit = 248;
constexpr size_t kFilePathLimit = 260;
constexpr size_t kPathUnitLimit = 32767;  // with the prefix, in UTF-16 units
constexpr char kLongPrefix[] = "\\\\?\\";
constexpr char kLongUncPrefix[] = "\\\\?\\unc\\";

std::string LongPath(const std::string& path, size_t limit) {
    // UTF-8 never has fewer bytes than UTF-16 has units: short strings need no count.
    if (path.size() < limit || platform::Utf16Length(path) < limit ||
        CPathParts::PrefixMatchLength(path) > 3) {
        return path;
    }
    if (path.size() >= 2 && path[0] == '\\' && path[1] == '\\') {
        return kLongUncPrefix + path.substr(2);
    }
    return kLongPrefix + path;
}

// Windows takes no longer path even with the long-path prefix. Such a name is refused
// before any folder of it is made, which also bounds what one name can cost.
bool ExceedsPathLimit(const std::string& path) {
    return platform::Utf16Length(LongPath(path, kFilePathLimit)) > kPathUnitLimit;
}

std::string WithoutTrailingSeparators(std::string text) {
    while (!text.empty() && (text.back() == '\\' || text.back() == '/')) {
        text.pop_back();
    }
    return text;
}

// One callback kind per listed value; composite values need all their bits.
constexpr int kCallbackKinds[] = {0x1,    0x2,    0x4,    0x8,    0x10,   0x20,
                                  0x40,   0x80,   0x100,  0x200,  0x400,  0x800,
                                  0x1001, 0x2000, 0x4000, 0x8000, 0x1C000};

}  // namespace

CZipReader::CZipReader() = default;

CZipReader::~CZipReader() {
    if (m_openEntryState != 0) {
        FinishEntryAfterException();
    }
}

bool CZipReader::Open(const std::string& path, int mode, uint32_t ignoredChecks) {
    if (IsOpen()) {
        return false;
    }
    m_storage.Open(path, mode);
    m_password.Release();
    m_openEntryState = 0;
    m_directory.Clear();
    m_directory.m_ignoredChecks = ignoredChecks;
    m_archiveSystem = 0;
    m_lastEnsuredFolder.clear();
    m_ownFolders.clear();
    m_examinedFolders.clear();
    m_writtenNames.clear();
    try {
        m_directory.Read(m_storage);
    } catch (...) {
        m_directory.Clear();
        try {
            m_storage.Close(false, false);
        } catch (const CZipError&) {
            // The error that matters is the one being thrown.
        }
        throw;
    }
    if (CZipEntry* first = m_directory.Get(0)) {
        switch (first->m_system) {
            case 0:
            case 3:
            case 6:
            case 7:
            case 11:
            case 15:
            case 20:
                m_archiveSystem = first->m_system;
                break;
            default:
                break;
        }
    }
    return true;
}

void CZipReader::SetActionCallback(CZipActionCallback* callback, int kinds) {
    for (int kind : kCallbackKinds) {
        if ((kinds & kind) != kind) {
            continue;
        }
        if (callback != nullptr) {
            m_callbacks[kind] = callback;
        } else {
            m_callbacks.erase(kind);
        }
    }
}

uint64_t CZipReader::GetEntryCount() const {
    return IsOpen() ? m_directory.GetCount() : 0;
}

CZipEntry* CZipReader::GetEntryInfo(uint64_t index) const {
    if (!IsOpen() || index == kNoIndex) {
        return nullptr;
    }
    return m_directory.Get(index);
}

std::string CZipReader::ComputeExtractPath(const std::string& name,
                                           const std::string& folder) const {
    if (name.empty()) {
        return folder;
    }
    std::string path = folder;
    if (!path.empty()) {
        path = WithoutTrailingSeparators(path) + "\\";
    }
    std::string relative = WithoutTrailingSeparators(name);
    if (m_stripDrive) {
        relative = CPathParts(relative).PathWithoutDrive();
    }
    return path + relative;
}

bool CZipReader::ResolveInsideFolder(const std::string& path, const std::string& folder,
                                     std::string& resolved) {
    std::string base = folder.empty() ? std::string() : WithoutTrailingSeparators(folder) + "\\";
    if (path.size() <= base.size() || path.compare(0, base.size(), base) != 0) {
        // The folder itself (an empty name), or a path not formed below it.
        resolved = path;
        return path == folder || path == base;
    }
    std::vector<std::string> parts;
    size_t pos = base.size();
    while (pos <= path.size()) {
        size_t end = path.find_first_of("\\/", pos);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string part = path.substr(pos, end - pos);
        pos = end + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        if (part == "..") {
            if (parts.empty()) {
                return false;
            }
            parts.pop_back();
            continue;
        }
        if (part.find_first_not_of(". ") == std::string::npos) {
            // Windows drops trailing dots and spaces: "...", ".. " may mean the parent.
            return false;
        }
        parts.push_back(std::move(part));
    }
    resolved = base;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i != 0) {
            resolved += '\\';
        }
        resolved += parts[i];
    }
    if (parts.empty()) {
        resolved = folder;
    }
    return true;
}

bool CZipReader::EnsureDirectory(const std::string& path) {
    // Up to the deepest folder that exists, then down making the rest: a loop, not a call
    // per level, since a name may nest thousands of folders. Each folder above is normally
    // the start of the one below, and is then kept as its length only.
    struct Missing {
        size_t length;      // the folder is path[0, length)
        std::string other;  // or this, when it is not the start of the one below
    };
    std::vector<Missing> missing;
    std::string folder = WithoutTrailingSeparators(path);
    std::string current = folder;
    for (;;) {
        std::string parent = CPathParts(current).ParentPath();
        if (parent == current) {
            break;  // a root
        }
        uint32_t attributes = platform::FileAttributes(LongPath(current, kFolderPathLimit));
        if (attributes != platform::kInvalidAttributes &&
            (attributes & platform::kAttrDirectory) != 0) {
            break;
        }
        if (folder.compare(0, current.size(), current) == 0) {
            missing.push_back({current.size(), std::string()});
        } else {
            missing.push_back({0, current});
        }
        parent = WithoutTrailingSeparators(std::move(parent));
        if (parent.size() >= current.size()) {
            break;  // nothing shorter above: as a root
        }
        current = std::move(parent);
    }
    for (auto step = missing.rbegin(); step != missing.rend(); ++step) {
        const std::string made = step->other.empty() ? folder.substr(0, step->length) : step->other;
        if (!platform::MakeFolder(LongPath(made, kFolderPathLimit))) {
            return false;
        }
        m_ownFolders.insert(NameKey(made));
    }
    return true;
}

std::u16string CZipReader::NameKey(const std::string& path) {
    std::u16string key = platform::Utf8ToUtf16(path);
    for (char16_t& unit : key) {
        unit = platform::UpcaseUnit(unit);
    }
    return key;
}

void CZipReader::ExamineDestination(const std::string& folder) {
    std::string trimmed = WithoutTrailingSeparators(folder);
    std::u16string key = NameKey(trimmed);
    if (!m_examinedFolders.insert(key).second) {
        return;
    }
    platform::FileFinder finder;
    platform::FindData data;
    if (!finder.First(LongPath(trimmed + "\\*", kFolderPathLimit), data)) {
        return;  // missing: EnsureDirectory makes it and counts it as its own
    }
    do {
        if (data.name != "." && data.name != "..") {
            return;
        }
    } while (finder.Next(data));
    m_ownFolders.insert(key);
}

bool CZipReader::MayExist(const std::string& path, const std::string& parent) const {
    if (m_ownFolders.find(NameKey(parent)) == m_ownFolders.end()) {
        return true;
    }
    std::u16string key = NameKey(path);
    return m_writtenNames.find(key) != m_writtenNames.end() ||
           m_ownFolders.find(key) != m_ownFolders.end();
}

void CZipReader::OpenOutputFile(CZipDiskFile& output, const std::string& path,
                                const std::string& parent, bool parentEnsured) {
    // Where nothing can be in the way, the file is created as new: one call, and anything
    // another program put there meanwhile makes it fail, so that what the reader believes
    // is checked rather than trusted.
    if (!MayExist(path, parent)) {
        int error = output.OpenOrError(path, CZipDiskFile::kOutputFile | CZipDiskFile::kCreateNew);
        if (error == 0) {
            m_writtenNames.insert(NameKey(path));
            return;
        }
        if (error == platform::kErrnoNoEnt && !parentEnsured) {
            // The folder went away since the previous entry.
            m_lastEnsuredFolder.clear();
            EnsureDirectory(parent);
            parentEnsured = true;
        }
    }
    if (platform::FileAttributes(LongPath(path, kFolderPathLimit)) !=
            platform::kInvalidAttributes &&
        !platform::RemoveFile(LongPath(path, kFilePathLimit))) {
        CZipError::Throw(CZipError::kNotRemoved, path);
    }
    int error = output.OpenOrError(path, CZipDiskFile::kOutputFile);
    if (error == platform::kErrnoNoEnt && !parentEnsured) {
        m_lastEnsuredFolder.clear();
        EnsureDirectory(parent);
        error = output.OpenOrError(path, CZipDiskFile::kOutputFile);
    }
    if (error != 0) {
        CZipError::Throw(error, path);
    }
}

bool CZipReader::ExtractEntry(uint64_t index, const std::string& folder) {
    CZipEntry* entry = GetEntryInfo(index);
    if (entry == nullptr) {
        return false;
    }
    const std::string name = entry->GetFileName();
    std::string path = ComputeExtractPath(name, folder);
    std::string resolved;
    if (!ResolveInsideFolder(path, folder, resolved)) {
        CZipError::Throw(CZipError::kOutsideFolder, path);
    }
    path = resolved;
    if (ExceedsPathLimit(path)) {
        CZipError::Throw(platform::kErrnoNameTooLong, path);
    }
    ExamineDestination(folder);
    auto callback = m_callbacks.find(kCallbackExtract);
    if (callback != m_callbacks.end() &&
        !callback->second->OnAction(kCallbackExtract, name, path)) {
        CZipError::Throw(CZipError::kAbortedAction, path);
    }

    uint32_t attributes = entry->GetSystemAttributes();
    if ((attributes & platform::kAttrDirectory) != 0) {
        EnsureDirectory(path);
        platform::ChangeFileAttributes(LongPath(path, kFolderPathLimit), attributes);
        return true;
    }
    if (!OpenEntry(index)) {
        return false;
    }
    try {
        // Entries come in file order, mostly folder by folder: the folder made or found
        // for the previous entry needs no second look.
        std::string parent = CPathParts(path).ParentPath();
        bool parentEnsured = parent != m_lastEnsuredFolder;
        if (parentEnsured && EnsureDirectory(parent)) {
            m_lastEnsuredFolder = parent;
        }
        CZipDiskFile output;
        OpenOutputFile(output, path, parent, parentEnsured);
        m_copyBuffer.Allocate(kCopyBufferSize);
        for (;;) {
            // The same blocks as ReadEntryData gives, written from where the decoder has them.
            const uint8_t* data = nullptr;
            size_t count = m_decoder->DecodeView(m_copyBuffer.Size(), data, m_copyBuffer.Data());
            if (count == 0) {
                break;
            }
            output.Write(data, count);
        }
        return CloseEntry(&output) == kEntryComplete;
    } catch (...) {
        if (m_openEntryState != 0) {
            FinishEntryAfterException();
        }
        throw;
    }
}

bool CZipReader::TestEntry(uint64_t index) {
    CZipEntry* entry = GetEntryInfo(index);
    if (entry == nullptr) {
        return false;
    }
    // Any folder shows whether the name stays inside one.
    const std::string folder = "X:\\dest";
    std::string path = ComputeExtractPath(entry->GetFileName(), folder);
    std::string resolved;
    if (!ResolveInsideFolder(path, folder, resolved)) {
        CZipError::Throw(CZipError::kOutsideFolder, entry->GetFileName());
    }
    if (ExceedsPathLimit(resolved)) {
        CZipError::Throw(platform::kErrnoNameTooLong, entry->GetFileName());
    }
    if (entry->IsDirectory()) {
        return true;
    }
    if (!OpenEntry(index)) {
        return false;
    }
    try {
        m_copyBuffer.Allocate(kCopyBufferSize);
        while (ReadEntryData(m_copyBuffer.Data(), m_copyBuffer.Size()) != 0) {
        }
        return CloseEntry(nullptr) == kEntryComplete;
    } catch (...) {
        if (m_openEntryState != 0) {
            FinishEntryAfterException();
        }
        throw;
    }
}

void CZipReader::SetPassword(const std::string& password) {
    if (password.empty()) {
        m_password.Release();
    } else {
        m_password.Assign(password.data(), password.size());
    }
}

std::unique_ptr<CZipCipher> CZipReader::MakeCipher(uint8_t encryption) {
    if (encryption >= 1 && encryption <= 3) {
        return std::make_unique<CAesCipher>(encryption);
    }
    if (encryption == CZipEntry::kNoEncryption) {
        return nullptr;
    }
    return std::make_unique<CTraditionalCipher>();
}

std::unique_ptr<CZipDecoder> CZipReader::MakeDecoder(uint16_t method) {
    switch (method) {
        case CZipEntry::kMethodStored:
        case CZipEntry::kMethodDeflate:
            return std::make_unique<zipcodec::CDeflateDecoder>(m_storage);
        case CZipEntry::kMethodBzip2:
            return std::make_unique<zipcodec::CBzip2Decoder>(m_storage);
        default:
            return nullptr;
    }
}

bool CZipReader::OpenEntry(uint64_t index) {
    CZipEntry* entry = GetEntryInfo(index);
    if (entry == nullptr || m_openEntryState != 0) {
        return false;
    }
    const std::string& archive = m_storage.ArchivePath();
    m_storage.ChangeVolume(entry->m_diskStart);
    // Header and data the worker read ahead serve this entry's reads up to the decode,
    // without a system call; the view ends before the next entries are handed over.
    struct CViewEnd {
        CZipSource& storage;
        ~CViewEnd() { storage.ClearView(); }
    } viewEnd{m_storage};
    uint64_t viewStart = 0;
    const uint8_t* viewBytes = nullptr;
    size_t viewSize = 0;
    if (m_decoder && m_decoder->ReadAhead(*entry, viewStart, viewBytes, viewSize)) {
        m_storage.SetView(viewStart, viewBytes, viewSize);
    }
    m_storage.SeekToArchiveOffset(entry->m_localOffset);
    int64_t volume = m_storage.CurrentVolume();
    if (!entry->ReadLocalHeader(m_storage, m_directory.m_ignoredChecks)) {
        CZipError::Throw(CZipError::kBadArchive, archive);
    }
    if (m_storage.CurrentVolume() != volume && !m_storage.IsBinarySplit()) {
        CZipError::Throw(CZipError::kBadArchive, archive);
    }
    if (entry->m_dataLimit != UINT64_MAX) {
        // The data must end before the next entry's local header (or the directory).
        uint64_t end = 0;
        if (!zipformat::AddChecked(entry->m_localOffset, entry->m_localHeaderSize, end) ||
            !zipformat::AddChecked(end, entry->m_compressedSize, end) || end > entry->m_dataLimit) {
            CZipError::Throw(CZipError::kBadArchive, archive);
        }
    }
    uint16_t method = entry->m_method;
    if (method != CZipEntry::kMethodStored && method != CZipEntry::kMethodDeflate &&
        method != CZipEntry::kMethodBzip2) {
        m_directory.m_openedIndex = -1;
        return false;
    }
    if (entry->m_encryption != CZipEntry::kNoEncryption) {
        if (m_password.IsEmpty()) {
            CZipError::Throw(CZipError::kBadPassword, archive);
        }
        if (!m_cipher || !m_cipher->Accepts(entry->m_encryption)) {
            m_cipher = MakeCipher(entry->m_encryption);
        }
        bool skipCheck = (m_directory.m_ignoredChecks & CZipDirectory::kCheckDecryption) != 0;
        if (!m_cipher || !m_cipher->StartDecrypt(m_password, *entry, m_storage, skipCheck)) {
            CZipError::Throw(CZipError::kBadPassword, archive);
        }
    }
    if (!m_decoder || !m_decoder->Supports(method)) {
        m_storage.ClearView();  // the bytes are the old decoder's
        m_decoder = MakeDecoder(method);
        m_prefetchEnd = 0;
    }
    m_decoder->BeginDecoding(
        *entry, entry->m_encryption != CZipEntry::kNoEncryption ? m_cipher.get() : nullptr);
    m_storage.ClearView();
    m_openEntryState = -1;
    m_directory.m_openedIndex = static_cast<int64_t>(index);
    PrefetchAfter(index);
    return true;
}

void CZipReader::PrefetchAfter(uint64_t index) {
    if (m_storage.IsSegmented()) {
        return;
    }
    // Small entries go to the worker many at a time, so that a hand-over (two thread
    // wake-ups and the waits around them) is paid per batch rather than per entry; a batch
    // ends at this many entries or bytes of output, or at an entry not decoded ahead.
    constexpr size_t kBatchEntries = 64;
    constexpr uint64_t kBatchBytes = 2u << 20;
    constexpr uint64_t kLookahead = 4 * kBatchEntries;  // entries looked at, folders too
    uint64_t next = index + 1;
    // Reading in order, the entries up to m_prefetchEnd were handed over already: while the
    // worker still has them nothing is to be done, and then the next batch follows them.
    if (m_prefetchEnd > next && m_prefetchEnd - next <= kLookahead) {
        if (m_decoder->IsPrefetching()) {
            return;
        }
        next = m_prefetchEnd;
    }
    std::vector<zipcodec::CPrefetchRequest>& requests = m_prefetchRequests;
    requests.clear();
    uint64_t bytes = 0;
    for (const uint64_t last = next + kLookahead;
         next < last && requests.size() < kBatchEntries && bytes < kBatchBytes; ++next) {
        const CZipEntry* entry = m_directory.Get(next);
        if (entry == nullptr) {
            break;
        }
        if (entry->m_compressedSize == 0) {
            continue;  // folders and empty files have no data
        }
        if (entry->m_method != CZipEntry::kMethodDeflate ||
            entry->m_encryption != CZipEntry::kNoEncryption || entry->m_ignoreCrc ||
            entry->m_compressedSize > zipcodec::CDeflateDecoder::kWholeLimit ||
            entry->m_uncompressedSize > zipcodec::CDeflateDecoder::kWholeLimit) {
            break;
        }
        // Header and data end where the next entry begins; where that is unknown, or far
        // off, the local fields are taken to be short (else the data is read apart).
        const uint64_t longest =
            zipformat::kLocalHeaderSize + 2 * 0xFFFFu + entry->m_compressedSize;
        uint64_t span = zipformat::kLocalHeaderSize + 256 + entry->m_compressedSize;
        if (entry->m_dataLimit != UINT64_MAX && entry->m_dataLimit > entry->m_localOffset) {
            span = std::min(entry->m_dataLimit - entry->m_localOffset, longest);
        }
        requests.push_back(
            {entry->m_localOffset, span, entry->m_compressedSize, entry->m_uncompressedSize});
        bytes += entry->m_uncompressedSize;
    }
    m_prefetchEnd = next;
    if (!requests.empty()) {
        m_decoder->Prefetch(requests);
    }
}

size_t CZipReader::ReadEntryData(void* buffer, size_t size) {
    if (m_openEntryState != -1) {
        return 0;
    }
    return m_decoder->DecodeBlock(static_cast<uint8_t*>(buffer), size);
}

bool CZipReader::SetFileTimeAndAttributes(CZipEntry& entry, CZipDiskFile& file) {
    platform::LocalTime local;
    local.year = 1980 + (entry.m_modDate >> 9);
    local.month = (entry.m_modDate >> 5) & 0xF;
    local.day = entry.m_modDate & 0x1F;
    local.hour = entry.m_modTime >> 11;
    local.minute = (entry.m_modTime >> 5) & 0x3F;
    local.second = 2 * (entry.m_modTime & 0x1F);
    if (!file.SetModificationTime(platform::LocalTimeToUnix(local))) {
        return false;
    }
    uint32_t attributes = 0;
    try {
        attributes = entry.GetSystemAttributes();
    } catch (const CZipError&) {
        return false;
    }
    if (attributes == platform::kAttrArchive) {
        // The output file is always new (an old one is deleted first), and a new file has
        // exactly this attribute: setting it again would only cost a path look-up.
        return true;
    }
    return platform::ChangeFileAttributes(LongPath(file.GetFilePath(), kFolderPathLimit),
                                          attributes);
}

int CZipReader::CloseEntry(CZipDiskFile* outputFile) {
    if (m_openEntryState != -1) {
        return kEntryDataLeft;
    }
    CZipEntry* entry = m_directory.Get(static_cast<uint64_t>(m_directory.m_openedIndex));
    bool timeAndAttributesSet = true;
    if (outputFile != nullptr) {
        timeAndAttributesSet = SetFileTimeAndAttributes(*entry, *outputFile);
        outputFile->Close();
    }
    int result = kEntryDataLeft;
    bool crcMismatch = false;
    bool compressedConsumed = m_decoder->CompressedLeft() == 0;
    if (m_decoder->UncompressedLeft() == 0) {
        result = kEntryComplete;
        crcMismatch = (m_directory.m_ignoredChecks & CZipDirectory::kCheckDataCrc) == 0 &&
                      !entry->m_ignoreCrc && m_decoder->Crc() != entry->m_crc32;
    }
    m_decoder->EndDecoding(false);
    m_openEntryState = 0;
    m_directory.m_openedIndex = -1;
    const std::string errorPath =
        outputFile != nullptr ? outputFile->GetFilePath() : m_storage.ArchivePath();
    // The authentication code comes first: for an AES entry it tells altered data apart
    // from a decompression that went wrong, which the CRC alone cannot.
    if (result == kEntryComplete && m_cipher && entry->m_encryption != CZipEntry::kNoEncryption) {
        m_cipher->FinishDecrypt(*entry, m_storage);
    }
    if (crcMismatch) {
        CZipError::Throw(CZipError::kBadCrc, errorPath);
    }
    if (result == kEntryComplete &&
        (m_directory.m_ignoredChecks & CZipDirectory::kCheckDataDescriptor) == 0 &&
        (entry->m_flags & CZipEntry::kFlagDataDescriptor) != 0) {
        const std::string& archive = m_storage.ArchivePath();
        if (!compressedConsumed) {
            CZipError::Throw(CZipError::kBadArchive, archive);
        }
        uint8_t fields[20];
        size_t sizeBytes = entry->HasZip64Sizes() ? 8 : 4;
        m_storage.Read(fields, 4, false);
        if (zipformat::Get32(fields) == zipformat::kDataDescriptorSignature) {
            m_storage.Read(fields, 4 + 2 * sizeBytes, false);  // the signature is optional
        } else {
            m_storage.Read(fields + 4, 2 * sizeBytes, false);
        }
        uint32_t crc = zipformat::Get32(fields);
        uint64_t compressed =
            sizeBytes == 8 ? zipformat::Get64(fields + 4) : zipformat::Get32(fields + 4);
        uint64_t uncompressed =
            sizeBytes == 8 ? zipformat::Get64(fields + 12) : zipformat::Get32(fields + 8);
        if (crc != entry->m_crc32 || compressed != entry->m_compressedSize ||
            uncompressed != entry->m_uncompressedSize) {
            CZipError::Throw(CZipError::kBadArchive, archive);
        }
    }
    return timeAndAttributesSet ? result : kEntryTimeOrAttributesNotSet;
}

void CZipReader::FinishEntryAfterException() {
    if (m_decoder) {
        m_decoder->EndDecoding(true);
    }
    m_openEntryState = 0;
    m_directory.m_openedIndex = -1;
}

std::string CZipReader::Close(int afterException) {
    if (!IsOpen()) {
        return std::string();
    }
    if (m_openEntryState != 0) {
        FinishEntryAfterException();
    }
    m_directory.Clear();
    m_password.Release();
    // What the decoder read ahead belongs to this archive.
    m_decoder.reset();
    m_prefetchEnd = 0;
    m_lastEnsuredFolder.clear();
    m_ownFolders.clear();
    m_examinedFolders.clear();
    m_writtenNames.clear();
    std::string path = m_storage.ArchivePath();
    try {
        m_storage.Close(afterException == kCloseNormal, true);
    } catch (const CZipError&) {
        if (afterException == kCloseNormal) {
            throw;
        }
    }
    return path;
}
