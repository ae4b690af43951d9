#include "thread_context.h"

#include <mutex>
#include <unordered_map>

#include "window_table.h"

namespace qxposix {

namespace {

// Thread id to queue, for PostThreadMessageA. Never destroyed, so that
// threads ending during process exit can still leave it.
class ThreadDirectory {
public:
    static ThreadDirectory& instance() {
        static ThreadDirectory* const directory = new ThreadDirectory;
        return *directory;
    }
    void add(const std::shared_ptr<ThreadQueue>& queue) {
        std::lock_guard<std::mutex> lock(mutex_);
        queues_[queue->threadId()] = queue;  // a reused kernel thread id replaces the old thread
    }
    void remove(const ThreadQueue& queue) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = queues_.find(queue.threadId());
        if (found != queues_.end() && found->second.get() == &queue) queues_.erase(found);
    }
    std::shared_ptr<ThreadQueue> find(DWORD threadId) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto found = queues_.find(threadId);
        return found == queues_.end() ? nullptr : found->second;
    }

private:
    std::mutex mutex_;
    std::unordered_map<DWORD, std::shared_ptr<ThreadQueue>> queues_;
};

// The context lives in a holder whose destructor runs when the thread ends.
// A messaging call made after that (from another thread_local's destructor)
// gets a fresh context that is never cleaned up.
struct ContextHolder {
    std::unique_ptr<ThreadContext> context;
    ~ContextHolder();
};

thread_local ContextHolder holder;
// Trivially destructible, so still usable after the holder is gone.
thread_local ThreadContext* currentContext = nullptr;
thread_local bool holderGone = false;

ContextHolder::~ContextHolder() {
    context.reset();
    currentContext = nullptr;
    holderGone = true;
}

}  // namespace

ThreadContext& ThreadContext::current() {
    if (currentContext == nullptr) {
        if (holderGone) {
            currentContext = new ThreadContext;
        } else {
            holder.context = std::make_unique<ThreadContext>();
            currentContext = holder.context.get();
        }
    }
    return *currentContext;
}

ThreadContext::ThreadContext() : queue_(std::make_shared<ThreadQueue>(GetCurrentThreadId())) {
    ThreadDirectory::instance().add(queue_);
}

ThreadContext::~ThreadContext() {
    WindowTable::instance().removeOwnedBy(*queue_);
    queue_->close();
    ThreadDirectory::instance().remove(*queue_);
}

std::shared_ptr<ThreadQueue> findThreadQueue(DWORD threadId) { return ThreadDirectory::instance().find(threadId); }

}  // namespace qxposix
