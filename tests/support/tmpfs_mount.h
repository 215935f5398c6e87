// Test support: a small tmpfs mounted on a host folder for one test (a full disk), detached
// when the test ends. Mounting needs root with the right to mount; callers skip without it.
#pragma once

#include <sys/mount.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/posix/machine.h"

namespace testsupport {

class TmpfsMount {
public:
    /// Mounts a tmpfs of `bytes` on `folder` (made when missing). With `keepContents` what
    /// the folder held is copied onto the new file system first.
    TmpfsMount(const std::string& folder, size_t bytes, bool keepContents = false)
        : m_folder(folder) {
        namespace fs = std::filesystem;
        std::error_code ec;
        const std::string aside = m_folder + ".aside";
        if (keepContents) {
            fs::rename(m_folder, aside, ec);
        }
        fs::create_directories(m_folder, ec);
        const std::string options = "size=" + std::to_string(bytes);
        if (mount("tmpfs", m_folder.c_str(), "tmpfs", 0, options.c_str()) != 0) {
            m_problem =
                std::string("mount of a tmpfs is not permitted here: ") + std::strerror(errno);
            if (keepContents) {
                fs::remove(m_folder, ec);
                fs::rename(aside, m_folder, ec);
            }
            return;
        }
        m_mounted = true;
        if (keepContents) {
            // cp -a keeps modes, times and the DOSATTRIB attributes.
            const std::string copy = "cp -a " + platform::posix::ShellQuote(aside) + "/. " +
                                     platform::posix::ShellQuote(m_folder) + "/";
            if (std::system(copy.c_str()) != 0) {
                m_problem = "cannot fill the tmpfs";
            }
            fs::remove_all(aside, ec);
        }
    }
    ~TmpfsMount() {
        if (m_mounted && umount2(m_folder.c_str(), MNT_DETACH) != 0) {
            ADD_FAILURE() << "cannot unmount " << m_folder;
        }
    }
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool Mounted() const { return m_mounted; }
    /// Why the mount or the copy failed; empty when all went well.
    const std::string& Problem() const { return m_problem; }

private:
    std::string m_folder;
    bool m_mounted = false;
    std::string m_problem;
};

}  // namespace testsupport
