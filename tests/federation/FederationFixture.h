// What the facility tests share: a broker of their own (BrokerProcess.h) and
// workstations: an orq-hub process each, in a window session and a
// configuration directory of its own, joined through that broker. Clients of
// a workstation are programs run in its session: zorvctl, or
// federation_client for a burst of commands.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "BrokerProcess.h"
#include "TempDir.h"
#include "child_process.h"

namespace fedtest {

// What a program run to its end printed (standard output and error) and its exit code.
struct Result {
    int exitCode = -1;  // -1: still running at the deadline (then killed)
    std::string output;
    bool has(const std::string& part) const { return output.find(part) != std::string::npos; }
};

// A program running in the background in a workstation's session, its
// standard output and error going to files of the workstation's directory.
class Background {
public:
    Background(const std::string& session, const std::string& outputFile, const std::string& commandLine);
    bool running() const { return process_.started(); }
    unsigned long id() const { return process_.id(); }
    // Waits (bounded) until its output holds the text.
    bool says(const std::string& part);
    // Waits (bounded) for its end.
    Result finish();

private:
    std::string outputFile_;
    mp::ChildProcess process_;
};

class Workstation {
public:
    Workstation(int number, const std::string& session);
    int number() const { return number_; }
    std::string facility() const { return (directory_.host() / "facility").string(); }
    void write(const std::string& file, const std::string& text) const;

    // Starts orq-hub with these options and waits until it is ready.
    bool start(const std::string& hubOptions);
    // Kills the hub by its process id (with this signal) and, unless it was
    // only stopped, waits until it is gone.
    void signal(int number);
    // Waits (bounded) until the hub's log holds the text.
    bool logged(const std::string& part) { return hub_ && hub_->says(part); }

    // zorvctl in this workstation's session, as this workstation, to its end.
    Result zorvctl(const std::string& arguments) const;
    // Runs it again until its output holds the text (bounded).
    bool eventually(const std::string& arguments, const std::string& part) const;
    // zorvctl in the background, once it said it is watching.
    std::unique_ptr<Background> watch(const std::string& arguments) const;
    // Another program of the build in this workstation's session.
    std::unique_ptr<Background> program(const std::string& name, const std::string& arguments) const;

private:
    std::unique_ptr<Background> background(const std::string& program, const std::string& arguments) const;

    int number_;
    std::string session_;
    qxtest::TempDir directory_{"qx-workstation-"};
    std::unique_ptr<Background> hub_;
    mutable int runs_ = 0;
};

// Devices of the tests, the same on every workstation: router 1 (16 sources,
// 8 destinations) and GPI unit 3 belong to workstation 1, infodriver 2 (10
// slots) to workstation 2.
void writeDevices(const Workstation& station);

class FederationTest : public ::testing::Test {
protected:
    Broker broker;
    std::vector<std::unique_ptr<Workstation>> workstations;

    void SetUp() override { ASSERT_TRUE(broker.start()); }
    void TearDown() override { workstations.clear(); }

    // A workstation with the test devices, not started yet.
    Workstation& add(int number);
    // Starts its hub, joined to the broker, with these further options.
    Workstation& join(Workstation& station, const std::string& options = "", int keepAliveSeconds = 10);
    Workstation& join(int number) { return join(add(number)); }

    // Waits until every workstation serves every device (no owner offline).
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
