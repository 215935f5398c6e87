// A second process on the simulated machine for the contract tests: platform_helper (or a
// copy of it) started with posix_spawn. Its standard input is the "keep holding" signal,
// its first output line the report of what it took. The Windows run has its own
// second_process.h with the same class.
#pragma once

#include "temp_machine.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

extern char** environ;

namespace platformtest {

/// A running helper, ended by Finish (closing its input) or Kill, or when destroyed.
class SecondProcess {
public:
    /// platform_helper on `machine` with the words `args` ("mutex NAME", "open PATH SHARE",
    /// "window TITLE", "cwd PATH").
    SecondProcess(const testsupport::TempMachine& machine, const std::vector<std::string>& args)
        : SecondProcess(machine.Folder(), args, MIVO_PLATFORM_HELPER) {}
    /// `program` with the words `first` (a machine folder, or --startup) and `args`.
    SecondProcess(const std::string& first, const std::vector<std::string>& args,
                  const std::string& program) {
        int toChild[2];
        int fromChild[2];
        if (pipe2(toChild, O_CLOEXEC) != 0 || pipe2(fromChild, O_CLOEXEC) != 0) {
            ADD_FAILURE() << "pipe failed";
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
        posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
        std::vector<std::string> all = {program, first};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
            ADD_FAILURE() << "cannot start " << program;
            m_pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(toChild[0]);
        close(fromChild[1]);
        m_input = toChild[1];
        m_output = fdopen(fromChild[0], "r");
    }
    ~SecondProcess() {
        if (m_pid > 0) {
            Kill();
        }
        if (m_input >= 0) {
            close(m_input);
        }
        if (m_output != nullptr) {
            fclose(m_output);
        }
    }
    SecondProcess(const SecondProcess&) = delete;
    SecondProcess& operator=(const SecondProcess&) = delete;

    /// The "ready ..." line without "ready " and the line break; empty when none came.
    std::string Report() {
        char line[4096];
        if (m_output == nullptr || fgets(line, sizeof line, m_output) == nullptr) {
            return "";
        }
        std::string text = line;
        if (!text.empty() && text.back() == '\n') {
            text.pop_back();
        }
        return text.rfind("ready ", 0) == 0 ? text.substr(6) : "bad report: " + text;
    }
    /// Lets the helper end normally and waits for it; its exit code.
    int Finish() {
        close(m_input);
        m_input = -1;
        return Wait();
    }
    /// Ends the helper at once (SIGKILL): nothing of its own runs on the way out.
    void Kill() {
        kill(m_pid, SIGKILL);
        Wait();
    }

private:
    int Wait() {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    pid_t m_pid = -1;
    int m_input = -1;
    FILE* m_output = nullptr;
};

}  // namespace platformtest
