// The wake word under a waker whose work the sleeper has already seen.
//
// Posix only: the word is our layer's own way of waking a thread.
#ifndef _WIN32

#include "wake_word.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

namespace {

using qxposix::WakeWord;
using Clock = std::chrono::steady_clock;
constexpr auto kFarDeadline = std::chrono::seconds(10);

// The interleaving that once left a sleeper asleep for ever: a waker whose
// work was seen takes the flag of the next sleep and changes the value before
// the sleeper reads it. The next waker then finds the flag down.
TEST(WakeWord, ASleepWhoseFlagAWakerTookDoesNotBegin) {
    WakeWord word;
    word.prepare();
    word.wake();
    const std::uint32_t seen = word.value.load();
    const auto deadline = Clock::now() + kFarDeadline;
    word.sleep(seen, deadline);
    word.done();
    EXPECT_LT(Clock::now(), deadline);
}

}  // namespace

#endif
