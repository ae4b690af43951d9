#include "Spy.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <vector>

#include "HubSpy.h"
#include "orqWindowClass.h"

namespace zorvctl {

namespace {

constexpr char spyClass[] = "zorvctlSpyWindow";

struct SpyState {
    Output out;
    SpyFilter filter;
    unsigned printed = 0;
};

// Prints one line of the hub ("in|msg|out \t client \t code \t device \t text").
void show(SpyState& state, const std::string& line) {
    std::vector<std::string> field;
    std::istringstream in(line);
    for (std::string part; field.size() < 4 && std::getline(in, part, '\t');) field.push_back(part);
    std::string rest;
    std::getline(in, rest);
    if (field.size() < 4) return;
    const long device = std::strtol(field[3].c_str(), nullptr, 10);
    if (state.filter.device != 0 && device != state.filter.device) return;
    if (!state.filter.client.empty() && field[1] != state.filter.client) return;
    const std::string arrow = field[0] == "out" ? "hub -> " + field[1] : field[1] + " -> hub";
    state.out.line(arrow + " " + field[2] + " " + rest,
                   {text("direction", field[0]), text("client", field[1]), num("code", std::atol(field[2].c_str())),
                    num("device", device), text("text", rest)});
    ++state.printed;
}

LRESULT CALLBACK spyProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* envelope = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        auto* state = reinterpret_cast<SpyState*>(GetWindowLongPtrA(window, 0));
        if (envelope != nullptr && envelope->dwData == orq::spyLine && state != nullptr && envelope->lpData != nullptr)
        {
            const auto* bytes = static_cast<const char*>(envelope->lpData);
            show(*state, std::string(bytes, std::find(bytes, bytes + envelope->cbData, '\0')));
        }
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int spy(const Options& options, const SpyFilter& filter) {
    const HWND hub = FindWindowA(orqWindowClass, nullptr);
    if (hub == nullptr) {
        return noHubRunning();
    }
    SpyState state{Output(options.json), filter, 0};
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = spyProcedure;
    windowClass.cbWndExtra = sizeof(LONG_PTR);
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = spyClass;
    RegisterClassA(&windowClass);
    const HWND window = CreateWindowExA(0, spyClass, "zorvctl spy", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                        windowClass.hInstance, nullptr);
    if (window == nullptr) return refused;
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(&state));

    SendMessageA(hub, orq::spySubscribe, reinterpret_cast<WPARAM>(window), 0);
    catchInterrupt();
    // The ready line tells a script when traffic starts to be seen.
    std::fprintf(stderr, "zorvctl: spying on the hub; Ctrl-C ends\n");
    const bool reached = pumpUntil([&] { return filter.count != 0 && state.printed >= filter.count; },
                                   options.timeout > 0 ? options.timeout : 0);
    SendMessageA(hub, orq::spyUnsubscribe, reinterpret_cast<WPARAM>(window), 0);
    DestroyWindow(window);
    UnregisterClassA(spyClass, windowClass.hInstance);
    return filter.count != 0 && !reached && !interrupted() ? timedOut : done;
}

}  // namespace zorvctl
