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

struct SessionEntry {
    std::uint32_t processId;
    std::uint32_t threadId;
    std::uint16_t generation;  // 0: never used; else 1 to 0xFFFE
    std::uint8_t used;
    std::uint8_t kind;
    std::uint32_t reserved;
    std::uint64_t serial;
    char className[Session::kMaxClassName + 1];
    char title[Session::kMaxTitle + 1];
};
static_assert(sizeof(SessionEntry) == 256);

}  // namespace

struct SessionTableFile {
    std::uint64_t magic;
    std::uint32_t version;
    std::uint32_t entrySize;
    pthread_mutex_t mutex;     // robust, process-shared; guards what follows
    std::uint32_t highWater;   // entries below it have been used (index 0 never is)
    std::uint32_t cursor;      // where the search for a free entry goes on
    std::uint32_t live;        // entries in use
    std::uint32_t reserved;
    std::uint64_t nextSerial;
    alignas(64) SessionEntry entries[Session::kFirstReservedIndex];
};

namespace {

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

void refuse(const std::string& reason) { std::fprintf(stderr, "qx: window session refused: %s\n", reason.c_str()); }

std::string sessionName() {
    const char* value = std::getenv("QX_SESSION");
    return value != nullptr && *value != '\0' ? value : "default";
}

bool validName(const std::string& name) {
    if (name.empty() || name.size() > 64 || name[0] == '.') return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-'; });
}

// The per-user directory of sessions: created owner-only, and refused when
// it belongs to another user or others may enter it.
bool runtimeDirectory(std::string& directory) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    directory = runtime != nullptr && *runtime == '/' ? std::string(runtime) + "/qx"
                                                      : "/tmp/qx-" + std::to_string(::geteuid());
    if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) {
        refuse("cannot create " + directory + ": " + std::strerror(errno));
        return false;
    }
    struct stat status{};
    if (::lstat(directory.c_str(), &status) != 0) {
        refuse("cannot reach " + directory + ": " + std::strerror(errno));
        return false;
    }
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::geteuid()) {
        refuse(directory + " belongs to another user");
        return false;
    }
    if ((status.st_mode & 077) != 0) {
        refuse(directory + " is open to other users");
        return false;
    }
    return true;
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

// Creates the table file under a temporary name and links it into place, so
// that no process ever maps a half-made table. False when another process
// was first (or on an error, with errno set).
bool createTable(const std::string& directory, const std::string& path) {
    std::string temporary = directory + "/.table-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return false;
    bool made = ::ftruncate(fd, sizeof(SessionTableFile)) == 0;
    if (made) {
        void* mapped = ::mmap(nullptr, sizeof(SessionTableFile), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        made = mapped != MAP_FAILED;
        if (made) {
            initialise(static_cast<SessionTableFile*>(mapped));
            ::munmap(mapped, sizeof(SessionTableFile));
            made = ::link(temporary.c_str(), path.c_str()) == 0;
        }
    }
    const int error = errno;
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
        window.className = entry.className;
        window.title = entry.title;
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
    if (processId == GetCurrentProcessId()) return true;
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
    tablePath_ = directory + "/" + name + ".windows";
    endpointDirectory_ = directory + "/" + name + ".endpoints";
    for (int attempt = 0; attempt < 100; ++attempt) {
        fd_ = ::open(tablePath_.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd_ < 0) {
            if (errno != ENOENT || (!createTable(directory, tablePath_) && errno != EEXIST)) {
                refuse("cannot open " + tablePath_ + ": " + std::strerror(errno));
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
            refuse("cannot map " + tablePath_ + ": " + std::strerror(errno));
            return false;
        }
        table_ = static_cast<SessionTableFile*>(mapped);
        if (table_->magic != kMagic || table_->version != kVersion || table_->entrySize != sizeof(SessionEntry)) {
            refuse(tablePath_ + " has another layout");
            return false;
        }
        if (::mkdir(endpointDirectory_.c_str(), 0700) != 0 && errno != EEXIST) {
            refuse("cannot create " + endpointDirectory_ + ": " + std::strerror(errno));
            return false;
        }
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
    std::uint32_t index = 0;
    if (table_->highWater < kFirstReservedIndex) {
        index = table_->highWater++;
    } else {
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
    --table_->live;
}

std::optional<SessionWindow> Session::find(HWND handle, bool withNames) {
    const auto value = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(handle));
    const WORD index = LOWORD(value);
    const WORD generation = HIWORD(value);
    if (index == 0 || index >= kFirstReservedIndex) return std::nullopt;
    TableLock lock(table_);
    if (index >= table_->highWater) return std::nullopt;
    const SessionEntry& entry = table_->entries[index];
    if (!entry.used) return std::nullopt;
    if (generation != 0 && generation != 0xFFFF && generation != entry.generation) return std::nullopt;
    return describe(entry, index, withNames);
}

std::vector<SessionWindow> Session::list() {
    std::vector<SessionWindow> windows;
    {
        TableLock lock(table_);
        for (std::uint32_t index = 1; index < table_->highWater; ++index)
            if (table_->entries[index].used) windows.push_back(describe(table_->entries[index], static_cast<WORD>(index)));
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

std::string Session::endpointPath(DWORD processId, DWORD threadId) const {
    return endpointDirectory_ + "/" + std::to_string(processId) + "." + std::to_string(threadId);
}

// Caller holds the table lock. Frees the entries of processes that ended;
// their endpoints went with them (a left-over ring file is removed).
void Session::reclaimDeadProcesses() {
    std::vector<std::uint32_t> checked, dead;
    for (std::uint32_t index = 1; index < table_->highWater; ++index) {
        SessionEntry& entry = table_->entries[index];
        if (!entry.used) continue;
        if (std::find(dead.begin(), dead.end(), entry.processId) == dead.end()) {
            if (std::find(checked.begin(), checked.end(), entry.processId) != checked.end()) continue;
            if (processAlive(entry.processId)) {
                checked.push_back(entry.processId);
                continue;
            }
            dead.push_back(entry.processId);
        }
        ::unlink(endpointPath(entry.processId, entry.threadId).c_str());
        entry.used = 0;
        --table_->live;
    }
}

// At exit: the process's windows leave the table; the last process of the
// session removes its files.
void Session::leave() {
    {
        TableLock lock(table_);
        const auto self = static_cast<std::uint32_t>(GetCurrentProcessId());
        for (std::uint32_t index = 1; index < table_->highWater; ++index) {
            SessionEntry& entry = table_->entries[index];
            if (entry.used && entry.processId == self) {
                entry.used = 0;
                --table_->live;
            }
        }
    }
    if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) return;  // others are still in the session
    ::unlink(tablePath_.c_str());
    removeDirectory(endpointDirectory_);
    ::flock(fd_, LOCK_UN);
}

}  // namespace qxposix

long qxplatform::sessionWindowCount() {
    qxposix::Session* session = qxposix::Session::instance();
    return session != nullptr ? static_cast<long>(session->liveWindows()) : -1;
}
