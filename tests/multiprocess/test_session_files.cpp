// The session's files (the window table, the frame rings, the runtime
// directory) under a careless or hostile neighbour: a full file system,
// corrupt shared state, killed processes, a race of joiners and leavers,
// another user, a tight umask. Our posix layer only: Windows has none of
// these files, so the program is not built for it.
#include <gtest/gtest.h>

#include <windows.h>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <vector>

#include "child_process.h"
#include "mp_peer.h"
#include "robust_mutex.h"
#include "session.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using mp::ChildProcess;

// This program's runtime directory: a fresh one in memory, as a user's is,
// removed at exit (after the session has left it: handlers registered later
// run first).
const std::string runtimeRoot = [] {
    std::string directory = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm/qx-session-files-XXXXXX"
                                                            : "/tmp/qx-session-files-XXXXXX";
    if (::mkdtemp(directory.data()) == nullptr) return std::string();
    ::setenv("XDG_RUNTIME_DIR", directory.c_str(), 1);
    std::atexit([] { fs::remove_all(std::getenv("XDG_RUNTIME_DIR")); });
    return directory;
}();

std::string sessionChild() { return mp::siblingProgram("session_child"); }

// What a child program did: its exit code (128 + the signal that ended it)
// and what it wrote.
struct ChildRun {
    int code = -1;
    std::string output;
    std::string errors;
};

std::string drain(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t length; (length = ::read(fd, buffer, sizeof buffer)) > 0;) text.append(buffer, static_cast<std::size_t>(length));
    ::close(fd);
    return text;
}

