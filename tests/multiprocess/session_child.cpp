// The child program of the session-file tests: a process of the window
// session that reports what it finds. Modes:
//   where            makes a window, prints the session table's path
//   modes            makes a window, checks the modes of the session's files
//   joiners ROUNDS   ROUNDS times: a forked process joins the session, makes a
//                    window and checks that its endpoint is there, then leaves
//   fullfs-create    on a full file system of its own: window creation fails
//   fullfs-send      on a file system of its own, filled up after a peer
//                    joined: sends, posts and window creation fail, and work
//                    again once there is room
// Exit code 0 when all went as expected; kSkip when the private file system
// cannot be mounted.
#include <windows.h>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "child_process.h"
#include "mp_peer.h"
#include "session.h"

namespace {

enum Exit { ok = 0, failed = 1, refused = 3, usage = 5, kSkip = 77 };

HWND makeWindow(mp::PeerState& state) { return mp::createPeer(state, "session-child", HWND_MESSAGE); }

qxposix::Session& session() { return *qxposix::Session::instance(); }

std::string parentOf(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

int where() {
    mp::PeerState state;
    if (makeWindow(state) == nullptr) return refused;
    std::printf("%s\n", session().tablePath().c_str());
    return ok;
}

bool hasMode(const std::string& path, mode_t expected) {
    struct stat status{};
    if (::stat(path.c_str(), &status) == 0 && (status.st_mode & 07777) == expected) return true;
    std::fprintf(stderr, "%s: mode %o, %o expected\n", path.c_str(), status.st_mode & 07777, expected);
    return false;
}

int modes() {
    mp::PeerState state;
    if (makeWindow(state) == nullptr) return refused;
    const std::string ring = session().endpointPath(GetCurrentProcessId(), GetCurrentThreadId());
    const bool right = hasMode(parentOf(session().tablePath()), 0700) && hasMode(session().tablePath(), 0600) &&
                       hasMode(parentOf(ring), 0700) && hasMode(ring, 0600);
    return right ? ok : failed;
}

// The joiner stands for a process of many threads: beside its own ring it
// puts files named as the rings of 64 more, so that a leaver that removes the
// endpoint directory takes a while. It checks its endpoint as it leaves,
// after its messages were handled, so that such a removal has long ended.
int joinAndCheck() {
    mp::PeerState state;
    if (!mp::registerPeerClass() || makeWindow(state) == nullptr) return refused;
    const std::string ring = session().endpointPath(GetCurrentProcessId(), GetCurrentThreadId());
    for (DWORD thread = 1; thread <= 64; ++thread)
        ::close(::open(session().endpointPath(GetCurrentProcessId(), thread).c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
    qxplatform::pumpPending();
    return ::access(ring.c_str(), F_OK) == 0 ? ok : failed;
}

// Stops after `rounds` or a few seconds, whichever comes first.
int joiners(int rounds) {
    const DWORD begin = GetTickCount();
    for (int round = 0; round < rounds && GetTickCount() - begin < 4000; ++round) {
        const pid_t pid = ::fork();
        if (pid == 0) std::exit(joinAndCheck());  // exit: the process leaves the session as usual
        int status = 0;
        const DWORD start = GetTickCount();
        while (::waitpid(pid, &status, WNOHANG) == 0) {
            if (GetTickCount() - start > mp::kPatience) {
                ::kill(pid, SIGKILL);
                ::waitpid(pid, &status, 0);
                return failed;
            }
            Sleep(1);
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != ok) {
            std::fprintf(stderr, "joiner %d ended with status %d\n", round, status);
            return failed;
        }
    }
    return ok;
}

bool writeFile(const char* path, const std::string& text) {
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::close(fd);
    return written;
}

// A tmpfs of `size` over $XDG_RUNTIME_DIR, seen by this process and its
// children only: a mount namespace of its own (in a user namespace of its
// own when not root).
bool privateFileSystem(const char* size) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime == nullptr) return false;
    if (::unshare(CLONE_NEWNS) != 0) {
        const uid_t user = ::geteuid();
        const gid_t group = ::getegid();
        if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0 || !writeFile("/proc/self/setgroups", "deny") ||
            !writeFile("/proc/self/uid_map", std::to_string(user) + " " + std::to_string(user) + " 1") ||
            !writeFile("/proc/self/gid_map", std::to_string(group) + " " + std::to_string(group) + " 1"))
            return false;
    }
    return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount("tmpfs", runtime, "tmpfs", 0, (std::string("mode=700,size=") + size).c_str()) == 0;
}

// Takes the rest of the file system; the file is removed by the caller.
bool fill(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const std::vector<char> chunk(64 * 1024, 'x');
    while (::write(fd, chunk.data(), chunk.size()) > 0) {}
    while (::write(fd, chunk.data(), 1) > 0) {}
    ::close(fd);
    return true;
}

int fullCreate() {
    if (!privateFileSystem("4k")) return kSkip;
    mp::PeerState state;
    if (makeWindow(state) != nullptr) return failed;
    return GetLastError() == static_cast<DWORD>(ERROR_DISK_FULL) ? ok : failed;
}

// Room for the table and the peer's ring, then none.
int fullSend() {
    if (!privateFileSystem("20m")) return kSkip;
    mp::ChildProcess peer({"serve", "full-peer"});
    const HWND window = mp::awaitPeer("full-peer");
    const std::string filler = std::string(std::getenv("XDG_RUNTIME_DIR")) + "/filler";
    if (window == nullptr || !fill(filler)) return failed;
    mp::PeerState state;
    SetLastError(0);
    const bool refusedWhileFull = SendMessageA(window, mp::kPing, 1, 0) == 0 && GetLastError() != 0 &&
                                  !PostMessageA(window, mp::kPing, 1, 0) && makeWindow(state) == nullptr;
    ::unlink(filler.c_str());
    const bool servedAgain = SendMessageA(window, mp::kPing, 1, 0) == 2 && makeWindow(state) != nullptr;
    PostMessageA(window, WM_CLOSE, 0, 0);
    const bool closed = peer.wait(mp::kPatience) == 0;
    if (!refusedWhileFull) std::fprintf(stderr, "a send, a post or a new window did not fail while full\n");
    if (!servedAgain) std::fprintf(stderr, "no send or window once there was room again\n");
    return refusedWhileFull && servedAgain && closed ? ok : failed;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage;
    const std::string mode = argv[1];
    if (mode == "joiners" && argc == 3) return joiners(std::atoi(argv[2]));  // before this process uses the platform
    if (!mp::registerPeerClass()) return usage;
    if (mode == "where") return where();
    if (mode == "modes") return modes();
    if (mode == "fullfs-create") return fullCreate();
    if (mode == "fullfs-send") return fullSend();
    return usage;
}
