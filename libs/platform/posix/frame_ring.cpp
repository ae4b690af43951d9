#include "frame_ring.h"

#include "robust_mutex.h"

#include <fcntl.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qxposix {

namespace {
constexpr std::uint64_t kMagic = 0x33474E49524D5246;  // "FRMRING3"
}

bool PostCount::reserve() {
    std::uint32_t count = value.load(std::memory_order_relaxed);
    do {
        if (count >= kPostQuota) return false;
    } while (!value.compare_exchange_weak(count, count + 1, std::memory_order_relaxed));
    return true;
}

void PostCount::release(std::uint32_t count) {
    std::uint32_t now = value.load(std::memory_order_relaxed);
    while (!value.compare_exchange_weak(now, now - std::min(now, count), std::memory_order_relaxed)) {
    }
}

namespace {

RingFile* map(int fd) {
    void* mapped = ::mmap(nullptr, sizeof(RingFile), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return mapped == MAP_FAILED ? nullptr : static_cast<RingFile*>(mapped);
}

// Copies into and out of the ring, across its end.
void copyIn(RingFile& ring, std::uint64_t at, const void* from, std::size_t size) {
    const std::size_t start = at % FrameRing::kCapacity;
    const std::size_t first = std::min(size, FrameRing::kCapacity - start);
    std::memcpy(ring.bytes + start, from, first);
    std::memcpy(ring.bytes, static_cast<const unsigned char*>(from) + first, size - first);
}

void copyOut(const RingFile& ring, std::uint64_t at, void* to, std::size_t size) {
    const std::size_t start = at % FrameRing::kCapacity;
    const std::size_t first = std::min(size, FrameRing::kCapacity - start);
    std::memcpy(to, ring.bytes + start, first);
    std::memcpy(static_cast<unsigned char*>(to) + first, ring.bytes, size - first);
}

}  // namespace

std::unique_ptr<FrameRing> FrameRing::create(const std::string& path) {
    ::unlink(path.c_str());
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return nullptr;
    RingFile* file = ::ftruncate(fd, sizeof(RingFile)) == 0 ? map(fd) : nullptr;
    ::close(fd);
    if (file == nullptr) {
        ::unlink(path.c_str());
        return nullptr;
    }
    initRobustMutex(file->mutex);
    file->magic = kMagic;
    return std::unique_ptr<FrameRing>(new FrameRing(file, path, true));
}

std::unique_ptr<FrameRing> FrameRing::attach(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) return nullptr;
    struct stat status{};
    RingFile* file = nullptr;
    if (::fstat(fd, &status) == 0 && status.st_uid == ::geteuid() &&
        status.st_size == static_cast<off_t>(sizeof(RingFile)))
        file = map(fd);
    ::close(fd);
    if (file != nullptr && file->magic != kMagic) {
        ::munmap(file, sizeof(RingFile));
        file = nullptr;
    }
    return file == nullptr ? nullptr : std::unique_ptr<FrameRing>(new FrameRing(file, path, false));
}

FrameRing::~FrameRing() {
    if (owner_) close();
    ::munmap(file_, sizeof(RingFile));
}

// Indexes written by anyone but our own code may be anything: the bytes
// between them are bounded by the capacity before any use.
FrameRing::Put FrameRing::put(Use use, const void* first, std::size_t firstSize, const void* second,
                              std::size_t secondSize) {
    const std::size_t size = firstSize + secondSize;
    const auto length = static_cast<std::uint32_t>(size);
    const std::size_t room = use == Use::reply ? kCapacity : kCapacity - kReplyRoom;
    {
        RobustLock lock(file_->mutex);
        if (file_->closed.load()) return Put::closed;
        const std::uint64_t tail = file_->tail.load(std::memory_order_relaxed);
        const std::uint64_t used = tail - file_->head.load(std::memory_order_acquire);
        if (used > room || room - used < sizeof length + size) return Put::full;
        if (use == Use::post && !file_->posts.reserve()) return Put::full;
        copyIn(*file_, tail, &length, sizeof length);
        copyIn(*file_, tail + sizeof length, first, firstSize);
        if (secondSize != 0) copyIn(*file_, tail + sizeof length + firstSize, second, secondSize);
        file_->tail.store(tail + sizeof length + size, std::memory_order_seq_cst);
    }
    file_->wakeWord.wake();
    return Put::done;
}

// Every frame our senders write has a length and a body; bytes between the
// indexes that are more than the ring holds, fewer than a length, or a length
// of 0 or past the tail were not written by them.
std::size_t FrameRing::take(unsigned char* into, std::size_t capacity) {
    for (;;) {
        const std::uint64_t head = file_->head.load(std::memory_order_relaxed);
        const std::uint64_t tail = file_->tail.load(std::memory_order_acquire);
        if (head == tail) return 0;
        std::uint32_t length = 0;
        const std::uint64_t waiting = tail - head;
        if (waiting > kCapacity || waiting <= sizeof length) return kCorrupt;
        copyOut(*file_, head, &length, sizeof length);
        if (length == 0 || length > waiting - sizeof length) return kCorrupt;
        if (length <= capacity) copyOut(*file_, head + sizeof length, into, length);
        file_->head.store(head + sizeof length + length, std::memory_order_release);
        if (length <= capacity) return length;
    }
}

void FrameRing::drop(std::uint32_t queued) {
    std::uint64_t head, tail;
    {
        RobustLock lock(file_->mutex);
        head = file_->head.load(std::memory_order_relaxed);
        tail = file_->tail.load(std::memory_order_relaxed);
        file_->head.store(tail, std::memory_order_release);
        file_->posts.value.store(queued, std::memory_order_relaxed);
    }
    std::fprintf(stderr, "qx: frame ring %s held impossible indexes (head %llu, tail %llu); its frames were dropped\n",
                 path_.c_str(), static_cast<unsigned long long>(head), static_cast<unsigned long long>(tail));
}

bool FrameRing::pending() const {
    return file_->head.load(std::memory_order_relaxed) != file_->tail.load(std::memory_order_seq_cst);
}

bool FrameRing::closed() const { return file_->closed.load(std::memory_order_acquire) != 0; }

WakeWord& FrameRing::wakeWord() const { return file_->wakeWord; }

PostCount& FrameRing::posts() const { return file_->posts; }

void FrameRing::close() {
    if (file_->closed.exchange(1) == 0) ::unlink(path_.c_str());
}

}  // namespace qxposix
