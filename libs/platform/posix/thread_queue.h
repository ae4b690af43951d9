// The message queue of one thread: messages sent to its windows by other
// threads, messages posted to it, and the wake-up of a thread that waits.
//
// Other threads hand messages in; only the owning thread takes them out.
// Messages from other processes arrive in the thread's endpoint ring; the
// owning thread moves them into the same queues (drainRemote), so that they
// follow the same rules as messages from threads of its own process. The
// thread sleeps on one wake word, which threads of its process and other
// processes alike change to wake it (wake_word.h).
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "endpoint.h"
#include "wake_word.h"

namespace qxposix {

class Window;
class ThreadQueue;
struct SessionWindow;

using Clock = std::chrono::steady_clock;
using Deadline = std::optional<Clock::time_point>;  // none: wait for ever

// A message sent to a window of another thread. Shared by the sender, who
// waits for it, and the window's thread, which handles it; it outlives a
// sender that stopped waiting (SendMessageTimeoutA).
class SentMessage {
public:
    SentMessage(std::shared_ptr<Window> target, UINT message, WPARAM wParam, LPARAM lParam,
                std::shared_ptr<ThreadQueue> sender);
    // A message sent from another process: complete() answers it through
    // the receiving thread's endpoint.
    struct Origin {
        DWORD processId = 0;
        DWORD threadId = 0;
        std::uint64_t id = 0;
        ThreadQueue* receiver = nullptr;
        bool returnsBlock = false;  // lParam is the block, whose bytes go back with the answer
    };
    void setOrigin(const Origin& origin) { origin_ = origin; }

    const std::shared_ptr<Window> target;
    const UINT message;
    const WPARAM wParam;
    const LPARAM lParam;

    // Called exactly once: with the procedure's result once it was handled,
    // or with 0 (handled false) when the window or its thread went away.
    void complete(LRESULT result, bool handled);
    bool done() const { return done_.load(std::memory_order_acquire); }
    LRESULT result() const { return result_; }
    bool handled() const { return handled_; }

    // WM_COPYDATA: the receiver's own copy of the payload.
    void copyPayload(const COPYDATASTRUCT& data);
    COPYDATASTRUCT payload();
    // A block from another process that lParam points to (see Origin).
    bool carriesBlock() const { return origin_.returnsBlock; }
    void* block() { return payload_.data(); }
    std::size_t blockSize() const { return payload_.size(); }

private:
    const std::shared_ptr<ThreadQueue> sender_;
    Origin origin_;
    friend class ThreadQueue;
    ULONG_PTR payloadTag_ = 0;
    std::vector<unsigned char> payload_;
    LRESULT result_ = 0;
    bool handled_ = false;
    std::atomic<bool> done_{false};
};

// Which posted messages GetMessageA and PeekMessageA take.
struct MessageFilter {
    HWND window = nullptr;  // null: any; else exactly this window's messages
    bool threadOnly = false;  // only messages posted to the thread itself
    UINT first = 0;
    UINT last = 0;  // first and last 0: every message
    bool matches(const MSG& message) const;
};

// A send to a window of another process, as its sender waits for it: first
// for room in the peer's ring (until queued), then for the answer.
struct RemoteCall {
    std::uint64_t id = 0;
    void* block = nullptr;  // where the rewritten block goes (sendWithBlock)
    std::size_t blockSize = 0;
    Frame frame{};
    const void* frameBlock = nullptr;  // the block that follows the frame
    DWORD processId = 0;  // the peer's thread
    DWORD threadId = 0;
    bool queued = false;
    bool done = false;
    bool handled = false;
    LRESULT result = 0;
};

class ThreadQueue {
public:
    explicit ThreadQueue(DWORD threadId) : threadId_(threadId) {}
    ~ThreadQueue();
    ThreadQueue(const ThreadQueue&) = delete;
    ThreadQueue& operator=(const ThreadQueue&) = delete;

    DWORD threadId() const { return threadId_; }

    // --- any thread. False once the thread has ended (or, for a sent
    // message, once its window is gone).
    bool deliverSent(const std::shared_ptr<SentMessage>& message);
    // target: the window the message is for, null for a thread message.
    // full: PostCount::kPostQuota posted messages wait for the thread.
    enum class Posted { done, gone, full };
    Posted post(const MSG& message, const Window* target);
    bool postQuit(int exitCode);
    // Wakes the thread if it waits (a message it sent was answered).
    void wake();

