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
// error, runs the action, then waits for the watcher and prints its output and
// what else it said on standard error.
#define BACKGROUND(watcher, action)                                                                  \
    watcher " 2>\"$T/ready\" >\"$T/out\" & i=0; until grep -q watching \"$T/ready\" 2>/dev/null || " \
            "grep -q spying \"$T/ready\" 2>/dev/null || [ $i -ge 400 ]; do i=$((i+1)); sleep 0.05; done; " action \
            " >/dev/null; wait $!; r=$?; cat \"$T/out\"; grep -v -e watching -e spying \"$T/ready\"; exit $r"

// Runs the watcher, stops the hub once it watches, starts a new one once the
// watcher saw the first go, and acts once the watcher has connected to the new
// one; the new hub is stopped at the end.
#define FOLLOW(watcher, action)                                                                                \
    watcher " 2>\"$T/ready\" >\"$T/out\" & w=$!; i=0; until grep -q watching \"$T/ready\" || [ $i -ge 400 ]; " \
            "do i=$((i+1)); sleep 0.05; done; kill $H; i=0; until grep -q 'has gone' \"$T/ready\" || [ $i -ge 400 ]; " \
            "do i=$((i+1)); sleep 0.05; done; \"$O\" -q -c \"$T/facility\" >/dev/null & h=$!; i=0; "                 \
            "until grep -q 'new hub' \"$T/ready\" || [ $i -ge 400 ]; do i=$((i+1)); sleep 0.05; done; " action      \
            " >/dev/null; wait $w; r=$?; kill $h; wait $h; cat \"$T/out\"; grep -v watching \"$T/ready\"; exit $r"

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
    {"route_locked_elsewhere", "QX_WORKSTATION=2 $Z lock router 1 1 2 && $Z route 1 1 5 2>&1"},
    {"route_by_name", "$Z route 1 PGM 'CAM 2'"},
    {"salvo", "$Z salvo 1 5=7 6=8 7=GFX"},
    {"info_write", "$Z info write 2 3 'on air'"},
    {"info_write_differs", "$Z info write 2 3 'snow \u2603' 2>&1"},
    {"gpi", "$Z gpi 3 2 on"},
    {"lock_unlock", "$Z lock gpi 3 1 4 && $Z unlock gpi 3 1 4"},
    {"poll", "$Z poll router 1 1 4"},
    {"query_json", "$Z --json query info 2 1 3"},
    {"file", "$Z route 1 1 9 && $Z file router 1 && $Z query router 1 1"},
    {"profile", "$Z profile 1 && $Z profile 2 && $Z profile 3"},
    {"profile_unknown", "$Z profile 9 2>&1"},
    {"devices", "$Z devices && $Z --json devices"},
    {"show_router", "QX_WORKSTATION=2 $Z lock router 1 2 && $Z show 1"},
    {"show_gpi", "$Z show 3"},
    {"watch", BACKGROUND("$Z watch 1:5 --count 1 --timeout 10", "$Z route 1 5 7")},
    {"watch_timeout", "$Z watch 1:5-6 --count 1 --timeout 0.2"},
    {"watch_hub_gone", BACKGROUND("$Z watch 1:5 --timeout 10", "kill $H")},
    {"watch_follow", FOLLOW("$Z watch 1:5 --follow --count 1 --timeout 20", "$Z route 1 5 7")},
    {"spy", BACKGROUND("$Z spy --device 1 --count 3 --timeout 10", "$Z route 1 5 7")},
    // The client lives until the spy has named it: a client gone by then is
    // named by its window only.
    {"spy_handshake", BACKGROUND("$Z spy --handshake --count 4 --timeout 10",
                                 "($Z --transport wm config-watch --count 1 --timeout 10 >/dev/null 2>&1 & c=$!; i=0; "
                                 "until [ $(wc -l <\"$T/out\") -ge 4 ] || [ $i -ge 400 ]; do i=$((i+1)); sleep 0.05; "
                                 "done; $Z config-change x; wait $c)")},
    {"spy_hub_gone", BACKGROUND("$Z spy --timeout 10", "kill $H")},
    {"config_watch", BACKGROUND("$Z config-watch --count 1 --timeout 10", "$Z config-change 'new map'")},
    {"message", "$Z message 0 1 hello 7"},
    {"message_from_workstation_0", "QX_WORKSTATION=0 $Z message 0 1 hello 2>&1"},
    {"workstation_option", "QX_WORKSTATION=0 $Z --workstation 3 status | sed -n 2p"},
    {"config_option", "$Z --config \"$T/facility\" status | sed -n 2,3p"},
    {"name_get_set_find", "$Z name get 1 5 && $Z name set 1 5 'VTR 9' && $Z name get 1 5 && $Z name find 1 'VTR 9'"},
    {"name_database_1", "$Z name --db 1 get 1 3"},
    {"name_set_stored", "$Z name set 1 6 'Cam \u2603' 2>&1"},
    {"name_unset", "$Z name get 1 12 && $Z --json name get 1 12"},
    {"cache", "$Z route 1 5 7 && $Z cache get 1 5 && $Z cache test 1 5 5 && $Z cache index 1 1 8 7"},
    {"cache_miss", "$Z cache get 1 6 && $Z --json cache get 1 6"},
    {"bad_unknown_subcommand", "$Z frobnicate 2>&1"},
    {"bad_device_not_number", "$Z route one 5 7 2>&1"},
    {"bad_negative_index", "$Z gpi 3 -2 on 2>&1"},
    {"bad_range_backwards", "$Z watch 1:8-4 2>&1"},
    {"bad_text_too_long", "$Z info write 2 1 'a text longer than the hub takes' 2>&1"},
    {"bad_unknown_device", "$Z route 99 1 1 2>&1"},
    {"bad_wrong_kind", "$Z gpi 2 1 on 2>&1"},
    {"bad_unknown_index", "$Z info write 2 50 x 2>&1"},
    {"bad_unknown_source", "$Z route 1 1 17 2>&1"},
    {"bad_unknown_name", "$Z route 1 PGM 'CAM 9' 2>&1"},
    {"bad_index_zero", "$Z route 1 0 1 2>&1"},
    {"bad_salvo_crosspoint", "$Z salvo 1 5 2>&1"},
    {"bad_timeout_not_number", "$Z --timeout abc status 2>&1"},
    {"bad_config_missing", "$Z --config \"$T/none\" status 2>&1"},
    {"bad_session", "QX_SESSION='a b' $Z status 2>&1"},
    {"hub_facility_missing_or_empty", "mkdir \"$T/empty\"; export QX_SESSION=zorvctl-empty-$$; $O -q -c \"$T/empty\" 2>&1; $O -q -c \"$T/none\" 2>&1"},
};

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
}

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
        const std::string line = "Z='" + mp::siblingProgram("zorvctl") + "'; O='" + mp::siblingProgram("orq-hub") +
                                 "'; T='" + dir.string() + "'; H=" + std::to_string(hub->id()) + "; (" + command +
                                 ") 2>/dev/null; echo \"exit $?\"";
        FILE* pipe = ::popen(line.c_str(), "r");
        std::string output;
        char buffer[512];
        while (pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
        if (pipe != nullptr) ::pclose(pipe);
        // Window handles depend on how many windows the session made before
        // (the cases of one program share a session).
        // So do process ids, and the fresh directory's name.
        output = std::regex_replace(output, std::regex("0x1[0-9a-f]{4}"), "0xWINDOW");
        output = std::regex_replace(output, std::regex("\\[[0-9]+\\]"), "[PID]");
        replaceAll(output, dir.string(), "$T");
        replaceAll(output, std::getenv("QX_SESSION") != nullptr ? std::getenv("QX_SESSION") : "default", "$SESSION");
        return output;
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
