// The package check: reads a package folder exactly as the installer will (its archives,
// level records and package databases, through the installer's own functions) and reports
// everything that would stop an installation, before the folder is copied to a stick. It
// never writes into the folder: archives and databases are opened read-only, and the level
// record is read into memory instead of the installer's scratch folder.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace package {

/// How much a finding weighs. Only errors stop the folder from passing.
enum class Severity {
    kOk,       // a fact that is as it should be
    kNote,     // a fact worth knowing that stops nothing (a level left out, for instance)
    kWarning,  // likely a mistake, but every level still installs
    kError,    // the installer would not install every level as meant
};

/// One line of the report.
struct Finding {
    Severity severity = Severity::kOk;
    std::string subject;          // "installer", "Level3", "BaseData\PData_112_3.DBS"
    std::string kind;             // stable name for scripts ("archive-damaged", ...)
    std::string text;             // the line for people
    nlohmann::ordered_json data;  // the facts behind the line, for scripts
};

/// Everything found in one package folder.
struct CheckReport {
    std::string folder;  // the host path checked
    std::vector<Finding> findings;

    /// Number of findings of a severity.
    size_t Count(Severity severity) const;
    /// True when there is no error: the installer would install every level present.
    bool Passed() const { return Count(Severity::kError) == 0; }
};

/// Checks the package folder at the host path `hostFolder`. Loads the host-root machine
/// (drive Z: is "/") and lets the installer's module path point into the folder, so that
/// every path is formed by the installer's own functions. Never throws.
CheckReport CheckPackageFolder(const std::string& hostFolder);

/// One line per finding ("SEVERITY  SUBJECT  TEXT") and a summary line.
std::string ReportText(const CheckReport& report);

/// The same as one JSON document: {"folder", "findings": [{"severity", "subject", "kind",
/// "text", "data"}], "summary": {"ok", "notes", "warnings", "errors", "passed"}}.
nlohmann::ordered_json ReportJson(const CheckReport& report);

}  // namespace package
