#include "wake_word.h"

#include <linux/futex.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <ctime>

namespace qxposix {

namespace {

// Not FUTEX_PRIVATE_FLAG: the word may lie in a mapping shared with other
// processes.
long futex(std::atomic<std::uint32_t>& word, int operation, std::uint32_t value, const timespec* timeout,
           std::uint32_t mask) {
    return ::syscall(SYS_futex, reinterpret_cast<std::uint32_t*>(&word), operation, value, timeout, nullptr, mask);
}

}  // namespace

// Only the first waker of a sleep pays for the system call.
void WakeWord::wake() {
    if (sleeping.load(std::memory_order_seq_cst) == 0 || sleeping.exchange(0, std::memory_order_seq_cst) == 0) return;
    value.fetch_add(1, std::memory_order_seq_cst);
    futex(value, FUTEX_WAKE, INT_MAX, nullptr, 0);
}

std::uint32_t WakeWord::prepare() {
    sleeping.store(1, std::memory_order_seq_cst);
    return value.load(std::memory_order_seq_cst);
}

// FUTEX_WAIT_BITSET takes an absolute time of CLOCK_MONOTONIC, the clock of
// steady_clock.
//
// A waker whose work the sleeper had already seen may take the flag of this
// sleep and change the value before prepare() read it: sleeping on that
// value would then let the next waker find the flag down and leave the
// sleeper asleep for ever. So the sleep goes ahead only while the flag is
// still up; once the flag is seen up here, a waker that takes it changes the
// value after it was read, and the futex does not sleep on it.
void WakeWord::sleep(std::uint32_t seen, const std::optional<std::chrono::steady_clock::time_point>& deadline) {
    if (sleeping.load(std::memory_order_seq_cst) == 0) return;
    if (!deadline) {
        futex(value, FUTEX_WAIT_BITSET, seen, nullptr, FUTEX_BITSET_MATCH_ANY);
        return;
    }
    const auto since = deadline->time_since_epoch();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(since);
    timespec until{};
    until.tv_sec = static_cast<time_t>(seconds.count());
    until.tv_nsec = static_cast<long>(std::chrono::duration_cast<std::chrono::nanoseconds>(since - seconds).count());
    if (until.tv_sec < 0) until = timespec{};
    futex(value, FUTEX_WAIT_BITSET, seen, &until, FUTEX_BITSET_MATCH_ANY);
}

}  // namespace qxposix
