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

#include "wake_word.h"

namespace qxposix {

struct RingFile;  // the mapped layout, in post_ring.cpp

class FrameRing {
public:
    static constexpr std::size_t kCapacity = std::size_t{1} << 20;  // bytes of frames

    // The owner's ring, made at path; null on failure.
    static std::unique_ptr<FrameRing> create(const std::string& path);
    // A peer's ring; null when there is none (its thread or process ended).
    static std::unique_ptr<FrameRing> attach(const std::string& path);
    ~FrameRing();
    FrameRing(const FrameRing&) = delete;
    FrameRing& operator=(const FrameRing&) = delete;

    // --- sending processes
    enum class Put { done, full, closed };
    // Appends a frame made of two parts (the second may be empty), and wakes
    // the owner if it sleeps.
    Put put(const void* first, std::size_t firstSize, const void* second, std::size_t secondSize);

    // Whether the owning thread ended.
    bool closed() const;

    // --- the owning thread
    // Copies the next frame to `into` and returns its length; 0 when none.
    // A frame longer than `capacity` is skipped.
    std::size_t take(unsigned char* into, std::size_t capacity);
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

}  // namespace qxposix
