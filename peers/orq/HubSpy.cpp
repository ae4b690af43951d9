#include "HubSpy.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

#include "Outbox.h"
#include "zorvText.h"

namespace orq {

namespace {

constexpr DWORD spyTimeoutMs = 1000;

// The block as text when it holds one (printable up to its first zero byte).
bool asText(const unsigned char* block, std::size_t size, std::string& text) {
    const auto* end = std::find(block, block + size, 0);
    if (end == block) return false;
    text.assign(block, end);
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return c >= 0x20 && c != 0x7F; });
}

// The device of a text whose first word is a two-letter keyword ("RC 1 ...").
long textDevice(const std::string& text) {
    if (text.size() < 4 || !std::isupper(static_cast<unsigned char>(text[0])) || text[2] != ' ') return 0;
    return std::strtol(text.c_str() + 3, nullptr, 10);
}

// The short registration and name records carry 16-bit fields, the others 32-bit ones.
bool shortFields(UINT code) { return code == 2274 || code == 2276 || code == 2164; }

// A binary record: its first eight fields (registration records and their
// like start with the device; bit 15 of a short device is a flag).
std::string record(UINT code, const unsigned char* block, std::size_t size, long& device) {
    const std::size_t width = shortFields(code) ? 2 : 4;
    std::string fields = "record";
    for (std::size_t at = 0; at + width <= size && at < 8 * width; at += width) {
        std::uint32_t field = 0;
        std::memcpy(&field, block + at, width);
        if (at == 0) device = static_cast<long>(field & 0x7FFF);
        fields += formatText(" %u", field);
    }
    return fields;
}

// The plain messages whose wParam is the client's window (discovery, joining,
// leaving, registration and subscription).
bool carriesClient(UINT message) {
    for (const UINT known : {2031u, 49153u, 2034u, 2054u, 49222u, 49223u, 2275u, 49227u, 49228u})
        if (message == known) return true;
    return false;
}

}  // namespace

bool HubSpy::handle(UINT message, WPARAM wParam) {
    const HWND spy = reinterpret_cast<HWND>(wParam);
    if (message == spySubscribe) {
        if (std::find(spies_.begin(), spies_.end(), spy) == spies_.end()) spies_.push_back(spy);
        return true;
    }
    if (message == spyUnsubscribe) {
        spies_.erase(std::remove(spies_.begin(), spies_.end(), spy), spies_.end());
        return true;
    }
    return false;
}

void HubSpy::add(const char* direction, HWND client, UINT code, long device, const std::string& text) {
    lines_.push_back(formatText("%s\t0x%llx\t%u\t%ld\t", direction,
                                static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(client)), code, device) +
                     text);
}

void HubSpy::request(UINT code, DWORD parameter, const void* block, std::size_t size, HWND requester) {
    if (spies_.empty()) return;
    const auto* bytes = static_cast<const unsigned char*>(block);
    std::string text;
    long device = 0;
    if (bytes != nullptr && asText(bytes, size, text)) {
        device = textDevice(text);
    } else if (bytes != nullptr && size > 4) {
        text = record(code, bytes, size, device);
    } else {
        text = formatText("parameter %lu", static_cast<unsigned long>(parameter));
    }
    add("in", requester, code, device, text);
}

void HubSpy::message(UINT message, WPARAM wParam, LPARAM lParam) {
    if (spies_.empty() || message == spySubscribe || message == spyUnsubscribe) return;
    add("msg", carriesClient(message) ? reinterpret_cast<HWND>(wParam) : nullptr, message, 0,
        formatText("wParam 0x%llx lParam 0x%llx", static_cast<unsigned long long>(wParam),
                   static_cast<unsigned long long>(lParam)));
}

void HubSpy::delivery(const Delivery& delivery) {
    if (spies_.empty()) return;
    if (delivery.form == Delivery::Form::text) {
        add("out", delivery.to.window, delivery.code, textDevice(delivery.bytes), delivery.bytes);
    } else if (delivery.form == Delivery::Form::record) {
        long device = 0;
        const std::string text = record(delivery.code, reinterpret_cast<const unsigned char*>(delivery.bytes.data()),
                                        delivery.bytes.size(), device);
        add("out", delivery.to.window, delivery.code, device, text);
    } else {
        add("out", delivery.to.window, delivery.code, 0,
            formatText("wParam 0x%llx lParam 0x%llx", static_cast<unsigned long long>(delivery.wParam),
                       static_cast<unsigned long long>(delivery.lParam)));
    }
}

void HubSpy::flush(HWND hub) {
    while (!lines_.empty()) {
        const std::string line = std::move(lines_.front());
        lines_.pop_front();
        const std::vector<HWND> spies = spies_;  // a send lets the hub handle messages meanwhile
        for (const HWND spy : spies) {
            COPYDATASTRUCT envelope{spyLine, static_cast<DWORD>(line.size() + 1), const_cast<char*>(line.c_str())};
            DWORD_PTR answer = 0;
            if (SendMessageTimeoutA(spy, WM_COPYDATA, reinterpret_cast<WPARAM>(hub), reinterpret_cast<LPARAM>(&envelope),
                                    SMTO_NORMAL, spyTimeoutMs, &answer) == 0 ||
                answer == 0) {
                spies_.erase(std::remove(spies_.begin(), spies_.end(), spy), spies_.end());
            }
        }
    }
}

}  // namespace orq
