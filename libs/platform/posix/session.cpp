#include "session.h"

#include "robust_mutex.h"

#include <dirent.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

#include "qxplatform.h"

namespace qxposix {

namespace {

constexpr std::uint64_t kMagic = 0x3157534E4F495358;  // "XSIONSW1"
constexpr std::uint32_t kVersion = 1;

static_assert(sizeof(SessionEntry::className) == Session::kMaxClassName + 1);
static_assert(sizeof(SessionEntry::title) == Session::kMaxTitle + 1);
static_assert(sizeof(SessionTableFile::entries) / sizeof(SessionEntry) == Session::kFirstReservedIndex);

// Holds the table's mutex (each change of an entry is complete once `used`
// is written, so the table stays sound when its holder dies).
class TableLock : public RobustLock {
public:
    explicit TableLock(SessionTableFile* table) : RobustLock(table->mutex) {}
};

WORD nextGeneration(WORD generation) { return generation >= 0xFFFE ? 1 : static_cast<WORD>(generation + 1); }

HWND makeHandle(WORD index, WORD generation) {
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>((DWORD{generation} << 16) | index));
}

DWORD refusalError = ERROR_ACCESS_DENIED;

void refuse(const std::string& reason, DWORD error = ERROR_ACCESS_DENIED) {
    refusalError = error;
    std::fprintf(stderr, "qx: window session refused: %s\n", reason.c_str());
}

std::string systemError(int error) { return std::strerror(error); }

DWORD errorOf(int error) { return error == ENOSPC || error == EDQUOT ? ERROR_DISK_FULL : ERROR_ACCESS_DENIED; }

std::string sessionName() {
    const char* value = std::getenv("QX_SESSION");
    return value != nullptr && *value != '\0' ? value : "default";
}

bool validName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name[0] == '.') return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-'; });
}

// A directory of this user alone: made owner-only whatever the umask (a
// directory of ours that lacks the owner's bits gets them), and refused, with
// the fix, when it is a symlink, not a directory, another user's, or open to
// others.
bool privateDirectory(const std::string& directory, const std::string& fix) {
    if (::mkdir(directory.c_str(), 0700) == 0) {
        ::chmod(directory.c_str(), 0700);
    } else if (errno != EEXIST) {
        const int error = errno;
        refuse("cannot create " + directory + ": " + systemError(error) + "; " + fix, errorOf(error));
        return false;
    }
    struct stat status{};
    if (::lstat(directory.c_str(), &status) != 0) {
        refuse("cannot reach " + directory + ": " + systemError(errno) + "; " + fix);
        return false;
    }
    const bool ours = S_ISDIR(status.st_mode) && status.st_uid == ::geteuid();
    if (S_ISLNK(status.st_mode) || !ours) {
        refuse(directory + (S_ISLNK(status.st_mode)   ? " is a symlink; "
                            : !S_ISDIR(status.st_mode) ? " is not a directory; "
                                                       : " belongs to another user; ") +
               fix);
        return false;
    }
    if ((status.st_mode & 077) != 0) {
        refuse(directory + " is open to other users; make it private: chmod 700 " + directory);
        return false;
    }
    if ((status.st_mode & 0700) != 0700 && ::chmod(directory.c_str(), 0700) != 0) {
        refuse("cannot make " + directory + " usable: " + systemError(errno) + "; " + fix);
        return false;
    }
    return true;
}

// This host's name, as a file name.
std::string hostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
    std::string host = name;
    for (char& c : host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.') c = '_';
    return host;
}

