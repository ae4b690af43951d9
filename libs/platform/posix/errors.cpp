// Last-error value, thread and process identity, and time.
#include <windows.h>

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

// Both ids are asked for on every message to another process, and each is a
// system call: they are kept, and forgotten in the child of a fork (where
// only the forking thread lives on).
std::atomic<DWORD> processId{0};
thread_local DWORD threadId = 0;

void forgetIds() {
    processId.store(0, std::memory_order_relaxed);
    threadId = 0;
}

const bool forgetIdsOnFork = [] { return pthread_atfork(nullptr, nullptr, forgetIds) == 0; }();

}  // namespace

extern "C" {

DWORD GetLastError() { return lastError; }

void SetLastError(DWORD dwErrCode) { lastError = dwErrCode; }

// The kernel's thread id: unique among the live threads of the system, and
// small enough for a DWORD.
DWORD GetCurrentThreadId() {
    if (threadId == 0) threadId = static_cast<DWORD>(::syscall(SYS_gettid));
    return threadId;
}

DWORD GetCurrentProcessId() {
    DWORD id = processId.load(std::memory_order_relaxed);
    if (id == 0) {
        id = static_cast<DWORD>(::getpid());
        processId.store(id, std::memory_order_relaxed);
    }
    return id;
}

// Milliseconds of a monotonic clock, wrapping like the real counter.
DWORD GetTickCount() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void Sleep(DWORD dwMilliseconds) {
    if (dwMilliseconds == 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

}  // extern "C"
