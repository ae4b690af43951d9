#include "BrokerProcess.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>

namespace fedtest {

namespace {

// A loopback port nobody listens on now.
int freePort() {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(probe);
    return port;
}

bool accepts(int port) {
    const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool connected = ::connect(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(probe);
    return connected;
}

}  // namespace

Broker::Broker() : port_(freePort()) {
    // The shipped settings (peers/orq/mosquitto.conf), with a listener of our own.
    std::ifstream shipped(MOSQUITTO_CONF);
    std::ofstream config(directory_.host() / "mosquitto.conf");
    config << "listener " << port_ << " 127.0.0.1\nlog_dest none\n";
    for (std::string line; std::getline(shipped, line);) {
        if (line.rfind("listener", 0) != 0) config << line << "\n";
    }
}

void Broker::requirePasswords(const std::vector<std::pair<std::string, std::string>>& users) {
    const std::string file = (directory_.host() / "passwords").string();
    std::ofstream(file).close();
    for (const auto& [user, password] : users) {
        mp::ChildProcess add({"-b", file, user, password}, MOSQUITTO_PASSWD_PROGRAM);
        add.wait(mp::kPatience);
    }
    // Started as root, the broker would read its files as user mosquitto,
    // which may not enter this directory (so too for the TLS files).
    std::ofstream(directory_.host() / "mosquitto.conf", std::ios::app)
        << "user root\nallow_anonymous false\npassword_file " << file << "\n";
}

std::string Broker::requireTls() {
    const std::string key = (directory_.host() / "broker.key").string();
    const std::string certificate = (directory_.host() / "broker.pem").string();
    mp::ChildProcess make({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                           "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out", certificate},
                          OPENSSL_PROGRAM);
    if (make.wait(mp::kPatience) != 0) return {};
    std::ofstream(directory_.host() / "mosquitto.conf", std::ios::app)
        << "user root\ncertfile " << certificate << "\nkeyfile " << key << "\n";
    tls_ = true;
    return certificate;
}

std::string Broker::passwordFile(const std::string& password) const {
    const auto file = directory_.host() / ("password-" + password);
    std::ofstream(file) << password << "\n";
    return file.string();
}

bool Broker::start() {
    stop();
    process_ = std::make_unique<mp::ChildProcess>(
        std::vector<std::string>{"-c", (directory_.host() / "mosquitto.conf").string()}, MOSQUITTO_PROGRAM);
    return process_->started() && mp::pumpUntilTrue([this] { return accepts(port_); }, mp::kPatience);
}

void Broker::stop() {
    if (!process_) return;
    process_->kill();
    process_->wait(mp::kPatience);
    process_.reset();
}

}  // namespace fedtest
