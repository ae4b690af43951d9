#include "FederationFixture.h"

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
    // The shipped settings that matter (peers/orq/mosquitto.conf), on a port of our own.
    std::ofstream(directory_.host() / "mosquitto.conf")
        << "listener " << port_ << " 127.0.0.1\n"
        << "allow_anonymous true\n"
        << "persistence false\n"
        << "set_tcp_nodelay true\n"
        << "max_queued_messages 0\n"
        << "max_inflight_messages 0\n"
        << "log_dest none\n";
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

bool Workstation::logged(const std::string& part) {
    std::lock_guard<std::mutex> lock(logMutex);
    for (const std::string& line : logLines) {
        if (line.find(part) != std::string::npos) return true;
    }
    return false;
}

void writeDevices(const orqtest::Facility& facility) {
    facility.write("dev_001.ini",
                   "[Device]\nType=router\nName=Main router\nOwner=1\nSources=16\nDestinations=8\n"
                   "[Crosspoints]\n1=5\n[Database_0]\n1=CAM 1\n");
    facility.write("dev_002.ini", "[Device]\nType=infodriver\nName=Tally texts\nOwner=2\nSlots=10\n");
    facility.write("dev_003.ini", "[Device]\nType=gpi\nName=GPI unit\nOwner=1\nIndexes=6\n");
}

Workstation& FederationTest::join(int number, int keepAliveSeconds) {
    auto station = std::make_unique<Workstation>();
    station->number = number;
    writeDevices(station->facility);
    return startHub(std::move(station), keepAliveSeconds);
}

Workstation& FederationTest::startHub(std::unique_ptr<Workstation> station, int keepAliveSeconds) {
    orq::HubOptions options = orqtest::testOptions(station->facility);
    options.windowClass = "OrqFederationHub" + std::to_string(station->number);
    options.answer2031 = options.answer49153 = station->discoverable;
    options.federation.broker = broker.url();
    options.federation.facility = "test";
    options.federation.workstation = station->number;
    options.federation.keepAliveSeconds = keepAliveSeconds;
    Workstation* raw = station.get();
    options.log = [raw](const std::string& line) {
        std::lock_guard<std::mutex> lock(raw->logMutex);
        raw->logLines.push_back(line);
    };
    station->hub = std::make_unique<orq::OrqHub>(options);
    EXPECT_TRUE(station->hub->start());
    workstations.push_back(std::move(station));
    return *workstations.back();
}

bool FederationTest::allOnline() {
    for (const auto& station : workstations) {
        const bool seen = station->hub->waitFor(
            [&] {
                for (const auto& other : workstations) {
                    const int device = other->number == 2 ? 2 : 1;  // one device of each owner
                    if (other->number <= 2 && !station->hub->deviceOnline(device)) return false;
                }
                return true;
            },
            mp::kPatience);
        if (!seen) return false;
    }
    return true;
}

}  // namespace fedtest
