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

using platform::posix::ShellQuote;

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

std::string HostOf(const MachineRecipe& recipe, const std::string& windowsPath) {
    std::string rest = windowsPath.substr(2);
    for (char& c : rest) {
        if (c == '\\') {
            c = '/';
        }
    }
    return recipe.folder + "/" + DriveFolder(windowsPath[0]) + rest;
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

bool IsComponentOmitted(const MachineRecipe& recipe, const std::string& name) {
    for (const std::string& omitted : recipe.omitComponents) {
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

std::string InstallerHostPath(const MachineRecipe& recipe) {
    return recipe.folder + "/" + DriveFolder(recipe.packageDrive) + "/" + recipe.packageFolder +
           "/mivo";
}

bool BuildMachine(const MachineRecipe& recipe, std::string& problem) {
    std::error_code ec;
    fs::create_directories(recipe.folder, ec);
    if (ec) {
        problem = "cannot make " + recipe.folder + ": " + ec.message();
        return false;
    }
    const std::string mainFolder = recipe.mainProgramFolder.empty()
                                       ? std::string(1, recipe.systemDrive) + ":\\Vemra"
                                       : recipe.mainProgramFolder;
    const std::string sys = std::string(1, recipe.systemDrive);

    // machine.ini
    std::string ini = "; A simulated Windows machine for the exam-data installer.\n[drives]\n";
    ini += sys + " = fixed, " + DriveFolder(recipe.systemDrive) + "\n";
    if (recipe.packageDrive != recipe.systemDrive) {
        ini += std::string(1, recipe.packageDrive) + " = " + recipe.packageDriveType + ", " +
               DriveFolder(recipe.packageDrive) + "\n";
    }
    for (const std::string& line : recipe.extraDrives) {
        ini += line + "\n";
    }
    ini += "\n[system]\ndirectory = " + sys + ":\\Windows\\system32\nscreen = 1920x1080\n";
    ini += "desktop = " + sys + ":\\Users\\Examinee\\Desktop\n";
    ini += "common_desktop = " + sys + ":\\Users\\Public\\Desktop\n";
    if (!recipe.timezone.empty()) {
        ini += "timezone = " + recipe.timezone + "\n";
    }
    if (!recipe.standin.empty()) {
        ini += "\n[programs]\n";
        ini += mainFolder +
               "\\VemraExam.exe = " + ShellQuote(fs::absolute(recipe.standin).string()) +
               " main-program\n";
        ini += mainFolder +
               "\\VemraDBServer.exe = " + ShellQuote(fs::absolute(recipe.standin).string()) +
               " db-server\n";
    }
    if (recipe.script) {
        ini += "\n[user]\nscript = user-script.txt\n";
        std::string text;
        for (const std::string& line : *recipe.script) {
            text += line + "\n";
        }
        if (!Write(recipe.folder + "/user-script.txt", text, problem)) {
            return false;
        }
    }
    if (!Write(recipe.folder + "/machine.ini", ini, problem)) {
        return false;
    }
    fs::remove_all(recipe.folder + "/run", ec);

    // registry.reg
    std::string reg = "Windows Registry Editor Version 5.00\n";
    if (recipe.mainProgram) {
        reg += "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvik\\SorvaneEdu]\n";
        if (recipe.writePathValue) {
            reg += "\"path\"=" + RegQuote(mainFolder) + "\n";
        }
        if (recipe.packingDate && recipe.packingDate->size() == 4) {
            const std::vector<uint8_t>& b = *recipe.packingDate;
            char buf[24];
            std::snprintf(buf, sizeof buf, "dword:%02x%02x%02x%02x", b[3], b[2], b[1], b[0]);
            reg += "\"PackingDate\"=" + std::string(buf) + "\n";
        } else if (recipe.packingDate) {
            std::string bytes;
            char buf[8];
            for (size_t i = 0; i < recipe.packingDate->size(); ++i) {
                std::snprintf(buf, sizeof buf, "%s%02x", i ? "," : "", (*recipe.packingDate)[i]);
                bytes += buf;
            }
            reg += "\"PackingDate\"=hex(4):" + bytes + "\n";
        }
        reg +=
            "\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\"
            "{5A0C7E21-9D3B-4F68-B2E4-71C9A8D3F046}]\n";
        reg += "\"DisplayName\"=\"Vemra\"\n";
        if (recipe.displayVersion) {
            reg += "\"DisplayVersion\"=" + RegQuote(*recipe.displayVersion) + "\n";
        }
    }
    if (!Write(recipe.folder + "/registry.reg", reg, problem)) {
        return false;
    }

    // Folders every Windows has, and the package folder.
    for (const std::string& folder :
         {sys + ":\\Windows\\system32", sys + ":\\Users\\Examinee\\Desktop",
          sys + ":\\Users\\Public\\Desktop",
          std::string(1, recipe.packageDrive) + ":\\" + recipe.packageFolder}) {
        fs::create_directories(HostOf(recipe, folder), ec);
    }
    if (!platform::posix::UseMachine(recipe.folder, problem)) {
        return false;
    }

    // The main program's files: real PE images; the server carries the chosen version.
    if (recipe.mainProgram) {
        for (const char* name : kComponentFiles) {
            if (IsComponentOmitted(recipe, name)) {
                continue;
            }
            const std::string windows = mainFolder + "\\" + name;
            const std::string host = HostOf(recipe, windows);
            fs::create_directories(fs::path(host).parent_path(), ec);
            const bool server = std::string(name) == "VemraDBServer.exe";
            const pe::PeVersion* version =
                server && recipe.dbServerVersion ? &*recipe.dbServerVersion : nullptr;
            if (!pe::WritePeFile(host, version, problem)) {
                return false;
            }
        }
        for (const char* name : kOtherMainProgramFiles) {
            if (IsComponentOmitted(recipe, name)) {
                continue;
            }
            if (!pe::WritePeFile(HostOf(recipe, mainFolder + "\\" + name), nullptr, problem)) {
                return false;
            }
        }
        if (!IsComponentOmitted(recipe, "Tandrel.dll")) {
            platform::LocalTime date;
            if (std::sscanf(recipe.tandrelDate.c_str(), "%d-%d-%d", &date.year, &date.month,
                            &date.day) != 3) {
                problem = "Tandrel.dll date must be YYYY-MM-DD, got " + recipe.tandrelDate;
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

    if (!recipe.installer.empty()) {
        const std::string target = InstallerHostPath(recipe);
        fs::remove(target, ec);
        fs::create_hard_link(recipe.installer, target, ec);
        if (ec) {
            ec.clear();
            fs::copy_file(recipe.installer, target, fs::copy_options::overwrite_existing, ec);
        }
        if (ec) {
            problem = "cannot place the installer at " + target + ": " + ec.message();
            return false;
        }
    }
    return true;
}

}  // namespace machine
