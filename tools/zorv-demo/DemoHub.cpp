#include "DemoHub.h"

#include "zorvText.h"

bool DemoHub::start() {
    running_ = FindWindowA(options_.windowClass.c_str(), nullptr);
    if (running_ != nullptr) return true;
    embedded_ = std::make_unique<orq::OrqHub>(options_);
    return embedded_->start();
}

std::string DemoHub::describe() const {
    if (!embedded_) {
        DWORD process = 0;
        GetWindowThreadProcessId(running_, &process);
        return formatText("using the hub running in process %lu", static_cast<unsigned long>(process));
    }
    return formatText("embedded hub running with %d devices from %s", embedded_->deviceCount(),
                      options_.configDirectory.c_str());
}

void DemoHub::stop() {
    if (embedded_) embedded_->stop();
}