// The per-user directory of sessions: $XDG_RUNTIME_DIR/qx, else
// $HOME/.qx/run-<host>. Never a name in a directory that every user may write
// to (such as /tmp), where another user could take it first for good.
bool runtimeDirectory(std::string& directory) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime != nullptr && *runtime == '/') {
        directory = std::string(runtime) + "/qx";
        return privateDirectory(directory, "remove it");
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || *home != '/') {
        refuse("neither XDG_RUNTIME_DIR nor HOME is set; set XDG_RUNTIME_DIR to a directory of your own");
        return false;
    }
    const std::string fix = "remove it, or set XDG_RUNTIME_DIR to a directory of your own";
    const std::string parent = std::string(home) + "/.qx";
    ::mkdir(parent.c_str(), 0700);
    directory = parent + "/run-" + hostName();
    return privateDirectory(directory, fix);
}

void initialise(SessionTableFile* table) {
    initRobustMutex(table->mutex);
    table->highWater = 1;
    table->cursor = 1;
    table->nextSerial = 1;
    table->version = kVersion;
    table->entrySize = sizeof(SessionEntry);
    table->magic = kMagic;
}

// Held by the process that makes a table, so that two processes never
// reserve room for one at once (on a nearly full file system both would
// fail), and a table being made is never taken for a left-over one. A holder
// that stops is waited for a few seconds only.
class DirectoryLock {
public:
    explicit DirectoryLock(const std::string& directory)
        : fd_(::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        for (int attempt = 0; fd_ >= 0 && attempt < 5000; ++attempt) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
                held_ = true;
                break;
            }
            if (errno != EWOULDBLOCK) break;  // a file system without locks: none
            ::usleep(1000);
        }
    }
    bool held() const { return held_; }
    ~DirectoryLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

private:
    int fd_;
    bool held_ = false;
};

// Creates the table file under a temporary name and links it into place, so
// that no process ever maps a half-made table. False when another process
// was first (or on an error, with errno set).
bool createTable(const std::string& directory, const std::string& path) {
    DirectoryLock lock(directory);
    if (::access(path.c_str(), F_OK) == 0) {
        errno = EEXIST;
        return false;
    }
    std::string temporary = directory + "/.table-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    // The whole table is reserved now: a full file system fails here, not
    // with SIGBUS at a later write through the mapping.
    int error = ::fchmod(fd, 0600) == 0 ? ::posix_fallocate(fd, 0, sizeof(SessionTableFile)) : errno;
    bool made = error == 0;
    if (made) {
        void* mapped = ::mmap(nullptr, sizeof(SessionTableFile), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        made = mapped != MAP_FAILED;
        if (made) {
            initialise(static_cast<SessionTableFile*>(mapped));
            ::munmap(mapped, sizeof(SessionTableFile));
            made = ::link(temporary.c_str(), path.c_str()) == 0;
        }
        error = errno;
    }
    ::close(fd);
    ::unlink(temporary.c_str());
    errno = error;
    return made;
}

void removeDirectory(const std::string& directory) {
    if (DIR* listing = ::opendir(directory.c_str())) {
        while (const dirent* item = ::readdir(listing)) {
            if (item->d_name[0] != '.') ::unlink((directory + "/" + item->d_name).c_str());
        }
        ::closedir(listing);
    }
    ::rmdir(directory.c_str());
}

std::string endpointDirectoryOf(const std::string& tablePath) {
    return tablePath.substr(0, tablePath.size() - std::strlen(".windows")) + ".endpoints";
}

// Removes a session whose table the caller holds locked exclusively (no
// process is in it), unless its name was given to a new table meanwhile. The
// endpoint directory goes before the table: a process that finds no table
// makes a new one and its endpoint directory, so the old directory must be
// gone by then. A process that opened the old table finds it unlinked once it
// has its lock, and starts again.
void removeSession(int fd, const std::string& tablePath) {
    struct stat opened{}, named{};
    if (::fstat(fd, &opened) != 0 || ::stat(tablePath.c_str(), &named) != 0 || named.st_ino != opened.st_ino ||
        named.st_dev != opened.st_dev)
        return;
    removeDirectory(endpointDirectoryOf(tablePath));
    ::unlink(tablePath.c_str());
}

// Every process of a session holds a shared lock on its table for its life,
// so a table that can be locked exclusively was left by processes that were
// killed. Its files are removed, so that sessions with names of their own
// (one per test program) do not fill the runtime directory.
// A table left half-made by a process killed while it made it goes too.
void removeAbandonedSessions(const std::string& directory) {
    DirectoryLock lock(directory);
    DIR* listing = ::opendir(directory.c_str());
    if (listing == nullptr) return;
    while (const dirent* item = ::readdir(listing)) {
        const std::string name = item->d_name;
        const std::string path = directory + "/" + name;
        if (name.starts_with(".table-") && lock.held()) ::unlink(path.c_str());
        if (name[0] == '.' || name.size() <= 8 || !name.ends_with(".windows")) continue;
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) removeSession(fd, path);
        ::close(fd);
    }
    ::closedir(listing);
}

