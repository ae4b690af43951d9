// A child program of the multi-process tests (or another program), started
// from beside the test program, waited for while this thread keeps handling its messages, and
// killed when asked or at the end.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#ifdef _WIN32
#else
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
extern char** environ;
#endif

#include "mp_peer.h"
#include "qxplatform.h"

namespace mp {

// The directory of the running program, with a trailing separator.
inline std::string programDirectory() {
#ifdef _WIN32
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string program(path, length);
    return program.substr(0, program.find_last_of("\\/") + 1);
#else
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    std::string program(path, length > 0 ? static_cast<std::size_t>(length) : 0);
    return program.substr(0, program.find_last_of('/') + 1);
#endif
}

// A program built beside the running one.
inline std::string siblingProgram(const std::string& name) {
#ifdef _WIN32
    return programDirectory() + name + ".exe";
#else
    return programDirectory() + name;
#endif
}

inline std::string childProgram() { return siblingProgram("mp_child"); }

class ChildProcess {
public:
    explicit ChildProcess(const std::vector<std::string>& arguments, const std::string& program = childProgram()) {
#ifdef _WIN32
        std::string line = "\"" + program + "\"";
        for (const auto& argument : arguments) line += " \"" + argument + "\"";
        STARTUPINFOA startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        if (CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                           &info)) {
            process_ = info.hProcess;
            CloseHandle(info.hThread);
            id_ = info.dwProcessId;
        }
#else
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        pid_t pid = 0;
        if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) == 0) id_ = static_cast<DWORD>(pid);
#endif
    }
    ~ChildProcess() {
        if (!exitCode_) {
            kill();
            wait(kPatience);
        }
#ifdef _WIN32
        if (process_ != nullptr) CloseHandle(process_);
#endif
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return id_ != 0; }
    DWORD id() const { return id_; }

    void kill() {
        if (!started() || exitCode_) return;
#ifdef _WIN32
        TerminateProcess(process_, 137);
#else
        ::kill(static_cast<pid_t>(id_), SIGKILL);
#endif
    }

    // The exit code once the child ended (a killed child's is not 0), or
    // none when it still runs after the patience.
    std::optional<int> wait(DWORD patience) {
        pumpUntilTrue([this] { return ended(); }, patience);
        return exitCode_;
    }

private:
    bool ended() {
        if (exitCode_ || !started()) return true;
#ifdef _WIN32
        DWORD code = 0;
        if (WaitForSingleObject(process_, 0) != WAIT_OBJECT_0 || !GetExitCodeProcess(process_, &code)) return false;
        exitCode_ = static_cast<int>(code);
#else
        int status = 0;
        if (::waitpid(static_cast<pid_t>(id_), &status, WNOHANG) != static_cast<pid_t>(id_)) return false;
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
#endif
        return true;
    }

    DWORD id_ = 0;
    std::optional<int> exitCode_;
#ifdef _WIN32
    HANDLE process_ = nullptr;
#endif
};

}  // namespace mp
