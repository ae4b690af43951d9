// Many watchers: a zorv-panel process serves 50 live channels while a client
// switches a router 1,000 times a second for 10 seconds. Every channel must
// receive every revertive; the panel's CPU time and memory are reported.
//
//   build/bin/bench_panel            (counters: lost, panel_cpu_%, panel_rss_MiB, panel_peak_MiB)
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ClientThread.h"
#include "OrqHub.h"

extern char** environ;

namespace {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using namespace ZorvClientLibrary;

constexpr int watchers = 50;
constexpr int perSecond = 1000;
constexpr int seconds = 10;
constexpr int destinations = 100;

// The panel as a child process; its first line names its port.
class PanelProcess {
public:
    PanelProcess() {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        char* argv[] = {
            const_cast<char*>(ZORV_PANEL_PROGRAM), const_cast<char*>("--listen"), const_cast<char*>("127.0.0.1:0"),
            const_cast<char*>("--transport"),      const_cast<char*>("wm"),       nullptr};
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environ) != 0) throw std::runtime_error("spawn");
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        std::string line;
        char c;
        while (line.find('\n') == std::string::npos && read(out[0], &c, 1) == 1) line += c;  // ends with the child
        close(out[0]);
        const auto colon = line.rfind(':');
        if (colon == std::string::npos) throw std::runtime_error("zorv-panel printed no address");
        port_ = static_cast<unsigned short>(std::stoi(line.substr(colon + 1)));
    }
    ~PanelProcess() {
        kill(pid_, SIGTERM);
        int status;
        for (int i = 0; i < 500 && waitpid(pid_, &status, WNOHANG) == 0; ++i) usleep(10000);
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
    }
    unsigned short port() const { return port_; }
    // CPU seconds so far (user + system).
    double cpuSeconds() const {
        std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
        std::string text((std::istreambuf_iterator<char>(stat)), {});
        std::istringstream fields(text.substr(text.rfind(')') + 2));
        std::string field;
        unsigned long long utime = 0, stime = 0;
        for (int i = 3; i <= 15 && fields >> field; ++i) {
            if (i == 14) utime = std::stoull(field);
            if (i == 15) stime = std::stoull(field);
        }
        return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    // A line of /proc/pid/status in MiB (VmRSS, VmHWM).
    double memoryMiB(const std::string& key) const {
        std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind(key + ":", 0) == 0) return std::stod(line.substr(key.size() + 1)) / 1024.0;
        }
        return 0;
    }

private:
    pid_t pid_ = 0;
    unsigned short port_ = 0;
};

// One live channel that counts the router changes it receives.
class Watcher : public std::enable_shared_from_this<Watcher> {
public:
    explicit Watcher(net::io_context& io) : ws_(io) {}
    std::atomic<long> routed{0};
    std::atomic<bool> ready{false};  // the state with the hub connected has come

    void start(unsigned short port) {
        ws_.next_layer().connect({net::ip::make_address("127.0.0.1"), port});
        ws_.handshake("127.0.0.1:" + std::to_string(port), "/live");
        read();
    }

private:
    static long count(const std::string& text, std::size_t from, const std::string& what) {
        long n = 0;
        for (auto at = text.find(what, from); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }

    void read() {
        ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (error) return;
            const std::string frame = beast::buffers_to_string(self->buffer_.data());
            self->buffer_.consume(self->buffer_.size());
            // Counted from the state with the hub connected on: what came
            // before it (the panel reading the router) is not the load.
            std::size_t from = 0;
            if (!self->ready) {
                from = frame.find("\"hub\":true");
                self->ready = from != std::string::npos;
            }
            if (self->ready) self->routed += count(frame, from, "\"type\":\"router\"");
            self->read();
        });
    }

    websocket::stream<tcp::socket> ws_;
    beast::flat_buffer buffer_;
};

template <typename Done>
bool waitFor(Done done, std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

void BM_PanelManyWatchers(benchmark::State& state) {
    const auto facility = std::filesystem::temp_directory_path() / ("qx-bench-panel-" + std::to_string(getpid()));
    std::filesystem::create_directories(facility);
    std::ofstream(facility / "orq.ini") << "[Hub]\nHighestDevice=1\n";
    std::ofstream(facility / "dev_001.ini")
        << "[Device]\nType=router\nSources=16\nDestinations=" << destinations << "\n";
    orq::HubOptions options;
    options.configDirectory = facility.string();
    orq::OrqHub hub(options);
    if (!hub.start()) return state.SkipWithError("the hub did not start");

    for (auto _ : state) {
        PanelProcess panel;
        net::io_context io;
        std::vector<std::shared_ptr<Watcher>> channels;
        for (int i = 0; i < watchers; ++i) {
            channels.push_back(std::make_shared<Watcher>(io));
            channels.back()->start(panel.port());
        }
        std::thread ioThread([&io] { io.run(); });
        const bool ready = waitFor(
            [&] {
                return std::all_of(channels.begin(), channels.end(), [](const auto& w) { return w->ready.load(); });
            },
            std::chrono::seconds(20));

        // 1,000 commands a second, paced by the clock, each answered by a revertive.
        ClientThread driver;
        driver.call([](ZorvClient& c) { return c.connect(IpcType::wm); });
        const long total = static_cast<long>(perSecond) * seconds;
        const double cpuBefore = panel.cpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        std::atomic<long> sent{0};
        driver.every(1, [&](ZorvClient& c) {
            const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const long due = std::min(total, static_cast<long>(elapsed * perSecond));
            for (long i = sent; i < due; ++i) {
                c.routerCrosspoint(1, static_cast<uint>(1 + i % destinations),
                                   static_cast<int>(1 + (i / destinations) % 16), u",---", true);
            }
            sent = std::max(sent.load(), due);
        });
        const bool all = ready && waitFor(
                                      [&] {
                                          return std::all_of(channels.begin(), channels.end(),
                                                             [&](const auto& w) { return w->routed >= total; });
                                      },
                                      std::chrono::seconds(seconds + 20));
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const double cpu = panel.cpuSeconds() - cpuBefore;
        long lost = 0;
        for (const auto& w : channels) lost += std::max(0L, total - w->routed.load());
        state.counters["sent"] = static_cast<double>(sent);
        state.counters["lost"] = static_cast<double>(lost);
        state.counters["panel_cpu_%"] = 100.0 * cpu / wall;
        state.counters["panel_rss_MiB"] = panel.memoryMiB("VmRSS");
        state.counters["panel_peak_MiB"] = panel.memoryMiB("VmHWM");
        state.counters["seconds"] = wall;
        if (!all) state.SkipWithError("not every watcher received every revertive in time");
        driver.stop();
        io.stop();
        ioThread.join();
    }
    hub.stop();
    std::filesystem::remove_all(facility);
}
BENCHMARK(BM_PanelManyWatchers)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