    // --- the owning thread
    std::shared_ptr<SentMessage> takeSent();
    // The first posted message the filter accepts; WM_QUIT once no posted
    // message is left that the filter accepts.
    bool takePosted(MSG& message, const MessageFilter& filter, bool remove);
    bool hasInput(UINT wakeMask) const;
    // Forgets the window: drops its posted messages and answers the messages
    // sent to it with 0.
    void forgetWindow(const Window& window);
    // The thread ends: refuses new messages and answers the waiting ones.
    void close();

    // Waiting: read signals(), look for work, then waitForSignal() with that
    // value. It returns true as soon as anything was handed in since (or a
    // frame arrived from another process), false at the deadline.
    std::uint64_t signals() const { return signals_.load(std::memory_order_acquire); }
    bool waitForSignal(std::uint64_t seen, const Deadline& deadline, bool spin = true);

    // --- other processes (the owning thread)
    // Opens the thread's endpoint if it has none; false when it cannot.
    bool openEndpoint();
    // Moves the frames that arrived from other processes into the queues;
    // true if there were any.
    bool drainRemote();
    // Makes a sent message for another process's window and hands it over
    // if the window's ring has room; false, with the last error set, when it
    // cannot go. The answer completes call during a later drainRemote().
    bool sendRemote(const SessionWindow& window, UINT message, WPARAM wParam, LPARAM lParam, RemoteCall& call);
    // Tries again to put a call that found no room into the peer's ring
    // (call.queued once it is there); false when the peer's thread is gone.
    bool handOver(RemoteCall& call);
    void forgetCall(const RemoteCall& call) { calls_.erase(call.id); }
    // False, with the last error set, when the window is gone
    // (ERROR_INVALID_WINDOW_HANDLE) or its thread's ring is full
    // (ERROR_NOT_ENOUGH_QUOTA).
    bool postRemote(const SessionWindow& window, UINT message, WPARAM wParam, LPARAM lParam);
    // Answers a message that another process sent. A reply never waits: one
    // that finds no room in the sender's ring is dropped (FrameRing::kReplyRoom).
    void reply(const SentMessage::Origin& origin, LRESULT result, bool handled,
               const std::vector<unsigned char>* block = nullptr);

private:
    void signal() { signals_.fetch_add(1, std::memory_order_seq_cst); }  // under mutex_
    void notifyWaiter() { wake_.load(std::memory_order_acquire)->wake(); }  // after signal()
    void accept(const FrameBuffer& frame);
    // counted: the message is already counted against the quota (a post
    // taken out of the ring).
    Posted queuePost(const MSG& message, const Window* target, bool counted);
    bool remoteWaiting() const { return endpoint_ && endpoint_->ring().pending(); }

    bool spinFor(std::uint64_t seen, Clock::time_point until) const;
    bool blockFor(std::uint64_t seen, const Deadline& deadline);

    const DWORD threadId_;
    std::atomic<std::uint64_t> signals_{0};
    mutable std::mutex mutex_;
    WakeWord ownWake_;  // until the thread has an endpoint, whose ring holds the word from then on
    std::atomic<WakeWord*> wake_{&ownWake_};
    bool closed_ = false;
    std::deque<std::shared_ptr<SentMessage>> sent_;
    std::deque<MSG> posted_;
    // The count of posted messages waiting: the thread's own until it has an
    // endpoint, whose ring counts them from then on, so that other processes
    // see it. Changed under mutex_ (the pointer by the owning thread alone).
    PostCount ownPosts_;
    PostCount* posts_ = &ownPosts_;
    // Posts taken out of the queue but still counted: the count is lowered a
    // batch at a time (and whenever the queue empties), so that the owner
    // does not write the line the posters write for every message.
    std::uint32_t takenPosts_ = 0;
    bool quitPending_ = false;
    int quitCode_ = 0;

    // Other processes: the owning thread's alone. The endpoint stays until
    // the queue goes, since wakers may still reach its ring's wake word.
    std::unique_ptr<Endpoint> endpoint_;
    std::unordered_map<std::uint64_t, RemoteCall*> calls_;
    std::uint64_t nextCallId_ = 1;
    FrameBuffer frameBuffer_;
};

}  // namespace qxposix
