// The installation engine.
#include "install/install_engine.h"

#include "app/registry_settings.h"
#include "fileutil/folder_tree.h"
#include "install/backup.h"
#include "install/level_record.h"
#include "install/main_program.h"
#include "install/mivo_dlg.h"
#include "platform/errors.h"
#include "platform/files.h"
#include "platform/process.h"
#include "platform/system.h"
#include "platform/text.h"
#include "ui/view.h"
#include "zip/zip_reader.h"

namespace {

constexpr uint32_t kPauseAfterExtractionMs = 300;

std::string TargetExamDataFolder() {
    return platform::StringPrintf("%c:\\%s", GetTargetDriveLetter(), kExamDataFolderName);
}

// Writes `size` bytes to a file created (or truncated) at `path`; false when it cannot.
bool WriteWholeFile(const std::string& path, const void* data, size_t size) {
    platform::CrtFile file;
    if (file.Open(path,
                  platform::CrtFile::kWrite | platform::CrtFile::kCreate |
                      platform::CrtFile::kTruncate | platform::CrtFile::kBinary,
                  platform::CrtFile::kDenyWrite) != 0) {
        return false;
    }
    size_t put = 0;
    const bool written = file.Write(data, size, put) == 0 && put == size;
    return file.Close() == 0 && written;
}

// Our own words for a package whose data cannot be extracted whole.
void ShowDamagedPackage(const std::string& package, int code) {
    std::string text = platform::StringPrintf(
        "문제 설치파일 %s 의 데이터가 손상되어\r\n문제 설치를 완료하지 못했습니다.",
        package.c_str());
    if (code != 0) {
        text += platform::StringPrintf(" (오류 %d)", code);
    }
    ui::MessageBox(text, ui::kMbOk);
}

// Tells the progress display of every entry the reader is about to extract, and keeps the
// windows painting meanwhile: a package of thousands of files takes many seconds.
class ExtractionProgress final : public CZipActionCallback {
public:
    explicit ExtractionProgress(uint64_t total) : m_total(total) {
        ui::CurrentProgress().StepStarted(ui::ProgressStep::kExtraction, total);
    }
    bool OnAction(int /*kind*/, const std::string& /*name*/, const std::string& /*path*/) override {
        ui::CurrentProgress().FilesDone(m_done++, m_total);
        PumpMessages();
        return true;
    }
    void Completed() { ui::CurrentProgress().FilesDone(m_done, m_total); }

private:
    uint64_t m_total;
    uint64_t m_done = 0;
};

}  // namespace

std::string GetInstallerDrive() {
    const std::string module = platform::ModulePath();
    const auto at = module.find(":\\");
    return at == std::string::npos ? "" : module.substr(0, at);
}

void InstallExamPackage(CMivoDlg& dialog) {
    ui::WaitCursor wait;
    const ui::ProgressSpan progress;
    ExtractExamPackage(dialog);
    StartDatabaseServer();
    const std::string mainFolder = GetMainProgramPath();
    if (platform::FileExists(mainFolder)) {
        for (const char* library : {"\\Ferrodat.dll", "\\Pelliscor.dll", "\\Grendmark.dll"}) {
            const std::string path = mainFolder + library;
            if (platform::FileExists(path)) {
                platform::RemoveFile(path);
            }
        }
        PlaceCompanionTools(dialog, mainFolder);
    }
}

int ExtractExamPackage(CMivoDlg& dialog) {
    if (RemovePreviousInstallation(dialog) == 0) {
        platform::ExitProcessNow(0);
    }
    const std::string installerFolder = GetPackageFolder();
    const std::string name = PackageName(dialog.m_level);
    const std::string package =
        name.empty() ? "" : platform::StringPrintf("%s\\%s", installerFolder.c_str(), name.c_str());
    const std::string folder = TargetExamDataFolder();
    CRegistryKey root;
    WriteInstalledPackagePath(root, package);
    ExtractArchive(package, folder);
    platform::SleepMilliseconds(kPauseAfterExtractionMs);
    WriteDisplayMarker();
    CopyProgramFiles();
    return 1;
}

