// How a thread sleeps until it is given work, and how others wake it: a
// futex word that may lie in memory shared with other processes.
//
// The sleeper marks itself sleeping, reads the word, looks for work once
// more, and only then sleeps while the word keeps that value. A waker first
// publishes its work, then, only if the sleeper is marked sleeping, changes
// the word and wakes it. With every step sequentially consistent no wake-up
// is lost, and a thread that does not sleep costs its wakers no system call.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>

namespace qxposix {

struct WakeWord {
    std::atomic<std::uint32_t> value{0};
    std::atomic<std::uint32_t> sleeping{0};

    // --- wakers, after publishing their work
    void wake();

    // --- the sleeper: prepare(), look for work, then sleep() with the value
    // prepare() returned unless there was some; done() in every case.
    std::uint32_t prepare();
    // Sleeps until woken or the deadline (none: for ever); may return early,
    // and does at once when a waker took the flag since prepare().
    void sleep(std::uint32_t seen, const std::optional<std::chrono::steady_clock::time_point>& deadline);
    void done() { sleeping.store(0, std::memory_order_relaxed); }
};

static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "the word is shared between processes");

}  // namespace qxposix
