// zorv-panel: the facility in a browser. A client of the session's hub, on a
// thread of its own, and a web server that serves the page and a live
// channel to every page that is open.
#include <CLI/CLI.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/asio/signal_set.hpp>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "ClientThread.h"
#include "Facility.h"
#include "Server.h"
#include "qxConfig.h"
#include "zorvVersion.h"

namespace {

namespace net = boost::asio;
using namespace zorvpanel;

// How often the panel checks that the hub is still there.
constexpr DWORD connectionCheckMs = 250;

struct Arguments {
    std::string listen = "127.0.0.1:8080";
    bool readOnly = false;
    std::string tokenFile;
    std::string transport = "zel";
    std::string webRoot;
    unsigned highestDevice = 64;
};

// host:port, the host an IP address.
bool endpoint(const std::string& text, net::ip::tcp::endpoint& result) {
    const auto colon = text.rfind(':');
    if (colon == std::string::npos) return false;
    boost::system::error_code error;
    const auto address = net::ip::make_address(text.substr(0, colon), error);
    if (error) return false;
    try {
        const unsigned long port = std::stoul(text.substr(colon + 1));
        if (port > 65535) return false;
        result = {address, static_cast<unsigned short>(port)};
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// The token: the file's first line, without blanks around it.
bool readToken(const std::string& path, std::string& token) {
    std::ifstream file(path);
    if (!file || !std::getline(file, token)) return false;
    const auto first = token.find_first_not_of(" \t\r");
    const auto last = token.find_last_not_of(" \t\r");
    token = first == std::string::npos ? "" : token.substr(first, last - first + 1);
    return !token.empty();
}

// The page: --web, else installed beside the program (../share/zorv/panel),
// else the source tree's copy.
std::string webRoot(const std::string& given, const char* program) {
    if (!given.empty()) return given;
    std::error_code error;
    const auto self = std::filesystem::canonical("/proc/self/exe", error);
    const auto installed = (error ? std::filesystem::path(program) : self).parent_path() / "../share/zorv/panel";
    if (std::filesystem::exists(installed / "index.html", error)) return installed.lexically_normal().string();
    return ZORV_PANEL_SOURCE_WEB;
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    CLI::App app{"zorv-panel: the facility in a browser, a client of the session's hub"};
    app.set_version_flag("--version", std::string("zorv-panel ") + ZORV_VERSION);
    app.add_option("--listen", args.listen, "address:port to serve (port 0: any free one)")->capture_default_str();
    app.add_flag("--read-only", args.readOnly, "refuse every write");
    app.add_option("--token-file", args.tokenFile, "writes need the token in this file's first line");
    app.add_option("--transport", args.transport, "wm or zel")
        ->check(CLI::IsMember({"wm", "zel"}))
        ->capture_default_str();
    app.add_option("--web", args.webRoot, "directory of the page's files");
    app.add_option("--highest-device", args.highestDevice, "devices 1..N are looked for")
        ->check(CLI::Range(1u, 65535u))
        ->capture_default_str();
    CLI11_PARSE(app, argc, argv);

    ServerOptions serverOptions;
    if (!endpoint(args.listen, serverOptions.listen)) {
        std::fprintf(stderr, "zorv-panel: --listen wants address:port, not '%s'\n", args.listen.c_str());
        return 1;
    }
    if (!args.tokenFile.empty() && !readToken(args.tokenFile, serverOptions.token)) {
        std::fprintf(stderr, "zorv-panel: no token in '%s'\n", args.tokenFile.c_str());
        return 1;
    }
    serverOptions.readOnly = args.readOnly;
    serverOptions.webRoot = webRoot(args.webRoot, argv[0]);

    Facility::Options facilityOptions;
    facilityOptions.transport = args.transport == "wm" ? IpcType::wm : IpcType::zel;
    facilityOptions.highestDevice = args.highestDevice;
    facilityOptions.workstation = qxConfig::workstation();
    facilityOptions.readOnly = args.readOnly;

    net::io_context io(1);
    std::atomic<Server*> server{nullptr};
    Facility facility(facilityOptions, [&server](std::string message) {
        if (Server* web = server.load()) web->publish(std::move(message));
    });
    ZorvClientLibrary::ClientThread client([&facility](ZorvClientLibrary::ZorvClient& c) { facility.attach(c); });
    std::unique_ptr<Server> web;
    try {
        web = std::make_unique<Server>(io, serverOptions, facility, client);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zorv-panel: cannot listen on %s: %s\n", args.listen.c_str(), error.what());
        return 1;
    }
    server = web.get();
    web->start();
    client.post([&facility](ZorvClientLibrary::ZorvClient& c) { facility.tick(c); });
    client.every(connectionCheckMs, [&facility](ZorvClientLibrary::ZorvClient& c) { facility.tick(c); });

    net::signal_set signals(io, SIGINT, SIGTERM);
    signals.async_wait([&io](const boost::system::error_code&, int) { io.stop(); });
    std::printf("zorv-panel: serving http://%s:%u/%s\n", serverOptions.listen.address().to_string().c_str(),
                web->port(), serverOptions.readOnly ? " (read-only)" : "");
    std::fflush(stdout);
    io.run();

    server = nullptr;
    client.stop();  // the client leaves the hub on its own thread
    return 0;
}
