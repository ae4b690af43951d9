// The posted messages for one thread's endpoint from other processes: a ring
// of frames in a file beside the endpoint's socket, which posting processes
// map. A post is a copy into the ring under a robust process-shared mutex; only
// when the owning thread sleeps does the poster also wake it (with a datagram
// on its socket), so that a burst of posts costs no system call per message.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace qxposix {

struct RingFile;  // the mapped layout, in post_ring.cpp

class PostRing {
public:
    static constexpr std::size_t kCapacity = std::size_t{1} << 20;  // bytes of frames

    // The owner's ring, made at path; null on failure.
    static std::unique_ptr<PostRing> create(const std::string& path);
    // A peer's ring; null when there is none (its thread or process ended).
    static std::unique_ptr<PostRing> attach(const std::string& path);
    ~PostRing();
    PostRing(const PostRing&) = delete;
    PostRing& operator=(const PostRing&) = delete;

    // --- posting processes
    enum class Put { done, full, closed };
    // Appends a frame made of two parts (the second may be empty); wakeOwner
    // tells whether the owner sleeps and must be woken.
    Put put(const void* first, std::size_t firstSize, const void* second, std::size_t secondSize, bool& wakeOwner);

    // --- the owning thread
    // Copies the next frame to `into` and returns its length; 0 when none.
    // A frame longer than `capacity` is skipped.
    std::size_t take(unsigned char* into, std::size_t capacity);
    bool pending() const;
    // Before sleeping: marks the owner sleeping; false (and not marked) when
    // frames are waiting.
    bool sleep();
    void awake();
    // The thread ends: posts are refused from now on.
    void close();

private:
    PostRing(RingFile* file, std::string path, bool owner) : file_(file), path_(std::move(path)), owner_(owner) {}
    RingFile* file_;
    std::string path_;
    bool owner_;
};

}  // namespace qxposix
