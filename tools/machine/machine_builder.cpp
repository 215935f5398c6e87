// Machine builder.
#include "machine_builder.h"

#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "platform/files.h"
#include "platform/posix/machine.h"
#include "platform/system.h"

namespace fs = std::filesystem;

namespace machine {

const char* const kComponentFiles[8] = {
    "VemraDBServer.exe",   "Corlis2023.dll", "2023\\MIVO20190.exe", "2024\\MIVO20190.exe",
    "2025\\MIVO20190.exe", "Corlis2024.dll", "Corlis2025.dll",      "Tandrel.dll",
};

namespace {

// Further files of the main program that an installation uses.
const char* const kOtherMainProgramFiles[] = {"VemraExam.exe", "Tovalex.exe", "Ferrodat.dll",
                                              "Pelliscor.dll", "Grendmark.dll"};

std::string DriveFolder(char letter) {
    return std::string("drive_") +
           static_cast<char>(std::tolower(static_cast<unsigned char>(letter)));
}

std::string HostOf(const MachineSpec& spec, const std::string& windowsPath) {
    std::string rest = windowsPath.substr(2);
    for (char& c : rest) {
        if (c == '\\') {
            c = '/';
        }
    }
    return spec.folder + "/" + DriveFolder(windowsPath[0]) + rest;
}

std::string RegQuote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out.push_back('\\');
        }
        out.push_back(c);
    }
    return out + "\"";
}

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

bool Write(const std::string& path, const std::string& text, std::string& problem) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        problem = "cannot write " + path;
        return false;
    }
    return true;
}

