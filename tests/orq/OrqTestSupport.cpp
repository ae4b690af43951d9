#include "OrqTestSupport.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "qxplatform.h"
#include "zorvwm32.h"

namespace orqtest {

namespace {

constexpr char clientClass[] = "OrqTestFakeClient";
constexpr DWORD deadlineMs = 5000;

#ifndef _WIN32
// The drives root of this test program: made on first use, removed at exit.
struct DrivesRoot {
    std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("orq_tests_" + std::to_string(GetCurrentProcessId()));
    DrivesRoot() {
        std::filesystem::create_directories(path);
        SetEnvironmentVariableA("QX_DRIVES", path.string().c_str());
    }
    ~DrivesRoot() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};
#endif

std::string freshDirectory() {
#ifndef _WIN32
    static const DrivesRoot drives;
#endif
    static std::atomic<int> counter{0};
    const std::string parent = "c:\\orq_tests";
    CreateDirectoryA(parent.c_str(), nullptr);
    const std::string directory =
        parent + "\\" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
    CreateDirectoryA(directory.c_str(), nullptr);
    return directory;
}

}  // namespace

Facility::Facility() : directory_(freshDirectory()) {}

Facility::~Facility() {
    std::error_code ignored;
    std::filesystem::remove_all(qxplatform::hostPath(directory_), ignored);
}

void Facility::write(const std::string& file, const std::string& text) const {
    HANDLE handle = CreateFileA((directory_ + "\\" + file).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(handle);
}

std::string Facility::read(const std::string& file) const {
    HANDLE handle = CreateFileA((directory_ + "\\" + file).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(handle, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
    CloseHandle(handle);
    return text;
}

void Facility::writeStandardDevices() const {
    write("dev_001.ini",
          "[Device]\nType=router\nName=Main router\nVersion=3\nSources=8\nDestinations=4\n"
          "[Crosspoints]\n1=5\n2=6\n"
          "[Database_0]\n1=CAM 1\n2=CAM 2\n");
    write("dev_002.ini",
          "[Device]\nType=infodriver\nName=Tally texts\nVersion=1\nSlots=10\n"
          "[Slots]\n1=hello world\n");
    write("dev_003.ini", "[Device]\nType=gpi\nName=GPI unit\nVersion=2\nIndexes=6\n[GPIs]\n2=1\n");
}

orq::HubOptions testOptions(const Facility& facility) {
    orq::HubOptions options;
    options.configDirectory = facility.directory();
    options.windowClass = "OrqTestHub";
    options.holdDelayMs = 600000;  // held until flushed, unless a test says otherwise
    options.highestDevice = 20;
    return options;
}

FakeClient::FakeClient(HWND hub) : hub_(hub) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.cbWndExtra = sizeof(LONG_PTR);
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = clientClass;
    RegisterClassA(&windowClass);  // already registered by an earlier client: fine
    window_ = CreateWindowExA(0, clientClass, "fake client", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              GetModuleHandleA(nullptr), this);
}

FakeClient::~FakeClient() {
    if (window_ != nullptr) DestroyWindow(window_);
}

LRESULT CALLBACK FakeClient::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        SetWindowLongPtrA(window, 0,
                          reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
    }
    auto* self = reinterpret_cast<FakeClient*>(GetWindowLongPtrA(window, 0));
    if (self == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    return self->handle(window, message, wParam, lParam);
}

LRESULT FakeClient::handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (unpackingCode_ != 0 && message == unpackingCode_) {
        unpackingCode_ = 0;
        Delivered delivered{message, {}, {}, unpackingZel_};
        if (lParam != 0) {
            delivered.text = reinterpret_cast<const char*>(lParam);
            if (message == 49854) {
                const auto* bytes = reinterpret_cast<const unsigned char*>(lParam);
                delivered.record.assign(bytes, bytes + 12);
            }
        }
        deliveries_.push_back(delivered);
        if (onDelivery) onDelivery(delivered);
        return 1;
    }
    if (message == WM_COPYDATA) {
        const auto* envelope = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const UINT code = static_cast<UINT>((envelope->dwData >> 16) & 0xFFFF);
        if (code != zorvwm32::replyCode) {
            unpackingCode_ = code;
            unpackingZel_ = false;
        }
        copyDataReceive(window, reinterpret_cast<HWND>(static_cast<UINT_PTR>(wParam & 0xFFFF)), envelope);
        return 1;
    }
    if (message == zorvwm32::zelMessage) {
        unpackingCode_ = static_cast<UINT>((wParam >> 16) & 0xFFFF);
        unpackingZel_ = true;
        return zel::receive(window, wParam, lParam);
    }
    plain_.push_back({message, wParam, lParam});
    if (onPlain) onPlain(plain_.back());
    return DefWindowProcA(window, message, wParam, lParam);
}

void FakeClient::join(bool throughInterfaceLibrary) {
    send(throughInterfaceLibrary ? 2054 : 2034, reinterpret_cast<WPARAM>(window_), 4);
    sendWithWindow(49222);
}

LRESULT FakeClient::send(UINT message, WPARAM wParam, LPARAM lParam) const {
    return SendMessageA(hub_, message, wParam, lParam);
}

LRESULT FakeClient::sendWithWindow(UINT message, LPARAM lParam) const {
    return send(message, reinterpret_cast<WPARAM>(window_), lParam);
}

LONG FakeClient::request(UINT code, LONG parameter, void* payload, DWORD length, DWORD replyCapacity) const {
    return copyDataSend(window_, hub_, code, parameter, payload, length, replyCapacity, zorvwm32::textKind,
                        zorvwm32::ReplyForm::record);
}

LONG FakeClient::requestText(UINT code, LONG parameter, const std::string& text) const {
    std::string buffer = text;
    return request(code, parameter, buffer.data(), static_cast<DWORD>(buffer.size() + 1));
}

void FakeClient::command(UINT code, int device, const std::string& text, bool now) const {
    requestText(code, (device & 0xFFFF) | (now ? 0x8000 : 0), text);
}

LONG FakeClient::requestZel(UINT code, LONG parameter, void* buffer, int size) const {
    return zel::send(hub_, code, parameter, buffer, zorvwm32::textKind, size);
}

void FakeClient::registerRange(int device, int start, int end, bool overwrite) const {
    const std::uint16_t record[3] = {static_cast<std::uint16_t>(device | (overwrite ? 0 : 0x8000)),
                                     static_cast<std::uint16_t>(start), static_cast<std::uint16_t>(end)};
    std::uint16_t buffer[3];
    std::memcpy(buffer, record, sizeof record);
    request(2274, static_cast<LONG>(reinterpret_cast<UINT_PTR>(window_) & 0xFFFF), buffer, sizeof buffer);
}

void FakeClient::deregisterRange(int device, int start, int end) const {
    std::uint16_t buffer[3] = {static_cast<std::uint16_t>(device), static_cast<std::uint16_t>(start),
                               static_cast<std::uint16_t>(end)};
    request(2276, static_cast<LONG>(reinterpret_cast<UINT_PTR>(window_) & 0xFFFF), buffer, sizeof buffer);
}

std::vector<Delivered> FakeClient::deliveries(UINT code) const {
    std::vector<Delivered> result;
    for (const auto& delivered : deliveries_) {
        if (code == 0 || delivered.code == code) result.push_back(delivered);
    }
    return result;
}

std::vector<std::string> FakeClient::texts(UINT code) const {
    std::vector<std::string> result;
    for (const auto& delivered : deliveries(code)) result.push_back(delivered.text);
    return result;
}

std::vector<PlainMessage> FakeClient::plain(UINT message) const {
    std::vector<PlainMessage> result;
    for (const auto& received : plain_) {
        if (received.message == message) result.push_back(received);
    }
    return result;
}

void FakeClient::clear() {
    deliveries_.clear();
    plain_.clear();
}

void FakeClient::dropLast() {
    if (!deliveries_.empty()) deliveries_.pop_back();
}

bool waitForDeliveries(orq::OrqHub& hub, const FakeClient& client, UINT code, std::size_t n) {
    return hub.waitFor([&] { return client.deliveries(code).size() >= n; }, deadlineMs);
}

bool drain(orq::OrqHub& hub, FakeClient& client) {
    constexpr UINT marker = 2244;
    const std::size_t before = client.deliveries().size();
    hub.deliver(client.window(), marker, "drain marker");
    const bool arrived = hub.waitFor([&] { return client.deliveries().size() > before &&
                                                 client.deliveries().back().text == "drain marker"; },
                                     deadlineMs);
    if (arrived) client.dropLast();
    return arrived;
}

}  // namespace orqtest