// Removes the ring files (named <pid>.<tid>) of processes that ended.
template <class IsAlive>
void removeDeadEndpoints(const std::string& directory, const IsAlive& isAlive) {
    DIR* listing = ::opendir(directory.c_str());
    if (listing == nullptr) return;
    while (const dirent* item = ::readdir(listing)) {
        char* end = nullptr;
        const unsigned long processId = std::strtoul(item->d_name, &end, 10);
        if (end == item->d_name || *end != '.' || processId > 0xFFFFFFFFul) continue;
        if (!isAlive(static_cast<std::uint32_t>(processId))) ::unlink((directory + "/" + item->d_name).c_str());
    }
    ::closedir(listing);
}

void copyName(char* to, std::size_t capacity, const std::string& from) {
    const std::size_t length = std::min(from.size(), capacity - 1);
    std::memcpy(to, from.data(), length);
    to[length] = '\0';
}

SessionWindow describe(const SessionEntry& entry, WORD index, bool withNames = true) {
    SessionWindow window;
    window.handle = makeHandle(index, entry.generation);
    window.processId = entry.processId;
    window.threadId = entry.threadId;
    window.kind = entry.kind;
    window.serial = entry.serial;
    if (withNames) {
        window.className.assign(entry.className, ::strnlen(entry.className, sizeof entry.className));
        window.title.assign(entry.title, ::strnlen(entry.title, sizeof entry.title));
    }
    return window;
}

Session* openedSession = nullptr;

}  // namespace

void leaveSession() {
    if (openedSession != nullptr) openedSession->leave();
}

bool SessionWindow::local() const { return processId == GetCurrentProcessId(); }

bool processAlive(DWORD processId) {
    constexpr DWORD kMaxProcessId = 1u << 22;  // the kernel's limit
    if (processId == GetCurrentProcessId()) return true;
    if (processId == 0 || processId > kMaxProcessId) return false;  // no process has it
    if (::kill(static_cast<pid_t>(processId), 0) != 0 && errno == ESRCH) return false;
    // A process that died but was not yet reaped is a zombie: gone for us.
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%u/stat", processId);
    std::FILE* file = std::fopen(path, "re");
    if (file == nullptr) return true;
    char buffer[512];
    const std::size_t length = std::fread(buffer, 1, sizeof buffer - 1, file);
    std::fclose(file);
    buffer[length] = '\0';
    const char* end = std::strrchr(buffer, ')');
    return end == nullptr || end[1] == '\0' || (end[2] != 'Z' && end[2] != 'X');
}

Session* Session::instance() {
    static Session* const session = [] {
        std::unique_ptr<Session> candidate(new Session);
        if (!candidate->open()) return static_cast<Session*>(nullptr);
        Session* opened = candidate.release();  // never destroyed: threads may use it during exit
        openedSession = opened;
        std::atexit(leaveSession);
        return opened;
    }();
    return session;
}

