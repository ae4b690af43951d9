// What the facility tests share: a broker of their own (BrokerProcess.h) and
// workstations: an embedded hub each, with a window class and a
// configuration directory of its own, joined through that broker.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "OrqTestSupport.h"
#include "BrokerProcess.h"

namespace fedtest {

// One workstation: its hub, the log lines it wrote, and clients of it.
struct Workstation {
    int number = 0;
    bool discoverable = true;  // answers the discovery broadcasts
    std::string user, passwordFile;  // at the broker
    std::string caFile;              // TLS
    orqtest::Facility facility;
    std::mutex logMutex;
    std::vector<std::string> logLines;
    std::unique_ptr<orq::OrqHub> hub;  // last: it stops before the log it writes to goes

    bool logged(const std::string& part);
};

// Devices of the tests, the same on every workstation: router 1 (16 sources,
// 8 destinations) and GPI unit 3 belong to workstation 1, infodriver 2 (10
// slots) to workstation 2.
void writeDevices(const orqtest::Facility& facility);

class FederationTest : public ::testing::Test {
protected:
    Broker broker;
    std::vector<std::unique_ptr<Workstation>> workstations;

    void SetUp() override { ASSERT_TRUE(broker.start()); }
    void TearDown() override { workstations.clear(); }

    // Writes the devices and starts the workstation's hub, joined to the broker.
    Workstation& join(int number, int keepAliveSeconds = 10);
    // The same as a user of the broker.
    Workstation& joinAs(int number, const std::string& user, const std::string& password);
    // A workstation whose facility directory was filled by the test.
    Workstation& startHub(std::unique_ptr<Workstation> station, int keepAliveSeconds = 10);

    // Waits until every workstation sees every other one online.
    bool allOnline();
    // Workstations 1 and 2 (owner and mirror of router 1), each online for the other.
    bool joinTwo() {
        owner = &join(1);
        mirror = &join(2);
        return allOnline();
    }
    Workstation* owner = nullptr;
    Workstation* mirror = nullptr;
};

}  // namespace fedtest
