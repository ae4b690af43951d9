#include "OrqHub.h"

#include "HubCore.h"
#include "HubWindow.h"

namespace orq {

OrqHub::OrqHub(HubOptions options) : options_(std::move(options)) {}

OrqHub::~OrqHub() { stop(); }

bool OrqHub::start() {
    if (running()) return true;
    stop();
    recorder_.keep(options_.record);
    core_ = std::make_unique<HubCore>(options_, recorder_);
    window_ = std::make_unique<HubWindow>(options_, recorder_, *core_);
    return window_->start();
}

void OrqHub::stop() {
    if (window_) window_->stop();
    window_.reset();
    core_.reset();
}

bool OrqHub::waitForEnd(DWORD timeoutMs) { return window_ ? window_->waitForEnd(timeoutMs) : true; }

HWND OrqHub::window() const { return window_ ? window_->window() : nullptr; }

bool OrqHub::running() const { return window_ && window_->running(); }

bool OrqHub::closed() const { return window_ && window_->closed(); }

void OrqHub::announceDeviceMode(int device, int index, const std::string& keyword) {
    if (window_) window_->invoke([&] { core_->announceDeviceMode(device, index, keyword); });
}

void OrqHub::announceDisconnect() {
    if (window_) window_->invoke([&] { core_->announceDisconnect(); });
}

void OrqHub::deliver(HWND client, UINT code, const std::string& text) {
    if (window_) window_->invoke([&] { core_->deliver(client, code, text); });
}

std::string OrqHub::value(int device, int index) {
    std::string result;
    if (window_) window_->invoke([&] { result = core_->value(device, index); });
    return result;
}

int OrqHub::deviceCount() {
    int result = 0;
    if (window_) window_->invoke([&] { result = core_->deviceCount(); });
    return result;
}

int OrqHub::clientCount() {
    int result = 0;
    if (window_) window_->invoke([&] { result = core_->clientCount(); });
    return result;
}

bool OrqHub::deviceOnline(int device) {
    bool result = false;
    if (window_) window_->invoke([&] { result = core_->deviceOnline(device); });
    return result;
}

}  // namespace orq
