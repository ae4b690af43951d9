// TraceCapture: the trace lines that the native checks write on this thread
// while one operation runs, so that a refused argument becomes an exception
// that carries its line.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace zorvpy {

/// An argument refused by a native check; what() is the check's trace line.
class Refused : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Collects the debug output of the calling thread while it lives (one sink
/// for the process, registered at first use, hands each line to the capture
/// of the thread that wrote it).
class TraceCapture {
public:
    TraceCapture();
    ~TraceCapture();
    TraceCapture(const TraceCapture&) = delete;
    TraceCapture& operator=(const TraceCapture&) = delete;

    /// Throws Refused with the first line that starts with one of `heads`
    /// (a check's trace line starts with its object's name and ": ").
    void throwIfRefused(const std::vector<std::string>& heads) const;

private:
    friend void deliverTrace(const char* text);
    std::vector<std::string> lines_;
    TraceCapture* outer_;
};

}  // namespace zorvpy
