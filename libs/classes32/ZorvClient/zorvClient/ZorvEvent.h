// Event: the subscription list of one event of ZorvClient. Subscribing and
// unsubscribing replace the list with the owner's lock held; a raise copies
// the pointer to the list once and calls the handlers of the list it read.
// The pointer has a lock of its own, held only to copy or replace it, so a
// raise never waits for the owner and a handler may subscribe or raise.
#pragma once

#include <algorithm>
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
        const auto old = current();
        auto list = old ? std::make_shared<List>(*old) : std::make_shared<List>();
        list->push_back(handler);
        replace(std::move(list));
        return *this;
    }

    /// Removes the last occurrence of an equal handler, if there is one.
    Event& operator-=(const Handler& handler) {
        std::lock_guard<std::mutex> guard(lock_);
        const auto old = current();
        if (!old) return *this;
        const auto last = std::find(old->rbegin(), old->rend(), handler);
        if (last == old->rend()) return *this;
        auto list = std::make_shared<List>(*old);
        list->erase(list->begin() + (std::distance(last, old->rend()) - 1));
        replace(std::move(list));
        return *this;
    }

private:
    friend class ZorvClient;
    using List = std::vector<Handler>;

    // Calls every handler in subscription order; an exception that leaves a
    // handler leaves the raise, and the later handlers are not called.
    void raise(const Args&... args) const {
        const auto list = current();
        if (!list) return;
        for (const Handler& handler : *list) handler(args...);
    }

    std::shared_ptr<const List> current() const {
        std::lock_guard<std::mutex> guard(listLock_);
        return list_;
    }

    // The old list is released after the lock, in case it was the last copy.
    void replace(std::shared_ptr<const List> list) {
        std::lock_guard<std::mutex> guard(listLock_);
        list_.swap(list);
    }

    std::mutex& lock_;
    mutable std::mutex listLock_;
    std::shared_ptr<const List> list_;
};

}  // namespace ZorvClientLibrary
