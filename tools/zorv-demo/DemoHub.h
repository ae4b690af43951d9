// The demo's hub: the one running in this window session when there is one
// (an orq-hub process, found as clients find it: by its window class), else
// one embedded in the demo on a thread of its own.
#pragma once

#include <memory>
#include <string>

#include "OrqHub.h"

class DemoHub {
public:
    explicit DemoHub(orq::HubOptions options) : options_(std::move(options)) {}

    // Finds the running hub or starts the embedded one; false when neither.
    bool start();
    // The embedded hub, or null when a hub process serves the demo.
    orq::OrqHub* embedded() { return embedded_.get(); }
    // One line saying which hub serves.
    std::string describe() const;
    void stop();

private:
    orq::HubOptions options_;
    HWND running_ = nullptr;
    std::unique_ptr<orq::OrqHub> embedded_;
};