// Runs a child program to its end (killed after the patience) with this
// process's environment changed by `changes` (an empty value removes the
// variable) and the umask given.
ChildRun run(const std::string& program, const std::vector<std::string>& arguments,
        const std::map<std::string, std::string>& changes = {}, mode_t umask = 022) {
    std::vector<std::string> environment;
    for (char** item = environ; *item != nullptr; ++item) {
        const std::string entry = *item;
        if (!changes.contains(entry.substr(0, entry.find('=')))) environment.push_back(entry);
    }
    for (const auto& [name, value] : changes)
        if (!value.empty()) environment.push_back(name + "=" + value);
    std::vector<char*> argv{const_cast<char*>(program.c_str())}, envp;
    for (const auto& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    for (auto& entry : environment) envp.push_back(entry.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    int output[2], errors[2];
    if (::pipe2(output, O_CLOEXEC) != 0 || ::pipe2(errors, O_CLOEXEC) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::umask(umask);
        ::dup2(output[1], STDOUT_FILENO);
        ::dup2(errors[1], STDERR_FILENO);
        ::execve(program.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(output[1]);
    ::close(errors[1]);
    ChildRun result;
    int status = 0;
    const DWORD start = GetTickCount();
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (GetTickCount() - start > mp::kPatience) ::kill(pid, SIGKILL);
        ::poll(nullptr, 0, 2);
    }
    result.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.output = drain(output[0]);
    result.errors = drain(errors[0]);
    return result;
}

std::vector<std::string> filesIn(const std::string& directory, const std::string& prefix = "") {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& item : fs::directory_iterator(directory, error))
        if (item.path().filename().string().starts_with(prefix)) names.push_back(item.path().filename().string());
    return names;
}

// Changes this process's session table through a mapping of its own, as
// another process of the session would, holding the table's lock.
void changeTable(const std::function<void(qxposix::SessionTableFile&)>& change) {
    const int fd = ::open(qxposix::Session::instance()->tablePath().c_str(), O_RDWR | O_CLOEXEC);
    void* mapped = ::mmap(nullptr, sizeof(qxposix::SessionTableFile), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    ASSERT_NE(mapped, MAP_FAILED);
    auto& table = *static_cast<qxposix::SessionTableFile*>(mapped);
    {
        qxposix::RobustLock lock(table.mutex);
        change(table);
    }
    ::munmap(mapped, sizeof table);
}

class SessionFiles : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(runtimeRoot.empty());
        ASSERT_TRUE(mp::registerPeerClass());
        own = mp::createPeer(ownState, name("own"), HWND_MESSAGE);
        ASSERT_NE(own, nullptr);
        baseline = qxplatform::sessionWindowCount();
    }
    void TearDown() override {
        DestroyWindow(own);
        UnregisterClassA(mp::kPeerClass, GetModuleHandleA(nullptr));
    }

    static std::string name(const std::string& base) { return base + "-" + std::to_string(GetCurrentProcessId()); }
    static std::string endpointDirectory() {
        const std::string table = qxposix::Session::instance()->tablePath();
        return table.substr(0, table.size() - std::strlen(".windows")) + ".endpoints";
    }

    // A fresh directory below this program's runtime directory.
    static std::string freshDirectory(const std::string& base) {
        const std::string directory = runtimeRoot + "/" + base + "-" + std::to_string(counter++);
        fs::create_directories(directory);
        return directory;
    }

    mp::PeerState ownState;
    HWND own = nullptr;
    long baseline = 0;
    static inline int counter = 0;
};

// ------------------------------------------------------------ full file system

// The table and the rings are reserved whole when they are made: on a full
// file system window creation, sends and posts fail with an error instead of
// killing the process with SIGBUS, and work again once there is room.
TEST_F(SessionFiles, AFullFileSystemFailsCallsInsteadOfKillingTheProcess) {
    for (const char* mode : {"fullfs-create", "fullfs-send"}) {
        SCOPED_TRACE(mode);
        const ChildRun result = run(sessionChild(), {mode}, {{"XDG_RUNTIME_DIR", freshDirectory("full")}});
        if (result.code == 77) GTEST_SKIP() << "no private tmpfs here (needs root or user namespaces)";
        EXPECT_EQ(result.code, 0) << result.errors;
    }
}

// A killed process leaves ring files, also of threads that owned no window;
// they go once its death is noticed.
TEST_F(SessionFiles, TheRingFilesOfAKilledProcessAreRemoved) {
    ChildProcess sender({"pound", name("own"), "100000000"});
    ASSERT_TRUE(mp::pumpUntilTrue([&] { return ownState.counters[mp::pings] > 0; }, mp::kPatience));
    const std::string prefix = std::to_string(sender.id()) + ".";
    EXPECT_FALSE(filesIn(endpointDirectory(), prefix).empty());
    sender.kill();
    EXPECT_NE(sender.wait(mp::kPatience), 0);
    EXPECT_EQ(qxplatform::sessionWindowCount(), baseline);
    EXPECT_TRUE(filesIn(endpointDirectory(), prefix).empty());
}

// A session whose processes were all killed (and a table left half-made) is
// removed by the next process that opens a session in the same directory.
TEST_F(SessionFiles, TheFilesOfAnAbandonedSessionAreRemoved) {
    const std::string directory = fs::path(qxposix::Session::instance()->tablePath()).parent_path();
    const std::string abandoned = directory + "/" + name("abandoned");
    fs::create_directory(abandoned + ".endpoints");
    const std::string files[] = {abandoned + ".windows", abandoned + ".endpoints/1.1", directory + "/.table-left"};
    for (const auto& file : files) ASSERT_TRUE(std::ofstream(file).good()) << file;
    EXPECT_EQ(run(sessionChild(), {"where"}).code, 0);
    for (const auto& file : files) EXPECT_FALSE(fs::exists(file)) << file;
    EXPECT_FALSE(fs::exists(abandoned + ".endpoints"));
}

// ------------------------------------------------------------ corrupt table

// Indexes and counts in the table's header that cannot be right are bounded:
// lookups, window creation and the count go on.
TEST_F(SessionFiles, AGarbageHeaderIsBoundedBeforeUse) {
    std::uint32_t saved[2];
    changeTable([&](qxposix::SessionTableFile& file) {
        saved[0] = file.highWater, saved[1] = file.cursor;
        file.highWater = file.cursor = 0xFFFFFFF0u;
        file.live = 0xFFFFFFFFu;
    });
    EXPECT_EQ(FindWindowA(mp::kPeerClass, name("nothing").c_str()), nullptr);
    EXPECT_EQ(FindWindowA(mp::kPeerClass, name("own").c_str()), own);
    mp::PeerState state;
    const HWND fresh = mp::createPeer(state, name("fresh"), nullptr);
    EXPECT_NE(fresh, nullptr);
    EXPECT_EQ(FindWindowA(mp::kPeerClass, name("fresh").c_str()), fresh);
    EXPECT_EQ(qxplatform::sessionWindowCount(), baseline + 1);
    DestroyWindow(fresh);
    changeTable([&](qxposix::SessionTableFile& file) {
        file.highWater = saved[0], file.cursor = saved[1];
    });
}

// A process killed after it marked an entry used and before it counted it:
// the count stays right when the entry is reclaimed.
TEST_F(SessionFiles, TheLiveCountIsRightAfterAKillBetweenMarkingAndCounting) {
    ChildProcess ended({"no-such-mode"});
    ASSERT_TRUE(ended.wait(mp::kPatience).has_value());
    changeTable([&](qxposix::SessionTableFile& file) {
        qxposix::SessionEntry& entry = file.entries[file.highWater++];
        entry.processId = ended.id();
        entry.threadId = ended.id();
        entry.generation = 1;
        entry.used = 1;
    });
    EXPECT_EQ(qxplatform::sessionWindowCount(), baseline);
}

// ------------------------------------------------------------ joining

// Processes join and leave a session of their own many times over, so that
// one often joins while the last one leaves: every joiner has its endpoint.
TEST_F(SessionFiles, AProcessThatJoinsWhileTheLastLeavesKeepsItsEndpoint) {
    const std::map<std::string, std::string> session{{"QX_SESSION", name("joiners")}};
    std::vector<std::future<ChildRun>> loops;
    for (int i = 0; i < 3; ++i)
        loops.push_back(std::async(std::launch::async, [&] { return run(sessionChild(), {"joiners", "100"}, session); }));
    for (auto& loop : loops) {
        const ChildRun result = loop.get();
        EXPECT_EQ(result.code, 0) << result.errors;
    }
}

// ------------------------------------------------------------ runtime directory

// Without XDG_RUNTIME_DIR the session lives below the user's home, where no
// other user can take the name first; a directory there that is a symlink or
// another user's is refused with a message that names it and the fix.
TEST_F(SessionFiles, WithoutARuntimeDirectoryTheSessionLivesInTheHomeDirectory) {
    const std::string home = freshDirectory("home");
    const std::map<std::string, std::string> environment{{"XDG_RUNTIME_DIR", ""}, {"HOME", home}};
    const ChildRun found = run(sessionChild(), {"where"}, environment);
    ASSERT_EQ(found.code, 0) << found.errors;
    ASSERT_TRUE(found.output.starts_with(home + "/")) << found.output;  // nothing outside is touched below
    const std::string directory = fs::path(found.output).parent_path();

    struct Taken {
        const char* what;
        std::function<bool()> make;
        const char* said;
    };
    const Taken cases[] = {
        {"a symlink", [&] { return ::symlink(home.c_str(), directory.c_str()) == 0; }, "is a symlink"},
        {"another user's directory",
         [&] { return ::geteuid() == 0 && ::mkdir(directory.c_str(), 0700) == 0 && ::chown(directory.c_str(), 65534, 65534) == 0; },
         "belongs to another user"},
    };
    for (const Taken& taken : cases) {
        SCOPED_TRACE(taken.what);
        fs::remove_all(directory);
        if (!taken.make()) continue;  // another user's directory needs root
        const ChildRun refused = run(sessionChild(), {"where"}, environment);
        EXPECT_EQ(refused.code, 3);
        EXPECT_NE(refused.errors.find(directory + " " + taken.said), std::string::npos) << refused.errors;
        EXPECT_NE(refused.errors.find("set XDG_RUNTIME_DIR"), std::string::npos) << refused.errors;
    }
}

// A run under a tight umask leaves the directory and files usable by the
// next run: their modes are set, not left to the umask.
TEST_F(SessionFiles, ATightUmaskLeavesTheSessionUsable) {
    const std::map<std::string, std::string> environment{{"XDG_RUNTIME_DIR", freshDirectory("umask")}};
    for (int runs = 0; runs < 2; ++runs) {
        const ChildRun result = run(sessionChild(), {"modes"}, environment, 0277);
        EXPECT_EQ(result.code, 0) << result.errors;
    }
}

}  // namespace
