// Event: the subscription list of one event of ZorvClient. Subscribing and
// unsubscribing replace the list with the owner's lock held; a raise reads
// the list once, without a lock, and calls the handlers of the list it read.
#pragma once

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "ZorvDelegate.h"

namespace ZorvClientLibrary {

class ZorvClient;

/// An event of signature `void(Args...)`, see Event<void(Args...)>.
template <typename Signature>
class Event;

/// The subscription list of one event of ZorvClient: `+=` subscribes a
/// handler, `-=` unsubscribes one, from any thread. The client raises the
/// event on the thread that made it; a change made during a raise counts from
/// the next raise.
template <typename... Args>
class Event<void(Args...)> {
public:
    /// What may be subscribed: a function, an object with a member function,
    /// or any callable (see Delegate).
    using Handler = Delegate<void(Args...)>;

    /// An event whose subscription changes take the owner's lock.
    explicit Event(std::mutex& ownerLock) : lock_(ownerLock) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    /// Appends the handler; one subscribed twice is called twice. An empty
    /// handler changes nothing.
    Event& operator+=(const Handler& handler) {
        if (!handler) return *this;
        std::lock_guard<std::mutex> guard(lock_);
        const auto old = list_.load();
        auto list = old ? std::make_shared<List>(*old) : std::make_shared<List>();
        list->push_back(handler);
        list_.store(std::move(list));
        return *this;
    }

    /// Removes the last occurrence of an equal handler, if there is one.
    Event& operator-=(const Handler& handler) {
        std::lock_guard<std::mutex> guard(lock_);
        const auto old = list_.load();
        if (!old) return *this;
        const auto last = std::find(old->rbegin(), old->rend(), handler);
        if (last == old->rend()) return *this;
        auto list = std::make_shared<List>(*old);
        list->erase(list->begin() + (std::distance(last, old->rend()) - 1));
        list_.store(std::move(list));
        return *this;
    }

private:
    friend class ZorvClient;
    using List = std::vector<Handler>;

    // Calls every handler in subscription order; an exception that leaves a
    // handler leaves the raise, and the later handlers are not called.
    void raise(const Args&... args) const {
        const auto list = list_.load();
        if (!list) return;
        for (const Handler& handler : *list) handler(args...);
    }

    std::mutex& lock_;
    std::atomic<std::shared_ptr<const List>> list_;
};

}  // namespace ZorvClientLibrary
