// Debug-output capture on the real API. OutputDebugStringA raises
// DBG_PRINTEXCEPTION_C (OutputDebugStringW raises DBG_PRINTEXCEPTION_WIDE_C)
// so that an attached debugger can pick the string up. A vectored exception
// handler sees that exception first: while sinks are registered it hands the
// string to them and continues execution, which tells the raiser the string
// was consumed, so it is neither raised again nor sent elsewhere.
#include "qxplatform.h"

#include <map>
#include <string>

#ifndef DBG_PRINTEXCEPTION_WIDE_C
#define DBG_PRINTEXCEPTION_WIDE_C 0x4001000A
#endif

namespace qxplatform {
namespace {

struct SinkRegistry {
    std::mutex mutex;  // held while sinks run, so a removed sink is never running
    std::map<int, DebugSink> sinks;
    int nextId = 1;
    PVOID handler = nullptr;
};

SinkRegistry& registry() {
    static auto* instance = new SinkRegistry;  // outlives every thread at exit
    return *instance;
}

// Returns the 8-bit text carried by a debug-print exception.
std::string printedText(const EXCEPTION_RECORD& record) {
    const ULONG_PTR* info = record.ExceptionInformation;
    if (record.ExceptionCode == DBG_PRINTEXCEPTION_C) {
        if (record.NumberParameters < 2 || !info[1]) return {};
        return reinterpret_cast<const char*>(info[1]);
    }
    // The wide form may carry the 8-bit text as its third and fourth field.
    if (record.NumberParameters >= 4 && info[3]) return reinterpret_cast<const char*>(info[3]);
    if (record.NumberParameters < 2 || !info[1]) return {};
    const auto* wide = reinterpret_cast<const wchar_t*>(info[1]);
    const int size = WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    std::string text(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text.data(), size, nullptr, nullptr);
    text.resize(static_cast<size_t>(size) - 1);
    return text;
}

LONG CALLBACK onException(EXCEPTION_POINTERS* pointers) {
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    if (record.ExceptionCode != DBG_PRINTEXCEPTION_C && record.ExceptionCode != DBG_PRINTEXCEPTION_WIDE_C)
        return EXCEPTION_CONTINUE_SEARCH;
    SinkRegistry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    if (reg.sinks.empty()) return EXCEPTION_CONTINUE_SEARCH;
    const std::string text = printedText(record);
    for (const auto& [id, sink] : reg.sinks) sink(text.c_str());
    return EXCEPTION_CONTINUE_EXECUTION;
}

}  // namespace

int addDebugSink(DebugSink sink) {
    SinkRegistry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    if (!reg.handler) reg.handler = AddVectoredExceptionHandler(1, onException);
    const int id = reg.nextId++;
    reg.sinks.emplace(id, std::move(sink));
    return id;
}

void removeDebugSink(int id) {
    SinkRegistry& reg = registry();
    std::lock_guard<std::mutex> lock(reg.mutex);
    reg.sinks.erase(id);
}

}  // namespace qxplatform
