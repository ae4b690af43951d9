// Copy-data envelopes as another process may send them: any code and
// parameter, any size with or without data, stray and malformed replies, and
// whole exchanges whose answer is any envelope at all. Receiving must never
// read past the envelope's data, a handler must always get a terminated
// block, and a send must never write past the caller's payload or touch it
// when no reply was asked for.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzzInput.h"
#include "fuzzWindow.h"
#include "qxplatform.h"
#include "zorvwm32.h"

namespace {

constexpr std::size_t maxSteps = 32;
constexpr DWORD sizes[] = {0, 1, 4, 15, 16, 17, 100, 511, 512, 513, 600};

// What the windows do, set by the input before each step.
struct Script {
    std::size_t replyLength = 0;               // bytes the receiving handler writes into its block
    std::vector<COPYDATASTRUCT> answers;       // the responder's reply envelopes, sent in order
};
Script script;

void checkBlock(const char* block) {
    if (std::memchr(block, 0, zorvwm32::textBlockSize + 1) == nullptr) std::abort();  // unterminated
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        copyDataReceive(window, reinterpret_cast<HWND>(static_cast<UINT_PTR>(wParam & 0xFFFF)),
                        reinterpret_cast<const COPYDATASTRUCT*>(lParam));
        return 1;
    }
    if (message < 2000 || lParam == 0) return DefWindowProcA(window, message, wParam, lParam);
    if (transportDeliversNumber(window, message, lParam)) return lParam & 0xFF;
    auto* block = reinterpret_cast<char*>(lParam);
    checkBlock(block);
    std::memset(block, 'r', script.replyLength);
    block[script.replyLength] = '\0';
    return static_cast<LRESULT>(script.replyLength);
}

// Answers every request with the scripted envelopes instead of handling it.
LRESULT CALLBACK responderProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    static bool answering = false;  // a scripted answer may itself be a request, answered back here
    if (message != WM_COPYDATA || answering) return DefWindowProcA(window, message, wParam, lParam);
    answering = true;
    const HWND requester = reinterpret_cast<HWND>(wParam);
    for (const COPYDATASTRUCT& answer : script.answers) {
        SendMessageA(requester, WM_COPYDATA, reinterpret_cast<WPARAM>(window), reinterpret_cast<LPARAM>(&answer));
    }
    answering = false;
    return 1;
}

struct Windows {
    HWND requester = qxfuzz::createWindow("CopyDataFuzzWindow", procedure);
    HWND receiver = qxfuzz::createWindow("CopyDataFuzzWindow", procedure);
    HWND responder = qxfuzz::createWindow("CopyDataFuzzResponder", responderProcedure);
    ~Windows() {
        DestroyWindow(requester);
        DestroyWindow(receiver);
        DestroyWindow(responder);
    }
};

// An envelope whose data is exactly cbData bytes long, or null.
COPYDATASTRUCT envelope(qxfuzz::FuzzInput& input, std::vector<std::vector<unsigned char>>& storage) {
    COPYDATASTRUCT result{};
    result.dwData = input.u32();
    result.cbData = input.pick(sizes);
    if (input.byte() % 8 == 0) return result;  // no data at all
    storage.push_back(input.bytes(result.cbData));
    storage.back().resize(result.cbData);
    result.lpData = storage.back().data();
    return result;
}

void exchange(qxfuzz::FuzzInput& input, HWND from, HWND to) {
    const UINT code = input.u16();
    const LONG parameter = static_cast<LONG>(input.u32());
    const DWORD length = input.pick(sizes);
    const DWORD replyCapacity = input.pick(sizes);
    const int kind = input.byte() % 2 == 0 ? zorvwm32::textKind : zorvwm32::numberKind;
    const auto form = input.byte() % 2 == 0 ? zorvwm32::ReplyForm::text : zorvwm32::ReplyForm::record;
    // The caller's buffer: what it sends, and room for what it asks back.
    std::size_t room = kind == zorvwm32::numberKind ? sizeof(DWORD) : length;
    if (kind == zorvwm32::textKind && replyCapacity != 0) {
        room = std::max<std::size_t>(room, std::min<DWORD>(replyCapacity, zorvwm32::textBlockSize));
    }
    std::vector<unsigned char> payload = input.bytes(room);
    payload.resize(room);
    const std::vector<unsigned char> sent = payload;
    copyDataSend(from, to, code, parameter, payload.empty() ? nullptr : payload.data(), length, replyCapacity, kind,
                 form);
    if (replyCapacity == 0 && payload != sent) std::abort();
}

void step(qxfuzz::FuzzInput& input, const Windows& windows) {
    std::vector<std::vector<unsigned char>> storage;
    script.replyLength = input.byte() * 2u + input.byte() % 2;  // 0..511
    script.answers.clear();
    switch (input.byte() % 3) {
    case 0: {  // an envelope out of the blue
        const COPYDATASTRUCT inbound = envelope(input, storage);
        copyDataReceive(windows.receiver, windows.requester, &inbound);
        break;
    }
    case 1: {  // an exchange answered by scripted envelopes
        const int answers = input.byte() % 3;
        for (int i = 0; i < answers; ++i) script.answers.push_back(envelope(input, storage));
        exchange(input, windows.requester, windows.responder);
        break;
    }
    default: exchange(input, windows.requester, windows.receiver); break;  // handled and answered properly
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    {
        const Windows windows;
        qxfuzz::runSteps(data, size, maxSteps, [&](qxfuzz::FuzzInput& input) { step(input, windows); });
    }
    qxplatform::pumpPending();
    return 0;
}
