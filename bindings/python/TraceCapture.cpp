#include "TraceCapture.h"

#include <qxplatform.h>

namespace zorvpy {

namespace {

thread_local TraceCapture* current = nullptr;

// A line without its line feed.
std::string trimmed(std::string line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
}

}  // namespace

void deliverTrace(const char* text) {
    if (current != nullptr && text != nullptr) current->lines_.emplace_back(text);
}

TraceCapture::TraceCapture() : outer_(current) {
    static const int sink = qxplatform::addDebugSink(deliverTrace);  // for the life of the process
    (void)sink;
    current = this;
}

TraceCapture::~TraceCapture() { current = outer_; }

void TraceCapture::throwIfRefused(const std::vector<std::string>& heads) const {
    for (const auto& line : lines_) {
        for (const auto& head : heads) {
            if (line.compare(0, head.size(), head) == 0) throw Refused(trimmed(line));
        }
    }
}

}  // namespace zorvpy
