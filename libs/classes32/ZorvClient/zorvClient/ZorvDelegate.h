// Delegate: a handler of a ZorvClient event that compares equal the way
// delegates do, so that a handler can be unsubscribed with an equal one.
#pragma once

#include <functional>
#include <memory>
#include <type_traits>
#include <typeinfo>
#include <utility>

namespace ZorvClientLibrary {

/// A handler of an event of signature `void(Args...)`, see Delegate<void(Args...)>.
template <typename Signature>
class Delegate;

/// A handler that compares equal the way delegates do, so that a handler can
/// be unsubscribed with an equal one:
///
///     Delegate<void(int)> a = &function;             // equal to any Delegate of the same function
///     Delegate<void(int)> b(&object, &Type::method); // equal when object and method both match
///     Delegate<void(int)> c = [&](int) { ... };      // equal to its copies only
///
/// Copies share their target. An empty Delegate has no target.
template <typename... Args>
class Delegate<void(Args...)> {
public:
    /// Empty: subscribing or unsubscribing it changes nothing.
    Delegate() noexcept = default;

    /// The function; a null pointer gives an empty Delegate.
    Delegate(void (*function)(Args...)) {
        if (function != nullptr) target_ = std::make_shared<const Function>(function);
    }

    /// The member function called on the object. A const object compares
    /// equal to the same object seen without const.
    // The constraint has already made sure that the method may be called.
    template <typename Object, typename Method>
        requires std::is_member_function_pointer_v<Method> && std::is_invocable_v<Method, Object*, Args...>
    Delegate(Object* object, Method method)
        : target_(std::make_shared<const Member<std::remove_const_t<Object>, Method>>(
              const_cast<std::remove_const_t<Object>*>(object), method)) {}

    /// Any other callable, kept as a copy.
    template <typename Callable>
        requires(!std::is_same_v<std::remove_cvref_t<Callable>, Delegate> &&
                 !std::is_pointer_v<std::decay_t<Callable>> && std::is_invocable_v<std::decay_t<Callable>&, Args...>)
    Delegate(Callable&& callable)
        : target_(std::make_shared<const Any<std::decay_t<Callable>>>(std::forward<Callable>(callable))) {}

    /// Calls the target; an empty Delegate throws `std::bad_function_call`.
    void operator()(Args... args) const {
        if (!target_) throw std::bad_function_call();
        target_->call(std::forward<Args>(args)...);
    }
    /// Whether the Delegate has a target.
    explicit operator bool() const noexcept { return target_ != nullptr; }

    /// Equal: the same target (copies, or both empty), the same function, or
    /// the same object and member function.
    friend bool operator==(const Delegate& a, const Delegate& b) noexcept {
        if (a.target_ == b.target_) return true;
        return a.target_ && b.target_ && typeid(*a.target_) == typeid(*b.target_) && a.target_->equals(*b.target_);
    }

private:
    struct Target {
        virtual ~Target() = default;
        virtual void call(Args... args) const = 0;
        // Only called with a target of the same type.
        virtual bool equals(const Target& other) const noexcept = 0;
    };
    struct Function final : Target {
        explicit Function(void (*f)(Args...)) : function(f) {}
        void call(Args... args) const override { function(std::forward<Args>(args)...); }
        bool equals(const Target& other) const noexcept override {
            return function == static_cast<const Function&>(other).function;
        }
        void (*function)(Args...);
    };
    template <typename Object, typename Method>
    struct Member final : Target {
        Member(Object* o, Method m) : object(o), method(m) {}
        void call(Args... args) const override { std::invoke(method, object, std::forward<Args>(args)...); }
        bool equals(const Target& other) const noexcept override {
            const auto& that = static_cast<const Member&>(other);
            return object == that.object && method == that.method;
        }
        Object* object;
        Method method;
    };
    template <typename Callable>
    struct Any final : Target {
        template <typename C>
        explicit Any(C&& c) : callable(std::forward<C>(c)) {}
        void call(Args... args) const override { callable(std::forward<Args>(args)...); }
        bool equals(const Target&) const noexcept override { return false; }  // copies share their target
        mutable Callable callable;
    };

    std::shared_ptr<const Target> target_;
};

}  // namespace ZorvClientLibrary
