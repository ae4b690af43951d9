// A mosquitto broker of a test or benchmark's own on a free loopback port,
// started from a generated configuration and stopped by its process id.
#pragma once

#include <memory>
#include <string>

#include "TempDir.h"
#include "child_process.h"

namespace fedtest {

class Broker {
public:
    Broker();
    ~Broker() { stop(); }
    Broker(const Broker&) = delete;
    Broker& operator=(const Broker&) = delete;

    // Starts the broker (again, on the same port) and waits until it takes connections.
    bool start();
    // Kills it by its process id and waits until it is gone.
    void stop();
    std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }
    int port() const { return port_; }
    unsigned long processId() const { return process_ ? process_->id() : 0; }

private:
    qxtest::TempDir directory_{"qx-broker-"};
    int port_ = 0;
    std::unique_ptr<mp::ChildProcess> process_;
};

}  // namespace fedtest
