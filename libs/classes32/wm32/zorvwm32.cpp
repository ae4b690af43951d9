#include "zorvwm32.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

extern const char zorvwm32Signature[] =
    "ZORV_SIG,name=zorvwm32,type=LIB,version=4.1.1.0,date=2026-12-07,author=zorv,build=release";

namespace {

using zorvwm32::numberBlockSize;
using zorvwm32::textBlockSize;

// One request waiting for its reply on this thread.
struct PendingExchange {
    HWND from;
    HWND to;
    bool replied = false;
    LONG code = 0;
    DWORD length = 0;
    unsigned char text[textBlockSize] = {};
};

// Exchanges in progress on this thread, innermost last.
thread_local std::vector<PendingExchange*> pendingExchanges;

// The numeric delivery in progress on this thread, if any.
struct NumericDelivery {
    HWND window = nullptr;
    UINT message = 0;
    LPARAM value = 0;
};
thread_local NumericDelivery numericDelivery;

WORD low16(HWND window) { return static_cast<WORD>(reinterpret_cast<UINT_PTR>(window) & 0xFFFF); }

// The innermost exchange that `receiver` started towards `requester`; the
// protocol names windows by their low 16 bits.
PendingExchange* exchangeFor(HWND receiver, HWND requester) {
    for (auto it = pendingExchanges.rbegin(); it != pendingExchanges.rend(); ++it) {
        if (low16((*it)->from) == low16(receiver) && low16((*it)->to) == low16(requester)) return *it;
    }
    return nullptr;
}

class ExchangeScope {
public:
    explicit ExchangeScope(PendingExchange& exchange) { pendingExchanges.push_back(&exchange); }
    ~ExchangeScope() { pendingExchanges.pop_back(); }
    ExchangeScope(const ExchangeScope&) = delete;
    ExchangeScope& operator=(const ExchangeScope&) = delete;
};

void formatNumber(char (&text)[numberBlockSize], unsigned long value) {
    std::snprintf(text, sizeof text, "%08lx", value & 0xFFFFFFFFul);
}

DWORD parseNumber(const void* data, DWORD size) {
    char text[numberBlockSize + 1] = {};
    std::memcpy(text, data, size < numberBlockSize ? size : numberBlockSize);
    return static_cast<DWORD>(std::strtoul(text, nullptr, 16));
}

void copyReplyBack(const PendingExchange& exchange, const unsigned char* sent, void* payload, DWORD replyCapacity,
                   zorvwm32::ReplyForm form) {
    const DWORD length = replyCapacity < textBlockSize ? replyCapacity : textBlockSize;
    if (zorvwm32::isUnansweredBlock(exchange.code, sent, exchange.text, length)) return;
    std::memcpy(payload, exchange.text, length);
    if (form == zorvwm32::ReplyForm::text) zorvwm32::clearBehindText(payload, length);
}

// Sends a WM_COPYDATA; false when the receiver did not answer within
// timeoutMs (INFINITE: no limit), result then being 0.
bool sendWithin(HWND to, HWND from, const COPYDATASTRUCT* envelope, DWORD timeoutMs, LRESULT& result) {
    const auto sender = reinterpret_cast<WPARAM>(from);
    const auto data = reinterpret_cast<LPARAM>(envelope);
    if (timeoutMs == INFINITE) {
        result = SendMessageA(to, WM_COPYDATA, sender, data);
        return true;
    }
    DWORD_PTR answer = 0;
    const bool answered = SendMessageTimeoutA(to, WM_COPYDATA, sender, data, SMTO_NORMAL, timeoutMs, &answer) != 0;
    result = answered ? static_cast<LRESULT>(answer) : 0;
    return answered;
}

// False when the requester did not take the reply within timeoutMs.
bool answer(HWND receiver, HWND requester, LRESULT result, void* data, DWORD size, DWORD timeoutMs) {
    COPYDATASTRUCT reply{};
    reply.dwData = (static_cast<ULONG_PTR>(zorvwm32::replyCode) << 16) | (static_cast<ULONG_PTR>(result) & 0xFFFF);
    reply.cbData = size;
    reply.lpData = data;
    LRESULT ignored = 0;
    return sendWithin(requester, receiver, &reply, timeoutMs, ignored);
}

void storeReply(HWND receiver, HWND requester, const COPYDATASTRUCT* envelope) {
    PendingExchange* exchange = exchangeFor(receiver, requester);
    if (exchange == nullptr) return;  // nobody waits for it: a late or stray reply
    exchange->replied = true;
    exchange->code = static_cast<LONG>(envelope->dwData & 0xFFFF);
    std::memset(exchange->text, 0, sizeof exchange->text);
    const DWORD size = envelope->cbData < textBlockSize ? envelope->cbData : textBlockSize;
    if (envelope->lpData != nullptr) std::memcpy(exchange->text, envelope->lpData, size);
    exchange->length = size;
}

// The system's own messages and the transports' messages are no requests:
// delivered with a block or a number as lParam, the receiver would read that
// as an envelope, a frame or whatever the system passes with them. Such an
// envelope is answered with result 0 and its block unchanged, as a request
// that nobody handles.
bool isRequestCode(UINT code) { return code >= WM_USER && code != zorvwm32::zelMessage; }

LRESULT deliver(HWND receiver, UINT code, WPARAM parameter, LPARAM value) {
    return isRequestCode(code) ? SendMessageA(receiver, code, parameter, value) : 0;
}

bool handleRequest(HWND receiver, HWND requester, const COPYDATASTRUCT* envelope, UINT code, WPARAM parameter,
                   DWORD replyTimeoutMs) {
    if (envelope->cbData == numberBlockSize) {
        const DWORD value = envelope->lpData ? parseNumber(envelope->lpData, envelope->cbData) : 0;
        const NumericDelivery outer = numericDelivery;
        numericDelivery = {receiver, code, static_cast<LPARAM>(value)};
        const LRESULT result = deliver(receiver, code, parameter, static_cast<LPARAM>(value));
        numericDelivery = outer;
        char text[numberBlockSize];
        formatNumber(text, value);
        return answer(receiver, requester, result, text, numberBlockSize, replyTimeoutMs);
    }
    // The handler reads the block as a text and may rewrite it: give it a
    // zero-filled copy with a terminator behind the 512 bytes.
    unsigned char block[textBlockSize + 1] = {};
    const DWORD size = envelope->cbData < textBlockSize ? envelope->cbData : textBlockSize;
    if (envelope->lpData != nullptr) std::memcpy(block, envelope->lpData, size);
    const LRESULT result = deliver(receiver, code, parameter, reinterpret_cast<LPARAM>(block));
    return answer(receiver, requester, result, block, textBlockSize, replyTimeoutMs);
}

}  // namespace