bool IsComponentOmitted(const MachineSpec& spec, const std::string& name) {
    for (const std::string& omitted : spec.omitComponents) {
        if (omitted == name) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::vector<uint8_t> PackingDateBytes(int32_t date) {
    const uint32_t v = static_cast<uint32_t>(date);
    return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
            static_cast<uint8_t>(v >> 24)};
}

std::string InstallerHostPath(const MachineSpec& spec) {
    return spec.folder + "/" + DriveFolder(spec.packageDrive) + "/" + spec.packageFolder + "/mivo";
}

bool BuildMachine(const MachineSpec& spec, std::string& problem) {
    std::error_code ec;
    fs::create_directories(spec.folder, ec);
    if (ec) {
        problem = "cannot make " + spec.folder + ": " + ec.message();
        return false;
    }
    const std::string mainFolder = spec.mainProgramFolder.empty()
                                       ? std::string(1, spec.systemDrive) + ":\\Vemra"
                                       : spec.mainProgramFolder;
    const std::string sys = std::string(1, spec.systemDrive);

    // machine.ini
    std::string ini = "; A simulated Windows machine for the exam-data installer.\n[drives]\n";
    ini += sys + " = fixed, " + DriveFolder(spec.systemDrive) + "\n";
    if (spec.packageDrive != spec.systemDrive) {
        ini += std::string(1, spec.packageDrive) + " = " + spec.packageDriveType + ", " +
               DriveFolder(spec.packageDrive) + "\n";
    }
    for (const std::string& line : spec.extraDrives) {
        ini += line + "\n";
    }
    ini += "\n[system]\ndirectory = " + sys + ":\\Windows\\system32\nscreen = 1920x1080\n";
    ini += "desktop = " + sys + ":\\Users\\Examinee\\Desktop\n";
    ini += "common_desktop = " + sys + ":\\Users\\Public\\Desktop\n";
    if (!spec.timezone.empty()) {
        ini += "timezone = " + spec.timezone + "\n";
    }
    if (!spec.standin.empty()) {
        ini += "\n[programs]\n";
        ini += mainFolder + "\\VemraExam.exe = " + ShellQuote(fs::absolute(spec.standin).string()) +
               " main-program\n";
        ini += mainFolder +
               "\\VemraDBServer.exe = " + ShellQuote(fs::absolute(spec.standin).string()) +
               " db-server\n";
    }
    if (spec.script) {
        ini += "\n[user]\nscript = user-script.txt\n";
        std::string text;
        for (const std::string& line : *spec.script) {
            text += line + "\n";
        }
        if (!Write(spec.folder + "/user-script.txt", text, problem)) {
            return false;
        }
    }
    if (!Write(spec.folder + "/machine.ini", ini, problem)) {
        return false;
    }
    fs::remove_all(spec.folder + "/run", ec);

    // registry.reg
    std::string reg = "Windows Registry Editor Version 5.00\n";
    if (spec.mainProgram) {
        reg += "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvik\\SorvaneEdu]\n";
        if (spec.writePathValue) {
            reg += "\"path\"=" + RegQuote(mainFolder) + "\n";
        }
        if (spec.packingDate && spec.packingDate->size() == 4) {
            const std::vector<uint8_t>& b = *spec.packingDate;
            char buf[24];
            std::snprintf(buf, sizeof buf, "dword:%02x%02x%02x%02x", b[3], b[2], b[1], b[0]);
            reg += "\"PackingDate\"=" + std::string(buf) + "\n";
        } else if (spec.packingDate) {
            std::string bytes;
            char buf[8];
            for (size_t i = 0; i < spec.packingDate->size(); ++i) {
                std::snprintf(buf, sizeof buf, "%s%02x", i ? "," : "", (*spec.packingDate)[i]);
                bytes += buf;
            }
            reg += "\"PackingDate\"=hex(4):" + bytes + "\n";
        }
        reg +=
            "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
            "{5A0C7E21-9D3B-4F68-B2E4-71C9A8D3F046}]\n";
        reg += "\"DisplayName\"=\"Vemra\"\n";
        if (spec.displayVersion) {
            reg += "\"DisplayVersion\"=" + RegQuote(*spec.displayVersion) + "\n";
        }
    }
    if (!Write(spec.folder + "/registry.reg", reg, problem)) {
        return false;
    }

    // Folders every Windows has, and the package folder.
    for (const std::string& folder :
         {sys + ":\\Windows\\system32", sys + ":\\Users\\Examinee\\Desktop",
          sys + ":\\Users\\Public\\Desktop",
          std::string(1, spec.packageDrive) + ":\\" + spec.packageFolder}) {
        fs::create_directories(HostOf(spec, folder), ec);
    }
    if (!platform::posix::UseMachine(spec.folder, problem)) {
        return false;
    }

    // The main program's files: real PE images; the server carries the chosen version.
    if (spec.mainProgram) {
        for (const char* name : kComponentFiles) {
            if (IsComponentOmitted(spec, name)) {
                continue;
            }
            const std::string windows = mainFolder + "\\" + name;
            const std::string host = HostOf(spec, windows);
            fs::create_directories(fs::path(host).parent_path(), ec);
            const bool server = std::string(name) == "VemraDBServer.exe";
            const pe::PeVersion* version =
                server && spec.dbServerVersion ? &*spec.dbServerVersion : nullptr;
            if (!pe::WritePeFile(host, version, problem)) {
                return false;
            }
        }
        for (const char* name : kOtherMainProgramFiles) {
            if (IsComponentOmitted(spec, name)) {
                continue;
            }
            if (!pe::WritePeFile(HostOf(spec, mainFolder + "\\" + name), nullptr, problem)) {
                return false;
            }
        }
        if (!IsComponentOmitted(spec, "Tandrel.dll")) {
            platform::LocalTime date;
            if (std::sscanf(spec.tandrelDate.c_str(), "%d-%d-%d", &date.year, &date.month,
                            &date.day) != 3) {
                problem = "Tandrel.dll date must be YYYY-MM-DD, got " + spec.tandrelDate;
                return false;
            }
            date.hour = 12;
            platform::CrtFile file;
            if (file.Open(mainFolder + "\\Tandrel.dll", platform::CrtFile::kWrite,
                          platform::CrtFile::kDenyNone) != 0 ||
                !file.SetModificationTime(platform::LocalTimeToUnix(date))) {
                problem = "cannot date Tandrel.dll";
                return false;
            }
        }
    }

    if (!spec.installer.empty()) {
        const std::string target = InstallerHostPath(spec);
        fs::remove(target, ec);
        fs::create_hard_link(spec.installer, target, ec);
        if (ec) {
            ec.clear();
            fs::copy_file(spec.installer, target, fs::copy_options::overwrite_existing, ec);
        }
        if (ec) {
            problem = "cannot place the installer at " + target + ": " + ec.message();
            return false;
        }
    }
    return true;
}

}  // namespace machine
