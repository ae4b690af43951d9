// The session: the window table that the processes of one user (or of one
// QX_SESSION) share, and where their threads' endpoints live.
//
// The table is a file in the user's runtime directory, mapped by every
// process of the session. A window handle's low 16 bits index it, so a handle
// means the same window in every process. A robust, process-shared mutex
// guards it; a process that dies holding it leaves it to the next one. Each
// entry names the owning process and thread, the window's kind, class name and
// title. Entries of processes that died are reclaimed lazily by whoever meets
// them. See README.md beside this file.
#pragma once

#include <windows.h>

#include <pthread.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qxposix {

// The table's layout, as every process maps it. Any process may have left
// any value in it: every index and count read from it is bounded before use.
struct SessionEntry {
    std::uint32_t processId;
    std::uint32_t threadId;
    std::uint16_t generation;  // 0: never used; else 1 to 0xFFFE
    std::uint8_t used;
    std::uint8_t kind;
    std::uint32_t reserved;
    std::uint64_t serial;
    char className[80];
    char title[152];
};
static_assert(sizeof(SessionEntry) == 256);

struct SessionTableFile {
    std::uint64_t magic;
    std::uint32_t version;
    std::uint32_t entrySize;
    pthread_mutex_t mutex;     // robust, process-shared; guards what follows
    std::uint32_t highWater;   // entries below it have been used (index 0 never is)
    std::uint32_t cursor;      // where the search for a free entry goes on
    std::uint32_t live;        // entries in use (recounted at each reclaim)
    std::uint32_t reserved;
    std::uint64_t nextSerial;
    alignas(64) SessionEntry entries[0xFFF0];  // up to Session::kFirstReservedIndex
};

// A window as the session table describes it: any process's.
struct SessionWindow {
    HWND handle = nullptr;  // full handle: index and generation
    DWORD processId = 0;
    DWORD threadId = 0;
    std::uint8_t kind = 0;  // a WindowKind
    std::uint64_t serial = 0;  // order of creation
    std::string className;
    std::string title;
    bool local() const;
};

class Session {
public:
    static constexpr WORD kFirstReservedIndex = 0xFFF0;  // indexes from here up name no window
    static constexpr std::size_t kMaxClassName = 79;
    static constexpr std::size_t kMaxTitle = 151;

    // The process's session, opened on first use; null when it cannot be
    // (the reason went to standard error once).
    static Session* instance();

    // A new entry for a window of the calling process. False when the table
    // is full.
    bool allocate(DWORD threadId, std::uint8_t kind, const std::string& className, const std::string& title,
                  HWND& handle, std::uint64_t& serial);
    void release(HWND handle);

    // The live window a handle names (a high half of 0 or 0xFFFF matches any
    // generation), or none; without names unless asked (a message needs none).
    std::optional<SessionWindow> find(HWND handle, bool withNames = false);
    // Every live window, oldest first.
    std::vector<SessionWindow> list();
    // The windows whose entries `keep` accepts, looked at under the table
    // lock without copies, ordered as list() orders them.
    std::vector<SessionWindow> list(const std::function<bool(const SessionEntry&)>& keep);
    // Whether the window still exists and its process is alive.
    bool exists(const SessionWindow& window);
    std::size_t liveWindows();

    // Where a thread's endpoint (its frame ring) lives.
    std::string endpointPath(DWORD processId, DWORD threadId) const;
    // The window table's file.
    const std::string& tablePath() const { return tablePath_; }

    // Why the session could not be opened: ERROR_DISK_FULL when its file
    // system is full, else ERROR_ACCESS_DENIED.
    static DWORD openError();

private:
    Session() = default;
    bool open();
    void reclaimDeadProcesses();  // caller holds the table lock
    std::uint32_t usedEnd() const;
    void leave();
    friend void leaveSession();

    int fd_ = -1;
    SessionTableFile* table_ = nullptr;
    std::string tablePath_;
    std::string endpointDirectory_;
};

// Whether the process is running (not ended, not a zombie).
bool processAlive(DWORD processId);

}  // namespace qxposix
