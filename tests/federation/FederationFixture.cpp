#include "FederationFixture.h"

#include <signal.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace fedtest {

namespace {

std::string contents(const std::string& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The shell line that runs a program in a session, its output to a file.
std::vector<std::string> inSession(const std::string& session, const std::string& outputFile,
                                   const std::string& commandLine) {
    return {"-c", "exec env QX_SESSION=" + session + " " + commandLine + " >'" + outputFile + "' 2>&1"};
}

}  // namespace

Background::Background(const std::string& session, const std::string& outputFile, const std::string& commandLine)
    : outputFile_(outputFile), process_(inSession(session, outputFile, commandLine), "/bin/sh") {}

bool Background::says(const std::string& part) {
    return mp::pumpUntilTrue([&] { return contents(outputFile_).find(part) != std::string::npos; }, mp::kPatience);
}

Result Background::finish() {
    const auto code = process_.wait(mp::kPatience);
    if (!code) process_.kill();
    return {code.value_or(-1), contents(outputFile_)};
}

Workstation::Workstation(int number, const std::string& session) : number_(number), session_(session) {
    std::filesystem::create_directories(facility());
}

void Workstation::write(const std::string& file, const std::string& text) const {
    std::ofstream(std::filesystem::path(facility()) / file) << text;
}

bool Workstation::start(const std::string& hubOptions) {
    hub_ = background("orq-hub", "--hold-ms 600000 -c '" + facility() + "' " + hubOptions);
    return hub_->running() && hub_->says("orq: ready");
}

void Workstation::signal(int number) {
    ::kill(static_cast<pid_t>(hub_->id()), number);
    if (number != SIGSTOP) hub_->finish();
}

std::unique_ptr<Background> Workstation::background(const std::string& program, const std::string& arguments) const {
    const std::string output = (directory_.host() / (program + "-" + std::to_string(++runs_) + ".out")).string();
    return std::make_unique<Background>(session_, output, "'" + mp::siblingProgram(program) + "' " + arguments);
}

Result Workstation::zorvctl(const std::string& arguments) const {
    return background("zorvctl", "--workstation " + std::to_string(number_) + " " + arguments)->finish();
}

bool Workstation::eventually(const std::string& arguments, const std::string& part) const {
    return mp::pumpUntilTrue([&] { return zorvctl(arguments).has(part); }, mp::kPatience);
}

std::unique_ptr<Background> Workstation::watch(const std::string& arguments) const {
    auto watcher = background("zorvctl", "--workstation " + std::to_string(number_) + " " + arguments);
    EXPECT_TRUE(watcher->says("watching")) << arguments;
    return watcher;
}

std::unique_ptr<Background> Workstation::program(const std::string& name, const std::string& arguments) const {
    return background(name, arguments);
}

void writeDevices(const Workstation& station) {
    station.write("dev_001.ini",
                  "[Device]\nType=router\nName=Main router\nOwner=1\nSources=16\nDestinations=8\n"
                  "[Crosspoints]\n1=5\n[Database_0]\n1=CAM 1\n");
    station.write("dev_002.ini", "[Device]\nType=infodriver\nName=Tally texts\nOwner=2\nSlots=10\n");
    station.write("dev_003.ini", "[Device]\nType=gpi\nName=GPI unit\nOwner=1\nIndexes=6\n");
}

Workstation& FederationTest::add(int number) {
    static int sessions = 0;  // fresh for every workstation of the program's run
    const std::string session = "fedtest-" + std::to_string(::getpid()) + "-" + std::to_string(++sessions);
    workstations.push_back(std::make_unique<Workstation>(number, session));
    writeDevices(*workstations.back());
    return *workstations.back();
}

Workstation& FederationTest::join(Workstation& station, const std::string& options, int keepAliveSeconds) {
    EXPECT_TRUE(station.start("--broker " + broker.url() + " --facility test --workstation " +
                              std::to_string(station.number()) + " --keepalive " + std::to_string(keepAliveSeconds) +
                              " " + options));
    return station;
}

bool FederationTest::allOnline() {
    for (const auto& station : workstations) {
        const bool served = mp::pumpUntilTrue(
            [&] {
                const Result devices = station->zorvctl("devices");
                return devices.exitCode == 0 && !devices.has("offline");
            },
            mp::kPatience);
        if (!served) return false;
    }
    return true;
}

}  // namespace fedtest
