#include "InfodriverHost.h"

#include "DeviceModel.h"

namespace infodriver {

namespace {

constexpr char controlClass[] = "ZorvInfodriverHostControl";
constexpr UINT invokeMessage = WM_APP + 0x61;

}  // namespace

InfodriverHost::InfodriverHost(InfodriverOptions options) : options_(std::move(options)) {}

InfodriverHost::~InfodriverHost() { stop(); }

bool InfodriverHost::start() {
    if (thread_.joinable()) return running();
    std::promise<bool> started;
    auto result = started.get_future();
    ended_ = false;
    thread_ = std::thread([this, &started] { run(&started); });
    const bool ok = result.get();
    if (!ok) stop();
    return ok;
}

void InfodriverHost::stop() {
    if (!thread_.joinable()) return;
    if (HWND window = control_.load()) PostMessageA(window, WM_QUIT, 0, 0);
    thread_.join();
}

bool InfodriverHost::waitForEnd(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    while (!ended_.load()) {
        if (GetTickCount() - start >= timeoutMs) return false;
        Sleep(5);
    }
    return true;
}

void InfodriverHost::run(std::promise<bool>* started) {
    threadId_ = GetCurrentThreadId();
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = control;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = controlClass;
    RegisterClassA(&windowClass);
    HWND controlWindow = CreateWindowExA(0, controlClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    Infodriver::registerClasses();

    orq::DeviceModel model{orq::DeviceFiles(options_.configDirectory)};
    if (options_.devices.empty()) {
        model.load(options_.highestDevice);
    } else {
        for (int device : options_.devices) model.reload(device);
    }
    for (int number : model.numbers()) {
        const orq::Device* device = model.find(number);
        if (device->type != orq::DeviceType::infodriver) continue;
        std::map<int, std::string> initial;
        for (const auto& [index, state] : device->state) initial[index] = state.value;
        auto infodriver = std::make_unique<Infodriver>(number, device->size, initial, options_);
        if (infodriver->create()) infodrivers_.push_back(std::move(infodriver));
    }
    const bool ok = controlWindow != nullptr && !infodrivers_.empty();
    control_ = controlWindow;
    running_ = ok;
    started->set_value(ok);
    if (ok) loop();

    running_ = false;
    infodrivers_.clear();
    control_ = nullptr;
    if (controlWindow != nullptr) DestroyWindow(controlWindow);
    Infodriver::unregisterClasses();
    UnregisterClassA(controlClass, GetModuleHandleA(nullptr));
    ended_ = true;
}

void InfodriverHost::loop() {
    MSG msg;
    for (;;) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) return;
            DispatchMessageA(&msg);
        }
        for (auto& infodriver : infodrivers_) infodriver->tick();
        if (PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) continue;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, options_.livenessIntervalMs, QS_ALLINPUT);
    }
}

LRESULT CALLBACK InfodriverHost::control(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == invokeMessage) {
        (*reinterpret_cast<const std::function<void()>*>(lParam))();
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool InfodriverHost::invoke(const std::function<void()>& work) {
    HWND window = control_.load();
    if (window == nullptr || !running()) return false;
    if (GetCurrentThreadId() == threadId_.load()) {
        work();
        return true;
    }
    return SendMessageA(window, invokeMessage, 0, reinterpret_cast<LPARAM>(&work)) != 0;
}

Infodriver* InfodriverHost::find(int device) {
    for (auto& infodriver : infodrivers_) {
        if (infodriver->device() == device) return infodriver.get();
    }
    return nullptr;
}

std::vector<int> InfodriverHost::devices() {
    std::vector<int> numbers;
    invoke([&] {
        for (auto& infodriver : infodrivers_) numbers.push_back(infodriver->device());
    });
    return numbers;
}

HWND InfodriverHost::window(int device) {
    HWND result = nullptr;
    invoke([&] {
        if (Infodriver* found = find(device)) result = found->window();
    });
    return result;
}

std::string InfodriverHost::slot(int device, int index) {
    std::string result;
    invoke([&] {
        if (Infodriver* found = find(device)) result = found->slot(index);
    });
    return result;
}

int InfodriverHost::driverCount(int device) {
    int result = 0;
    invoke([&] {
        if (Infodriver* found = find(device)) result = found->driverCount();
    });
    return result;
}

HWND InfodriverHost::txDriver(int device) {
    HWND result = nullptr;
    invoke([&] {
        if (Infodriver* found = find(device)) result = found->txDriver();
    });
    return result;
}

void InfodriverHost::requestWrite(int device, int index, const std::string& text, int workstation) {
    invoke([&] {
        if (Infodriver* found = find(device)) found->requestWrite(index, text, workstation);
    });
}

void InfodriverHost::sendDeviceMessage(int device, const std::string& text) {
    invoke([&] {
        if (Infodriver* found = find(device)) found->sendDeviceMessage(text);
    });
}

}  // namespace infodriver