bool Session::open() {
    const std::string name = sessionName();
    if (!validName(name)) {
        refuse("QX_SESSION \"" + name + "\" is not a plain name");
        return false;
    }
    std::string directory;
    if (!runtimeDirectory(directory)) return false;
    removeAbandonedSessions(directory);
    tablePath_ = directory + "/" + name + ".windows";
    endpointDirectory_ = endpointDirectoryOf(tablePath_);
    for (int attempt = 0; attempt < 100; ++attempt) {
        fd_ = ::open(tablePath_.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd_ < 0) {
            int error = errno;
            if (error == ENOENT && !createTable(directory, tablePath_) && errno != EEXIST) error = errno;
            if (error != ENOENT) {
                refuse("cannot open " + tablePath_ + ": " + systemError(error), errorOf(error));
                return false;
            }
            continue;
        }
        // A shared lock for as long as the process lives; the last process
        // takes it exclusively to remove the session.
        ::flock(fd_, LOCK_SH);
        struct stat opened{}, named{};
        ::fstat(fd_, &opened);
        if (::stat(tablePath_.c_str(), &named) != 0 || named.st_ino != opened.st_ino) {
            ::close(fd_);  // removed by the last process meanwhile: start again
            continue;
        }
        if (opened.st_uid != ::geteuid() || opened.st_size != static_cast<off_t>(sizeof(SessionTableFile))) {
            ::close(fd_);
            refuse(tablePath_ + " is not a window table of this user");
            return false;
        }
        void* mapped = ::mmap(nullptr, sizeof(SessionTableFile), PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
        if (mapped == MAP_FAILED) {
            refuse("cannot map " + tablePath_ + ": " + systemError(errno));
            return false;
        }
        table_ = static_cast<SessionTableFile*>(mapped);
        if (table_->magic != kMagic || table_->version != kVersion || table_->entrySize != sizeof(SessionEntry)) {
            refuse(tablePath_ + " has another layout");
            return false;
        }
        if (!privateDirectory(endpointDirectory_, "remove it")) return false;
        TableLock lock(table_);
        reclaimDeadProcesses();
        return true;
    }
    refuse("the window table " + tablePath_ + " keeps changing");
    return false;
}

bool Session::allocate(DWORD threadId, std::uint8_t kind, const std::string& className, const std::string& title,
                       HWND& handle, std::uint64_t& serial) {
    TableLock lock(table_);
    std::uint32_t index = usedEnd();
    if (index < kFirstReservedIndex) {
        table_->highWater = index + 1;
    } else {
        index = 0;
        for (int pass = 0; pass < 2 && index == 0; ++pass) {
            for (std::uint32_t step = 1; step < kFirstReservedIndex; ++step) {
                const std::uint32_t candidate = (table_->cursor + step - 2) % (kFirstReservedIndex - 1) + 1;
                if (!table_->entries[candidate].used) {
                    index = candidate;
                    break;
                }
            }
            if (index == 0 && pass == 0) reclaimDeadProcesses();
        }
        if (index == 0) return false;
        table_->cursor = index + 1;
    }
    SessionEntry& entry = table_->entries[index];
    entry.processId = static_cast<std::uint32_t>(GetCurrentProcessId());
    entry.threadId = threadId;
    entry.generation = nextGeneration(entry.generation);
    entry.kind = kind;
    entry.serial = serial = table_->nextSerial++;
    copyName(entry.className, sizeof entry.className, className);
    copyName(entry.title, sizeof entry.title, title);
    entry.used = 1;
    ++table_->live;
    handle = makeHandle(static_cast<WORD>(index), entry.generation);
    return true;
}

void Session::release(HWND handle) {
    const WORD index = LOWORD(reinterpret_cast<UINT_PTR>(handle));
    if (index == 0 || index >= kFirstReservedIndex) return;
    TableLock lock(table_);
    SessionEntry& entry = table_->entries[index];
    if (!entry.used || entry.generation != HIWORD(reinterpret_cast<UINT_PTR>(handle))) return;
    entry.used = 0;
    if (table_->live > 0) --table_->live;
}

std::optional<SessionWindow> Session::find(HWND handle, bool withNames) {
    const auto value = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(handle));
    const WORD index = LOWORD(value);
    const WORD generation = HIWORD(value);
    if (index == 0 || index >= kFirstReservedIndex) return std::nullopt;
    TableLock lock(table_);
    if (index >= usedEnd()) return std::nullopt;
    const SessionEntry& entry = table_->entries[index];
    if (!entry.used) return std::nullopt;
    if (generation != 0 && generation != 0xFFFF && generation != entry.generation) return std::nullopt;
    return describe(entry, index, withNames);
}