int ExtractArchive(const std::string& package, const std::string& folder) {
    CZipReader zip;
    try {
        // Packages are only read: read-only opening lets write-protected media work.
        zip.Open(package, CZipReader::kModeReadOnly);
        zip.SetActionCallback(nullptr, CZipReader::kCallbackUnconsulted);
        ExtractionProgress progress(zip.GetEntryCount());
        zip.SetActionCallback(&progress, CZipReader::kCallbackExtract);
        for (uint64_t i = 0; i < zip.GetEntryCount(); ++i) {
            if (!zip.ExtractEntry(i, folder)) {
                // The exam would start with part of its data: say so, as for a damaged package.
                zip.Close(CZipReader::kCloseNormal);
                ShowDamagedPackage(package, 0);
                return 1;
            }
        }
        progress.Completed();
        zip.Close(CZipReader::kCloseNormal);
        return 1;
    } catch (const CZipError& error) {
        zip.Close(CZipReader::kCloseAfterException);
        // A file that cannot be opened, read, written (a full disk) or deleted out of the way
        // (217: a file another program holds) is told in the system's words, which say what
        // to do about it: free space, close a program. A damaged archive, a CRC error or an
        // unsafe entry has no system error behind it (a last error left then is stale), and
        // is told in our own words, so that it cannot pass unnoticed either.
        const std::string text = error.SystemCauseText();
        if (!text.empty()) {
            ui::MessageBox(text, ui::kMbOk);
        } else {
            ShowDamagedPackage(package, error.Code());
        }
        return 0;
    }
}

void WriteDisplayMarker() {
    const int width = platform::ScreenWidth();
    const int height = platform::ScreenHeight();
    CLevelRecord record;
    if (!ReadLevelRecordFile(InstalledLevelRecordPath(), record)) {
        return;
    }
    const int32_t company = record.CompanyCode1();
    if (company == 0) {
        return;
    }
    const std::string marker =
        platform::StringPrintf("%c:\\%s\\%04d\\disp_%d_%d.01", GetTargetDriveLetter(),
                               "VemraExamDB\\Vemra", company, width, height);
    const CLevelRecord zeros;
    WriteWholeFile(marker, zeros.Bytes().data(), kLevelRecordSize);
}

void CopyProgramFiles() {
    const char drive = GetTargetDriveLetter();
    for (const char* name : {"Lumisave.exe", "VemraExam.exe"}) {
        const std::string source =
            platform::StringPrintf("%c:\\%s\\%s", drive, kExamDataFolderName, name);
        const std::string target = platform::StringPrintf("%c:\\%s\\%s", drive, "Vemra", name);
        if (!platform::FileExists(source)) {
            continue;
        }
        if (!platform::CopyOneFile(source, target, false)) {
            platform::ChangeFileAttributes(target, platform::kAttrNormal);
            platform::CopyOneFile(source, target, false);
        }
    }
}

void PlaceCompanionTools(CMivoDlg& dialog, const std::string& mainProgramFolder) {
    const std::string drive = platform::StringPrintf("%s:", GetInstallerDrive().c_str());
    const std::string tool = platform::StringPrintf("%s\\Tovalex.exe", mainProgramFolder.c_str());
    platform::DebugOutput(
        platform::StringPrintf("[Mivo] 설치 : %s, %s\n", drive.c_str(), tool.c_str()));
    const bool toolExists = platform::FileExists(tool);
    const bool removable = platform::FileExists(drive) &&
                           platform::DriveTypeOf(drive + "\\") == platform::kDriveRemovable;
    const bool otherDrive = platform::UpperAscii(drive) != platform::UpperAscii(tool.substr(0, 2));
    if (!((removable && toolExists) || (otherDrive && dialog.m_examKind == 0 && toolExists))) {
        return;
    }
    platform::DebugOutput("[Mivo] 정상\n");
    for (const char* name : {"하드에서 USB로 내보내기.exe", "USB에서 하드로 가져오기.exe"}) {
        const std::string target = platform::StringPrintf("%s\\%s", drive.c_str(), name);
        if (!platform::FileExists(target)) {
            platform::CopyOneFile(tool, target, false);
        }
    }
}

void StampLevelRecord(CMivoDlg& dialog) {
    const std::string path = InstalledLevelRecordPath();
    CLevelRecord record;
    if (!ReadLevelRecordFile(path, record)) {
        return;
    }
    record.SetExamNumber(dialog.m_examNumber);
    record.SetExamineeName(dialog.m_examineeName);
    // Written beside the record and renamed over it, so that a failure on the way never
    // leaves a truncated record behind.
    const std::string temporary = path + ".new";
    if (!WriteWholeFile(temporary, record.Bytes().data(), kLevelRecordSize)) {
        platform::RemoveFile(temporary);
        return;
    }
    if (!platform::ReplaceOneFile(temporary, path)) {
        platform::RemoveFile(temporary);
    }
}