void zorvwm32::clearBehindText(void* buffer, DWORD length) {
    auto* bytes = static_cast<unsigned char*>(buffer);
    auto* end = static_cast<unsigned char*>(std::memchr(bytes, 0, length));
    if (end != nullptr) std::memset(end, 0, length - static_cast<DWORD>(end - bytes));
}

bool zorvwm32::isUnansweredBlock(LONG code, const void* sent, const void* returned, DWORD length) {
    return code == 0 && std::memcmp(sent, returned, length) == 0;
}

LONG copyDataSend(HWND from, HWND to, UINT code, LONG parameter, void* payload, DWORD payloadLength,
                  DWORD replyCapacity, int kind, zorvwm32::ReplyForm form, DWORD timeoutMs) {
    COPYDATASTRUCT envelope{};
    envelope.dwData = (static_cast<ULONG_PTR>(code & 0xFFFF) << 16) | (static_cast<ULONG_PTR>(parameter) & 0xFFFF);
    unsigned char block[textBlockSize] = {};
    char number[numberBlockSize] = {};
    if (kind == zorvwm32::textKind) {
        if (payload != nullptr) std::memcpy(block, payload, payloadLength < textBlockSize ? payloadLength : textBlockSize);
        envelope.cbData = textBlockSize;
        envelope.lpData = block;
    } else {
        formatNumber(number, payload ? *static_cast<const DWORD*>(payload) : 0);
        envelope.cbData = numberBlockSize;
        envelope.lpData = number;
    }

    PendingExchange exchange{from, to};
    LRESULT sent = 0;
    {
        ExchangeScope scope(exchange);
        sendWithin(to, from, &envelope, timeoutMs, sent);
    }
    if (code == zorvwm32::replyCode) return static_cast<LONG>(sent);
    if (!exchange.replied) return 0;
    if (replyCapacity != 0 && payload != nullptr) {
        if (kind == zorvwm32::textKind) {
            copyReplyBack(exchange, block, payload, replyCapacity, form);
        } else if (replyCapacity >= sizeof(DWORD)) {
            *static_cast<DWORD*>(payload) = parseNumber(exchange.text, exchange.length);
        }
    }
    return exchange.code;
}

bool transportDeliversNumber(HWND window, UINT message, LPARAM lParam) {
    if (numericDelivery.window == window && numericDelivery.message == message && numericDelivery.value == lParam)
        return true;
    return zel::deliversNumber(window, message, lParam);
}

bool copyDataReceive(HWND receiver, HWND requester, const COPYDATASTRUCT* envelope, DWORD replyTimeoutMs) {
    if (envelope == nullptr) return true;
    const UINT code = static_cast<UINT>((envelope->dwData >> 16) & 0xFFFF);
    const WPARAM parameter = envelope->dwData & 0xFFFF;
    if (code == zorvwm32::replyCode) {
        storeReply(receiver, requester, envelope);  // text block or number: kept as the block
        return true;
    }
    return handleRequest(receiver, requester, envelope, code, parameter, replyTimeoutMs);
}