std::vector<SessionWindow> Session::list() {
    return list([](const SessionEntry&) { return true; });
}

std::vector<SessionWindow> Session::list(const std::function<bool(const SessionEntry&)>& keep) {
    std::vector<SessionWindow> windows;
    {
        TableLock lock(table_);
        for (std::uint32_t index = 1; index < usedEnd(); ++index) {
            const SessionEntry& entry = table_->entries[index];
            if (entry.used && keep(entry)) windows.push_back(describe(entry, static_cast<WORD>(index)));
        }
    }
    std::sort(windows.begin(), windows.end(), [](const auto& a, const auto& b) { return a.serial < b.serial; });
    return windows;
}

bool Session::exists(const SessionWindow& window) {
    const auto found = find(window.handle);
    if (!found) return false;
    if (processAlive(found->processId)) return true;
    TableLock lock(table_);
    reclaimDeadProcesses();
    return false;
}

std::size_t Session::liveWindows() {
    TableLock lock(table_);
    reclaimDeadProcesses();
    return table_->live;
}

DWORD Session::openError() { return refusalError; }

// The end of the entries ever used, whatever the table holds.
std::uint32_t Session::usedEnd() const { return std::clamp<std::uint32_t>(table_->highWater, 1, kFirstReservedIndex); }

std::string Session::endpointPath(DWORD processId, DWORD threadId) const {
    return endpointDirectory_ + "/" + std::to_string(processId) + "." + std::to_string(threadId);
}

// Caller holds the table lock. Frees the entries of processes that ended and
// removes their ring files (also those of threads that owned no window), and
// counts the live entries again: a process killed in the middle of a change
// may have left the count wrong.
void Session::reclaimDeadProcesses() {
    std::vector<std::uint32_t> alive, dead;
    const auto isAlive = [&](std::uint32_t processId) {
        if (std::find(alive.begin(), alive.end(), processId) != alive.end()) return true;
        if (std::find(dead.begin(), dead.end(), processId) != dead.end()) return false;
        const bool running = processAlive(processId);
        (running ? alive : dead).push_back(processId);
        return running;
    };
    std::uint32_t live = 0;
    for (std::uint32_t index = 1; index < usedEnd(); ++index) {
        SessionEntry& entry = table_->entries[index];
        if (!entry.used) continue;
        if (isAlive(entry.processId)) {
            ++live;
        } else {
            entry.used = 0;
        }
    }
    table_->live = live;
    removeDeadEndpoints(endpointDirectory_, isAlive);
}

// At exit: the process's windows leave the table; the last process of the
// session removes its files.
void Session::leave() {
    {
        TableLock lock(table_);
        const auto self = static_cast<std::uint32_t>(GetCurrentProcessId());
        for (std::uint32_t index = 1; index < usedEnd(); ++index) {
            SessionEntry& entry = table_->entries[index];
            if (entry.used && entry.processId == self) {
                entry.used = 0;
                if (table_->live > 0) --table_->live;
            }
        }
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) return;  // others are still in the session
    removeSession(fd_, tablePath_);
    ::flock(fd_, LOCK_UN);
}

}  // namespace qxposix

long qxplatform::sessionWindowCount() {
    qxposix::Session* session = qxposix::Session::instance();
    return session != nullptr ? static_cast<long>(session->liveWindows()) : -1;
}
