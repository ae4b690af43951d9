// The child program of the multi-process tests. Modes:
//   serve TITLE               a top-level peer window TITLE and a message-only
//                             one TITLE-hidden, until WM_CLOSE
//   hammer TITLE PEER COUNT   a peer window TITLE that sends COUNT pings to the
//                             peer window PEER while answering its pings, then
//                             waits until PEER is done too
//   pound TARGET COUNT        sends COUNT pings to TARGET; stops at the first 0
//                             (TARGET is gone)
//   churn TARGET              until killed: creates and destroys windows and
//                             posts pings to TARGET, so that it holds the
//                             session's locks much of the time
//   giveup TITLE TARGET LATCH sends kHold (latch: the window LATCH) to TARGET
//                             with a 1 ms timeout, then makes the peer window
//                             TITLE and reads no more messages until killed
//   join                      only creates a window
// Exit code 0 when all went as expected.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "child_process.h"
#include "mp_peer.h"

namespace {

enum Exit { ok = 0, wrongAnswer = 1, noPeer = 2, refused = 3, peerNeverDone = 4, usage = 5 };

int pump() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
    return ok;
}

int serve(const std::string& title) {
    mp::PeerState top, hidden;
    if (!mp::createPeer(top, title, nullptr) || !mp::createPeer(hidden, title + "-hidden", HWND_MESSAGE)) return refused;
    return pump();
}

int hammer(const std::string& title, const std::string& peerTitle, unsigned count) {
    mp::PeerState state;
    if (!mp::createPeer(state, title, nullptr)) return refused;
    const HWND peer = mp::awaitPeer(peerTitle);
    if (peer == nullptr) return noPeer;
    int result = ok;
    for (unsigned i = 0; i < count; ++i)
        if (SendMessageA(peer, mp::kPing, i, 0) != static_cast<LRESULT>(i + 1)) result = wrongAnswer;
    PostMessageA(peer, mp::kDone, 0, 0);
    if (!mp::pumpUntilTrue([&] { return state.counters[mp::peersDone] > 0; }, mp::kPatience)) return peerNeverDone;
    return result;
}

int pound(const std::string& targetTitle, unsigned count) {
    const HWND target = mp::awaitPeer(targetTitle);
    if (target == nullptr) return noPeer;
    for (unsigned i = 0; i < count; ++i) {
        const LRESULT answer = SendMessageA(target, mp::kPing, i, 0);
        if (answer == 0) return mp::pumpUntilTrue([&] { return !IsWindow(target); }, mp::kPatience) ? ok : wrongAnswer;
        if (answer != static_cast<LRESULT>(i + 1)) return wrongAnswer;
    }
    return ok;
}

int churn(const std::string& targetTitle) {
    const HWND target = mp::awaitPeer(targetTitle);
    if (target == nullptr) return noPeer;
    for (unsigned i = 0;; ++i) {
        mp::PeerState state;
        const HWND window = mp::createPeer(state, "churn", nullptr);
        PostMessageA(target, mp::kPing, i, 0);
        DestroyWindow(window);
    }
}

int giveUp(const std::string& title, const std::string& targetTitle, const std::string& latchTitle) {
    const HWND target = mp::awaitPeer(targetTitle);
    const HWND latch = mp::awaitPeer(latchTitle);
    if (target == nullptr || latch == nullptr) return noPeer;
    DWORD_PTR ignored = 0;
    if (SendMessageTimeoutA(target, mp::kHold, mp::low16(latch), 0, SMTO_NORMAL, 1, &ignored) != 0) return wrongAnswer;
    mp::PeerState state;
    if (!mp::createPeer(state, title, nullptr)) return refused;
    for (;;) Sleep(1000);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || !mp::registerPeerClass()) return usage;
    const std::string mode = argv[1];
    if (mode == "serve" && argc == 3) return serve(argv[2]);
    if (mode == "hammer" && argc == 5) return hammer(argv[2], argv[3], static_cast<unsigned>(std::atoi(argv[4])));
    if (mode == "pound" && argc == 4) return pound(argv[2], static_cast<unsigned>(std::atoi(argv[3])));
    if (mode == "churn" && argc == 3) return churn(argv[2]);
    if (mode == "giveup" && argc == 5) return giveUp(argv[2], argv[3], argv[4]);
    if (mode == "join") {
        mp::PeerState state;
        return mp::createPeer(state, "joined", HWND_MESSAGE) ? ok : refused;
    }
    return usage;
}
