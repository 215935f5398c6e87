// The package database check and the examinee lookup.
#include "install/package_db.h"

#include "db/sqlite_db.h"
#include "install/level_record.h"
#include "install/mivo_dlg.h"
#include "platform/files.h"
#include "platform/text.h"

int DatabaseKind(int ordinal, int level) {
    switch (level) {
        case 1:
        case 3:
            return 3;
        case 2:
            return 2;
        case 4:
            return ordinal >= 91 && ordinal <= 102 ? 4 : 2;
        default:
            return 0;
    }
}

std::string PackageDatabasePath(int ordinal, int level) {
    return platform::StringPrintf("%s\\%s\\PData_%d_%d.DBS", GetPackageFolder().c_str(), "BaseData",
                                  ordinal, DatabaseKind(ordinal, level));
}

void CheckPackageDatabase(int ordinal, CMivoDlg& dialog, int level) {
    const std::string path = PackageDatabasePath(ordinal, level);
    if (!platform::FileExists(path)) {
        return;
    }
    try {
        dialog.m_dbOpen = dialog.m_packageDb.Open(path) ? 1 : 0;
        if (dialog.m_packageDb.QueryText("pragma integrity_check;") != "ok") {
            dialog.m_packageDb.Close();
            dialog.m_dbOpen = 0;
        }
    } catch (const CSqliteException&) {
        dialog.m_packageDb.Close();
        dialog.m_dbOpen = 0;
    }
}

std::string TrimText(const std::string& text) {
    static const char kBlanks[] = " \t\r\n\v\f";
    const auto begin = text.find_first_not_of(kBlanks);
    if (begin == std::string::npos) {
        return "";
    }
    return text.substr(begin, text.find_last_not_of(kBlanks) - begin + 1);
}

std::u16string NormalisedName(const std::string& name) {
    std::u16string out;
    for (char16_t unit : platform::Utf8ToUtf16(name)) {
        if (unit == u' ' || unit == u'-') {
            continue;
        }
        out.push_back(platform::UpcaseUnit(unit));
    }
    return out;
}

namespace {

// The exam number as an SQL string literal's contents: a quote is doubled, so that no
// typed text can end the literal and change the statement.
std::string QuotedForSql(const std::string& text) {
    std::string out;
    for (char c : text) {
        out.push_back(c);
        if (c == '\'') {
            out.push_back('\'');
        }
    }
    return out;
}

}  // namespace

std::string LookupExaminee(CMivoDlg& dialog, const std::string& examNumber,
                           const std::string& name) {
    if (dialog.m_dbOpen == 0) {
        return kLookupPass;
    }
    try {
        const std::string query = platform::StringPrintf(
            "select Name \n       from Examinee        \n      where No = '%s' \n",
            QuotedForSql(examNumber).c_str());
        const std::string stored = TrimText(dialog.m_packageDb.QueryText(query));
        if (stored.empty()) {
            return "";
        }
        return NormalisedName(stored) == NormalisedName(name) ? stored : "";
    } catch (const CSqliteException&) {
        dialog.m_packageDb.Close();
        dialog.m_dbOpen = 0;
        return kLookupPass;
    }
}
