#include "FederationFixture.h"

namespace fedtest {

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

Workstation& FederationTest::joinAs(int number, const std::string& user, const std::string& password) {
    auto station = std::make_unique<Workstation>();
    station->number = number;
    station->user = user;
    station->passwordFile = broker.passwordFile(password);
    writeDevices(station->facility);
    return startHub(std::move(station));
}

Workstation& FederationTest::startHub(std::unique_ptr<Workstation> station, int keepAliveSeconds) {
    orq::HubOptions options = orqtest::testOptions(station->facility);
    options.windowClass = "OrqFederationHub" + std::to_string(station->number);
    options.answer2031 = options.answer49153 = station->discoverable;
    options.federation.broker = broker.url();
    options.federation.facility = "test";
    options.federation.workstation = station->number;
    options.federation.keepAliveSeconds = keepAliveSeconds;
    options.federation.user = station->user;
    options.federation.passwordFile = station->passwordFile;
    options.federation.caFile = station->caFile;
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
