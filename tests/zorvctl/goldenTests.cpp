// zorvctl against an orq-hub process with the sample facility: each case runs
// a command line through the shell ($Z is zorvctl) and compares its standard
// output and exit code with golden/<case>.txt. ZORVCTL_UPDATE_GOLDEN=1 (see
// update-golden.sh) writes the files instead.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include "child_process.h"
#include "orqWindowClass.h"

namespace {

struct Case {
    const char* name;
    const char* command;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

// Runs the watcher in the background, waits (bounded) for its ready line on standard
// error, runs the action, then waits for the watcher and prints its output.
#define BACKGROUND(watcher, action)                                                                  \
    watcher " 2>\"$T/ready\" >\"$T/out\" & i=0; until grep -q watching \"$T/ready\" 2>/dev/null || " \
            "grep -q spying \"$T/ready\" 2>/dev/null || [ $i -ge 400 ]; do i=$((i+1)); sleep 0.05; done; " action \
            " >/dev/null; wait $!; r=$?; cat \"$T/out\"; exit $r"

// The bad-input cases keep standard error: their message is part of the result.
const Case cases[] = {
    {"status", "$Z status"},
    {"status_json", "$Z --json status"},
    {"no_hub", "QX_SESSION=zorvctl-nobody-$$ $Z status"},
    {"route", "$Z route 1 5 7"},
    {"route_json", "$Z --json route 1 5 7"},
    {"route_mask_wm", "$Z --transport wm route 1 5 7 --mask ,-1-"},
    {"route_hold_flush", "$Z --hold route 1 2 3 && $Z flush && $Z query router 1 2"},
    {"route_read_only", "$Z --read-only route 1 5 7"},
    {"route_locked_elsewhere", "QX_WORKSTATION=2 $Z lock router 1 1 2 && $Z route 1 1 5"},
    {"route_device_zero", "$Z route 0 1 1"},
    {"info_write", "$Z info write 2 3 'on air'"},
    {"gpi", "$Z gpi 3 2 on"},
    {"lock_unlock", "$Z lock gpi 3 1 4 && $Z unlock gpi 3 1 4"},
    {"poll", "$Z poll router 1 1 4"},
    {"query_json", "$Z --json query info 2 1 3"},
    {"file", "$Z route 1 1 9 && $Z file router 1 && $Z query router 1 1"},
    {"profile", "$Z profile 1 && $Z profile 2 && $Z profile 3"},
    {"profile_unknown", "$Z profile 9"},
    {"watch", BACKGROUND("$Z watch 1:5 --count 1 --timeout 10", "$Z route 1 5 7")},
    {"watch_timeout", "$Z watch 1:5-6 --count 1 --timeout 0.2"},
    {"spy", BACKGROUND("$Z spy --device 1 --count 3 --timeout 10", "$Z route 1 5 7")},
    {"config_watch", BACKGROUND("$Z config-watch --count 1 --timeout 10", "$Z config-change 'new map'")},
    {"message", "$Z message 0 1 hello 7"},
    {"name_get_set_find", "$Z name get 1 5 && $Z name set 1 5 'VTR 9' && $Z name get 1 5 && $Z name find 1 'VTR 9'"},
    {"name_database_1", "$Z name --db 1 get 1 3"},
    {"cache", "$Z route 1 5 7 && $Z cache get 1 5 && $Z cache test 1 5 5 && $Z cache index 1 1 8 7"},
    {"bad_unknown_subcommand", "$Z frobnicate 2>&1"},
    {"bad_device_not_number", "$Z route one 5 7 2>&1"},
    {"bad_negative_index", "$Z gpi 3 -2 on 2>&1"},
    {"bad_range_backwards", "$Z watch 1:8-4 2>&1"},
    {"bad_text_too_long", "$Z info write 2 1 'a text longer than the hub takes' 2>&1"},
};

class ZorvctlGolden : public ::testing::TestWithParam<Case> {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() / ("zorvctl-golden-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        std::filesystem::copy(ZORV_FACILITY_DIR, dir / "facility");
        // System mode, so that QX_WORKSTATION names the workstation; the
        // configuration and drives lie in the fresh directory.
        ::setenv("QX_ROOT", dir.string().c_str(), 1);
        ::setenv("QX_SYSTEM", "config", 1);
        ::setenv("QX_DRIVES", (dir / "drives").string().c_str(), 1);
        ::setenv("QX_WORKSTATION", "1", 1);
        hub = std::make_unique<mp::ChildProcess>(
            std::vector<std::string>{"-q", "--max-string", "32", "-c", (dir / "facility").string()},
            mp::siblingProgram("orq-hub"));
        ASSERT_TRUE(mp::pumpUntilTrue([] { return FindWindowA(orqWindowClass, nullptr) != nullptr; }, mp::kPatience));
    }
    void TearDown() override {
        hub.reset();
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }

    // Standard output of the command line and its exit code, as the golden file holds them.
    std::string run(const std::string& command) {
        const std::string line = "Z='" + mp::siblingProgram("zorvctl") + "'; T='" + dir.string() + "'; (" + command +
                                 ") 2>/dev/null; echo \"exit $?\"";
        FILE* pipe = ::popen(line.c_str(), "r");
        std::string output;
        char buffer[512];
        while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
        if (pipe != nullptr) ::pclose(pipe);
        // Window handles depend on how many windows the session made before
        // (the cases of one program share a session).
        return std::regex_replace(output, std::regex("0x1[0-9a-f]{4}"), "0xWINDOW");
    }

    std::filesystem::path dir;
    std::unique_ptr<mp::ChildProcess> hub;
};

TEST_P(ZorvctlGolden, OutputAndExitCodeMatch) {
    const std::string output = run(GetParam().command);
    const std::string file = std::string(ZORVCTL_GOLDEN_DIR) + "/" + GetParam().name + ".txt";
    if (std::getenv("ZORVCTL_UPDATE_GOLDEN") != nullptr) {
        std::ofstream(file, std::ios::binary) << output;
        GTEST_SKIP() << "wrote " << file;
    }
    std::ifstream golden(file, std::ios::binary);
    ASSERT_TRUE(golden) << "no golden file " << file << " (run tests/zorvctl/update-golden.sh)";
    std::stringstream expected;
    expected << golden.rdbuf();
    EXPECT_EQ(output, expected.str());
}

INSTANTIATE_TEST_SUITE_P(Cases, ZorvctlGolden, ::testing::ValuesIn(cases),
                         [](const auto& param) { return std::string(param.param.name); });

}  // namespace
