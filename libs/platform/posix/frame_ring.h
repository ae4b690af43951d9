// The frames for one thread from other processes: a ring in a file of the
// session's endpoint directory, which the sending processes map. A frame is a
// copy into the ring under a robust process-shared mutex; only when the owning
// thread sleeps does the sender also wake it (its wake word lies in the same
// file), so that a burst of frames costs no system call per frame.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include <pthread.h>

#include "wake_word.h"

namespace qxposix {

// The posted messages that wait for a thread, wherever they wait (in its
// ring or, once taken out, in its queue): at most kPostQuota, as on Windows,
// so that a flood keeps the receiver's memory bounded. The count may lie in
// shared memory, so it is only ever compared, and never goes below 0.
struct PostCount {
    static constexpr std::uint32_t kPostQuota = 10000;
    std::atomic<std::uint32_t> value{0};
    // Counts one more message; false when kPostQuota wait already.
    bool reserve();
    // Messages that stopped waiting (taken, dropped).
    void release(std::uint32_t count = 1);
};

struct RingFile;  // the mapped layout, below

class FrameRing {
public:
    static constexpr std::size_t kCapacity = std::size_t{1} << 20;  // bytes of frames
    // Room that only replies may take, so that a reply never waits: the
    // receiver of a reply is a sender that waits (and reads its ring) or gave
    // up, and one whose ring holds even this many bytes of replies is
    // dropped.
    static constexpr std::size_t kReplyRoom = std::size_t{1} << 18;

    // The owner's ring, made at path; null on failure.
    static std::unique_ptr<FrameRing> create(const std::string& path);
    // A peer's ring; null when there is none (its thread or process ended).
    static std::unique_ptr<FrameRing> attach(const std::string& path);
    ~FrameRing();
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    // --- sending processes
    enum class Use { post, send, reply };  // what a frame is, for the room it may take
    enum class Put { done, full, closed };  // full: no room, or a post past the quota
    // Appends a frame made of two parts (the second may be empty), and wakes
    // the owner if it sleeps. A post is counted in posts().
    Put put(Use use, const void* first, std::size_t firstSize, const void* second, std::size_t secondSize);

    // Whether the owning thread ended.
    bool closed() const;

    // The posted messages waiting for the owner; its queue counts those it
    // took out here too.
    PostCount& posts() const;

    // --- the owning thread
    // Copies the next frame to `into` and returns its length; 0 when none,
    // kCorrupt when the indexes cannot be right (then drop()). A frame longer
    // than `capacity` is skipped.
    static constexpr std::size_t kCorrupt = ~std::size_t{0};
    std::size_t take(unsigned char* into, std::size_t capacity);
    // Drops every frame in the ring, saying so on standard error; from now on
    // the posts waiting are the `queued` ones that the owner took out before.
    void drop(std::uint32_t queued);
    bool pending() const;
    // What the owning thread sleeps on; senders wake it after a put.
    WakeWord& wakeWord() const;
    // The thread ends: frames are refused from now on, and the file goes.
    void close();

private:
    FrameRing(RingFile* file, std::string path, bool owner) : file_(file), path_(std::move(path)), owner_(owner) {}
    RingFile* file_;
    std::string path_;
    bool owner_;
};

// The file, as every process maps it.
struct RingFile {
    std::uint64_t magic;
    pthread_mutex_t mutex;  // robust, process-shared; guards tail and the bytes from tail on
    std::atomic<std::uint64_t> head;  // read up to here (the owner alone moves it)
    std::atomic<std::uint64_t> tail;  // written up to here
    WakeWord wakeWord;
    std::atomic<std::uint32_t> closed;
    PostCount posts;
    alignas(64) unsigned char bytes[FrameRing::kCapacity];
};

}  // namespace qxposix
