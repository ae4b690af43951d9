// What the messaging functions keep per thread: the thread's queue, created
// on the thread's first use of them, and the depth of messages from other
// threads it is handling. When the thread ends, its windows are destroyed
// with it (no messages: the thread is gone) and the messages waiting for it
// are answered with 0.
#pragma once

#include <windows.h>

#include <memory>

#include "thread_queue.h"

namespace qxposix {

class ThreadContext {
public:
    // The calling thread's context.
    static ThreadContext& current();

    ThreadContext();
    ~ThreadContext();
    ThreadContext(const ThreadContext&) = delete;
    ThreadContext& operator=(const ThreadContext&) = delete;

    ThreadQueue& queue() { return *queue_; }
    const std::shared_ptr<ThreadQueue>& sharedQueue() const { return queue_; }

    int inboundSends = 0;  // messages sent by other threads being handled now

private:
    const std::shared_ptr<ThreadQueue> queue_;
};

// The queue of a live thread that has used the messaging functions, or null.
std::shared_ptr<ThreadQueue> findThreadQueue(DWORD threadId);

}  // namespace qxposix
