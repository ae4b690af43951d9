// The errors the client raises itself. Each derives from a standard
// exception, so that callers may catch either.
#pragma once

#include <stdexcept>
#include <string>

namespace ZorvClientLibrary {

/// An argument the client cannot use, for instance text that does not convert.
class ArgumentError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

/// A null text where a text is required (raised before anything is sent).
class ArgumentNullError : public ArgumentError {
public:
    using ArgumentError::ArgumentError;
};

/// A size the platform's conversions cannot take (a text over `INT_MAX`).
class ArgumentOutOfRangeError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

/// An operation on a client that has been disposed.
class ObjectDisposedError : public std::logic_error {
public:
    /// The error with the message "Cannot access a disposed object: ZorvClient".
    ObjectDisposedError() : std::logic_error("Cannot access a disposed object: ZorvClient") {}
};

}  // namespace ZorvClientLibrary
