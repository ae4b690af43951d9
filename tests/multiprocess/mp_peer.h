// What the multi-process tests and their child program share: the messages a
// peer window answers, the peer window itself, and small helpers. Written on
// <windows.h> only, so that it builds on both backends.
#pragma once

#include <windows.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "qxplatform.h"

namespace mp {

constexpr const char* kPeerClass = "qxMultiProcessPeer";
constexpr DWORD kPatience = 20000;  // bound of every wait, in milliseconds

enum : UINT {
    kPing = WM_USER + 1,     // answered with wParam + 1
    kForward = WM_USER + 2,  // wParam: a list of 16-bit handles; each sends on to the next, adding 1
    kCount = WM_USER + 3,    // posted with numbers 0, 1, 2, ...; counted, and whether in order;
                             // lParam: microseconds that handling it takes
    kQuery = WM_USER + 4,    // wParam selects a counter (Counter)
    kHang = WM_USER + 5,     // never answered: the handler waits until its process dies
    kDone = WM_USER + 6,     // posted by a peer that finished its part
    kHold = WM_USER + 7,     // answered once the window wParam names is gone (reading no messages meanwhile)
    kPrivateBroadcast = WM_USER + 50,
    kBroadcast = 0xC0DE,  // in the range that broadcasts deliver
};

enum Counter : WPARAM { posted, outOfOrder, broadcasts, privateBroadcasts, peersDone, copies, pings };

// The state of one peer window.
struct PeerState {
    std::uint64_t counters[7] = {};
    std::uint64_t nextPosted = 0;
};

// WM_COPYDATA is answered by sending the block back reversed, with dwData + 1,
// to the window given in wParam (before returning), and returns the block's
// size; a peer that receives such an answer keeps it here.
inline std::vector<unsigned char>& lastCopy() {
    static std::vector<unsigned char> block;
    return block;
}

inline bool pumpUntilTrue(const std::function<bool()>& done, DWORD patience);

// Keeps the thread busy for that many microseconds.
inline void busyFor(LPARAM microseconds) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(microseconds);
    while (std::chrono::steady_clock::now() < until) {
    }
}

inline LRESULT CALLBACK peerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = reinterpret_cast<PeerState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
    case WM_NCCREATE:  // DefWindowProcA gives the window its title
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams));
        return DefWindowProcA(window, message, wParam, lParam);
    case kPing:
        if (state != nullptr) ++state->counters[pings];
        return static_cast<LRESULT>(wParam + 1);
    case kForward: {
        const auto next = static_cast<UINT_PTR>(wParam & 0xFFFF);
        if (next == 0) return lParam + 1;
        return SendMessageA(reinterpret_cast<HWND>(next), kForward, wParam >> 16, lParam + 1);
    }
    case kCount:
        if (wParam != state->nextPosted) ++state->counters[outOfOrder];
        state->nextPosted = wParam + 1;
        ++state->counters[posted];
        busyFor(lParam);
        return 0;
    case kQuery: return static_cast<LRESULT>(state->counters[wParam]);
    case kHang:
        for (;;) Sleep(1000);
    case kHold: {
        const DWORD start = GetTickCount();
        while (IsWindow(reinterpret_cast<HWND>(wParam)) && GetTickCount() - start < kPatience) Sleep(1);
        return 1;
    }
    case kDone: ++state->counters[peersDone]; return 0;
    case kBroadcast: ++state->counters[broadcasts]; return 0;
    case kPrivateBroadcast: ++state->counters[privateBroadcasts]; return 0;
    case WM_COPYDATA: {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const auto* bytes = static_cast<const unsigned char*>(data->lpData);
        std::vector<unsigned char> block(bytes, bytes + data->cbData);
        ++state->counters[copies];
        if (data->dwData % 2 == 1) {  // an answer
            lastCopy() = block;
            return static_cast<LRESULT>(data->cbData);
        }
        std::vector<unsigned char> reversed(block.rbegin(), block.rend());
        COPYDATASTRUCT answer{data->dwData + 1, static_cast<DWORD>(reversed.size()), reversed.data()};
        SendMessageA(reinterpret_cast<HWND>(wParam), WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                     reinterpret_cast<LPARAM>(&answer));
        return static_cast<LRESULT>(data->cbData);
    }
    case WM_CLOSE: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

inline bool registerPeerClass() {
    WNDCLASSA description{};
    description.lpfnWndProc = peerProc;
    description.hInstance = GetModuleHandleA(nullptr);
    description.lpszClassName = kPeerClass;
    return RegisterClassA(&description) != 0;
}

// A peer window: top-level (parent null) or message-only (HWND_MESSAGE).
inline HWND createPeer(PeerState& state, const std::string& title, HWND parent) {
    return CreateWindowExA(0, kPeerClass, title.c_str(), 0, 0, 0, 0, 0, parent, nullptr, GetModuleHandleA(nullptr),
                           &state);
}

// Handles this thread's messages until done() holds or the time is up
// (looking again every few milliseconds: done() may wait for something that
// is not a message).
inline bool pumpUntilTrue(const std::function<bool()>& done, DWORD patience) {
    const DWORD start = GetTickCount();
    for (;;) {
        qxplatform::pumpPending();
        if (done()) return true;
        if (GetTickCount() - start >= patience) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 2, QS_ALLINPUT);
    }
}

// The peer's top-level window with that title, waited for (pumping) up to
// the patience.
inline HWND awaitPeer(const std::string& title, DWORD patience = kPatience) {
    HWND found = nullptr;
    pumpUntilTrue(
        [&] {
            found = FindWindowA(kPeerClass, title.c_str());
            return found != nullptr;
        },
        patience);
    return found;
}

// The low 16 bits of a handle, as protocols pass windows.
inline UINT_PTR low16(HWND window) { return reinterpret_cast<UINT_PTR>(window) & 0xFFFF; }

}  // namespace mp
