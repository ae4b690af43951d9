// A mosquitto broker of a test or benchmark's own on a free loopback port,
// started from a generated configuration and stopped by its process id.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

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
    // From the next start on, only these users with these passwords get in.
    void requirePasswords(const std::vector<std::pair<std::string, std::string>>& users);
    // From the next start on, the listener speaks TLS only, with a
    // self-signed certificate for 127.0.0.1; returns the CA file clients
    // need, empty when it could not be made.
    std::string requireTls();
    // A file holding a password on its first line, as hubs are given.
    std::string passwordFile(const std::string& password) const;
    // Kills it by its process id and waits until it is gone.
    void stop();
    std::string url() const { return (tls_ ? "mqtts://127.0.0.1:" : "mqtt://127.0.0.1:") + std::to_string(port_); }
    int port() const { return port_; }
    unsigned long processId() const { return process_ ? process_->id() : 0; }

private:
    qxtest::TempDir directory_{"qx-broker-"};
    int port_ = 0;
    bool tls_ = false;
    std::unique_ptr<mp::ChildProcess> process_;
};

}  // namespace fedtest
