#include "Session.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>

#include "orqWindowClass.h"

namespace zorvctl {

using namespace ZorvClientLibrary;

namespace {

std::atomic<bool> stop{false};

void onInterrupt(int) { stop = true; }

// The library's own limit when the hub names none.
constexpr unsigned defaultStringLimit = 256;
constexpr char refusalPrefix[] = "qxClient: ";

}  // namespace

bool interrupted() { return stop; }

int noHubRunning() {
    std::fprintf(stderr, "zorvctl: no hub running in this session; start one with: orq-hub -c <facility directory>\n");
    return noHub;
}

void catchInterrupt() { std::signal(SIGINT, onInterrupt); }

int hubGone() {
    std::fprintf(stderr, "zorvctl: the hub has gone (--follow waits for a new one)\n");
    return noHub;
}

bool awaitHub() {
    std::fprintf(stderr, "zorvctl: the hub has gone; waiting for a new one\n");
    return pumpUntil([] { return HubLink::hub() != nullptr; }, 0);
}

Session::Session(const Options& options, const Configuration& configuration)
    : options_(options), configuration_(configuration), out_(options.json) {
    client_.RouterRevertiveEvent += [this](uint device, uint dest, int source) {
        revertives.push_back({'R', device, dest, source, {}, false});
        if (echo) printRouter(out_, device, dest, source);
    };
    client_.InfoRevertiveEvent += [this](uint device, uint slot, String value) {
        revertives.push_back({'I', device, slot, 0, value.toUtf8(), false});
        if (echo) printInfo(out_, device, slot, value.toUtf8());
    };
    client_.GPIRevertiveEvent += [this](uint device, uint index, bool state) {
        revertives.push_back({'G', device, index, 0, {}, state});
        if (echo) printGpi(out_, device, index, state);
    };
}

Session::~Session() { client_.Dispose(); }

int Session::connect() {
    const IpcType ipc = options_.transport == "wm" ? IpcType::wm : IpcType::zel;
    if (HubLink::hub() == nullptr || client_.connect(ipc)) {
        return noHubRunning();
    }
    if (options_.readOnly) client_.writeEnable(false);
    traceSeen_ = trace_.lines().size();  // what connecting traced is no refusal
    return done;
}

int Session::traced() {
    // Refusals are the lines of the client's checks ("qxClient: ..."); the
    // client also traces other texts (each GPI revertive), which are no refusal.
    // A check made twice for one call (a command and its registration) is
    // printed once.
    const std::vector<std::string> lines = trace_.lines();
    int code = done;
    std::vector<std::string> printed;
    for (std::size_t i = traceSeen_; i < lines.size(); ++i) {
        if (lines[i].rfind(refusalPrefix, 0) != 0) continue;
        code = refused;
        if (std::find(printed.begin(), printed.end(), lines[i]) != printed.end()) continue;
        std::fputs(lines[i].c_str(), stderr);
        printed.push_back(lines[i]);
    }
    traceSeen_ = lines.size();
    return code;
}

int Session::writable() {
    if (client_.isWriteEnabled()) return done;
    std::fprintf(stderr, "zorvctl: writes are disabled (--read-only)\n");
    return refused;
}

int Session::fitsHub(const std::string& text) {
    const unsigned limit = client_.maxString() != 0 ? client_.maxString() : defaultStringLimit;
    if (text.size() < limit) return done;
    std::fprintf(stderr, "zorvctl: text of %zu bytes is too long; the hub takes at most %u\n", text.size(), limit - 1);
    return usage;
}

Watched Session::watch(const std::function<bool()>& done, double seconds, const std::function<void()>& setup) {
    DWORD checked = GetTickCount();
    bool gone = false;
    const auto reachedOrGone = [&] {
        if (gone || done()) return true;
        if (GetTickCount() - checked < hubCheckMs) return false;
        checked = GetTickCount();
        gone = !client_.isConnected();
        return gone;
    };
    for (;;) {
        if (pumpUntil(reachedOrGone, seconds)) {
            if (!gone) return Watched::reached;
        } else {
            return Watched::ended;
        }
        if (!options_.follow) {
            hubGone();
            return Watched::hubGone;
        }
        gone = false;
        client_.disconnect();
        if (!awaitHub()) return Watched::ended;
        if (connect() != Exit::done) return Watched::hubGone;
        setup();
        std::fprintf(stderr, "zorvctl: connected to the new hub; watching\n");
    }
}

std::optional<DeviceInfo> Session::device(unsigned number, char kind) {
    const auto info = link_.device(number);
    if (!info) {
        std::fprintf(stderr, "zorvctl: the hub has no device %u\n", number);
    } else if (kind != 0 && info->kind != kind) {
        std::fprintf(stderr, "zorvctl: device %u is %s %s, not %s %s\n", number, info->kind == 'I' ? "an" : "a",
                     kindWord(info->kind), kind == 'I' ? "an" : "a", kindWord(kind));
        return std::nullopt;
    }
    return info;
}

bool pumpUntil(const std::function<bool()>& done, double seconds) {
    const bool forever = seconds <= 0;
    const DWORD start = GetTickCount();
    const auto limitMs = static_cast<DWORD>(seconds * 1000);
    for (;;) {
        if (done()) return true;
        if (interrupted()) return false;
        const DWORD spent = GetTickCount() - start;
        if (!forever && spent >= limitMs) return false;
        // Short slices, so that an interrupt is seen soon.
        const DWORD slice = forever ? 100 : std::min<DWORD>(100, limitMs - spent);
        qxplatform::pumpUntil(done, slice);
    }
}

}  // namespace zorvctl
