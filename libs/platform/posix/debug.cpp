// Debug output: each string goes, whole, to every registered sink, and to
// standard error when QX_DEBUG_STDERR is set and not "0", there as a line of
// its own.
#include "qxplatform.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <utility>

namespace {

class DebugSinks {
public:
    int add(qxplatform::DebugSink sink) {
        std::lock_guard<std::mutex> lock(mutex_);
        sinks_.emplace_back(++lastId_, std::move(sink));
        return lastId_;
    }

    void remove(int id) {
        std::lock_guard<std::mutex> lock(mutex_);
        std::erase_if(sinks_, [id](const auto& entry) { return entry.first == id; });
    }

    // Sinks run under the lock, so that once remove() returns a sink is
    // never called again and its owner may go away.
    void deliver(const char* text) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const auto& entry : sinks_) entry.second(text);
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<int, qxplatform::DebugSink>> sinks_;
    int lastId_ = 0;
};

DebugSinks& debugSinks() {
    static auto* sinks = new DebugSinks;  // outlives every thread
    return *sinks;
}

bool copiesToStandardError() {
    const char* flag = std::getenv("QX_DEBUG_STDERR");
    return flag && *flag && std::strcmp(flag, "0") != 0;
}

}  // namespace

namespace qxplatform {

int addDebugSink(DebugSink sink) {
    return debugSinks().add(std::move(sink));
}

void removeDebugSink(int id) {
    debugSinks().remove(id);
}

}  // namespace qxplatform

extern "C" void OutputDebugStringA(LPCSTR lpOutputString) {
    if (!lpOutputString) return;
    debugSinks().deliver(lpOutputString);
    if (copiesToStandardError()) {
        // One write per string, ended by a line feed unless it has one, so
        // that strings (also from other threads) never run together. An
        // empty string writes nothing.
        std::string line(lpOutputString);
        if (line.empty()) return;
        if (line.back() != '\n') line += '\n';
        [[maybe_unused]] const ssize_t ignored = ::write(STDERR_FILENO, line.data(), line.size());
    }
}
