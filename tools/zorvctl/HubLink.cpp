#include "HubLink.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "HubLookups.h"
#include "decodeZORVString.h"
#include "orqWindowClass.h"
#include "ownedWindow.h"
#include "zorvwm32.h"

namespace zorvctl {

namespace {

constexpr LONG answered = 1;  // the reply code of a lookup the hub could answer

std::optional<DeviceInfo> parseProfile(const std::string& text) {
    // "device version letter sources size 'name'", then "offline" for a
    // device of another workstation whose hub is out of reach
    const decodeZORVString fields(text);
    DeviceInfo info;
    if (std::sscanf(text.c_str(), "%u %u %c %u %u", &info.number, &info.version, &info.kind, &info.sources,
                    &info.size) != 5)
        return std::nullopt;
    info.name = fields[5];
    info.online = std::strcmp(fields[6], "offline") != 0;
    return info;
}

}  // namespace

const char* kindWord(char kind) { return kind == 'R' ? "router" : kind == 'I' ? "infodriver" : "GPI"; }

HubLink::HubLink() { window_ = zorvwm32::createOwnedMessageWindow("zorvctlHubLink", procedure, this); }

HubLink::~HubLink() {
    if (window_ != nullptr) zorvwm32::destroyOwnedMessageWindow(window_);
}

HWND HubLink::hub() { return FindWindowA(orqWindowClass, nullptr); }

LRESULT CALLBACK HubLink::procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    if (message != WM_COPYDATA) return DefWindowProcA(window, message, wParam, lParam);
    const auto* envelope = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (envelope == nullptr) return 0;
    if (((envelope->dwData >> 16) & 0xFFFF) == zorvwm32::replyCode) {
        copyDataReceive(window, reinterpret_cast<HWND>(wParam), envelope);
        return 1;
    }
    auto* self = reinterpret_cast<HubLink*>(GetWindowLongPtrA(window, 0));
    if (self != nullptr && self->onCopyData && envelope->lpData != nullptr) {
        const auto* bytes = static_cast<const char*>(envelope->lpData);
        self->onCopyData(envelope->dwData, std::string(bytes, std::find(bytes, bytes + envelope->cbData, '\0')));
    }
    return 1;
}

std::optional<std::string> HubLink::ask(UINT code, const std::string& text) {
    const HWND hubWindow = hub();
    if (hubWindow == nullptr || window_ == nullptr) return std::nullopt;
    char block[zorvwm32::textBlockSize] = {};
    std::memcpy(block, text.data(), std::min(text.size(), sizeof block - 1));
    const LONG answer = copyDataSend(window_, hubWindow, code, 0, block, sizeof block, sizeof block, zorvwm32::textKind);
    if (answer != answered) return std::nullopt;
    return std::string(block, strnlen(block, sizeof block));
}

std::vector<DeviceInfo> HubLink::devices() {
    std::vector<DeviceInfo> list;
    unsigned after = 0;
    // Bounded: every answer names a device above the one before.
    while (const auto reply = ask(orq::deviceListRequest, std::to_string(after))) {
        const auto info = parseProfile(*reply);
        if (!info || info->number <= after) break;
        list.push_back(*info);
        after = info->number;
    }
    return list;
}

std::optional<DeviceInfo> HubLink::device(unsigned number) {
    if (number == 0) return std::nullopt;
    const auto reply = ask(orq::deviceListRequest, std::to_string(number - 1));
    const auto info = reply ? parseProfile(*reply) : std::nullopt;
    if (!info || info->number != number) return std::nullopt;
    return info;
}

std::optional<int> HubLink::lockHolder(unsigned device, unsigned index) {
    const auto reply = ask(orq::lockHolderRequest, std::to_string(device) + " " + std::to_string(index));
    if (!reply || reply->empty()) return std::nullopt;
    return std::atoi(reply->c_str());
}

}  // namespace zorvctl
