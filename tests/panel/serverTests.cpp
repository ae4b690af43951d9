// The panel's server against an embedded hub: bad input of every kind gets an
// error and the server goes on, writes need the token, and every page sees
// every change and the hub going and coming back.
#include <gtest/gtest.h>

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/read.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <deque>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "ClientThread.h"
#include "Facility.h"
#include "OrqHub.h"
#include "Server.h"
#include "TempDir.h"

namespace zorvpanel {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using nlohmann::json;

constexpr char token[] = "s3cret";

// A page's live channel. Each read waits at most 5 s; the messages of a
// frame are handed out one by one.
class Page {
public:
    explicit Page(unsigned short port) : ws_(io_) {
        ws_.next_layer().connect({net::ip::make_address("127.0.0.1"), port});
        ws_.handshake("127.0.0.1:" + std::to_string(port), "/live");
    }
    void send(const std::string& text, bool binary = false) {
        ws_.binary(binary);
        ws_.write(net::buffer(text));
    }
    // Reads messages until one satisfies `wanted`; throws when none comes in time.
    json until(const std::function<bool(const json&)>& wanted) {
        for (;;) {
            if (pending_.empty()) readFrame();
            const json message = pending_.front();
            pending_.pop_front();
            if (wanted(message)) return message;
        }
    }
    json reply(int id) {
        return until([id](const json& m) { return m.value("id", -1) == id; });
    }
    websocket::close_code closeCode() const { return static_cast<websocket::close_code>(ws_.reason().code); }

private:
    void readFrame() {
        beast::flat_buffer buffer;
        beast::error_code error;
        bool done = false;
        ws_.async_read(buffer, [&](beast::error_code e, std::size_t) {
            error = e;
            done = true;
        });
        io_.restart();
        io_.run_for(std::chrono::seconds(5));
        if (!done) {
            ws_.next_layer().close();  // ends the read before its buffer goes
            io_.restart();
            io_.run();
            throw std::runtime_error("no message within 5 s");
        }
        if (error) throw beast::system_error(error);
        for (const json& message : json::parse(beast::buffers_to_string(buffer.data()))) pending_.push_back(message);
    }

    net::io_context io_;
    websocket::stream<tcp::socket> ws_;
    std::deque<json> pending_;
};

auto ofType(const std::string& type) {
    return [type](const json& m) { return m["type"] == type; };
}

class PanelServer : public ::testing::Test {
protected:
    qxtest::TempDir files{"qx-panel-"};
    orq::OrqHub hub{hubOptions()};
    net::io_context io;
    std::atomic<Server*> server{nullptr};
    Facility facility{{IpcType::wm, 8, 7, false}, [this](std::string message) {
                          if (Server* s = server.load()) s->publish(std::move(message));
                      }};
    ZorvClientLibrary::ClientThread client{[this](ZorvClient& c) { facility.attach(c); }};
    std::unique_ptr<Server> web;
    std::thread ioThread;

    orq::HubOptions hubOptions() {
        for (const auto& entry : std::filesystem::directory_iterator(ZORV_FACILITY_DIR)) {
            std::filesystem::copy_file(entry.path(), files.host() / entry.path().filename());
        }
        orq::HubOptions options;
        options.configDirectory = files.win();
        return options;
    }

    void SetUp() override {
        ASSERT_TRUE(hub.start());
        ServerOptions options;
        options.listen = {net::ip::make_address("127.0.0.1"), 0};
        options.webRoot = ZORV_PANEL_SOURCE_WEB;
        options.token = token;
        web = std::make_unique<Server>(io, options, facility, client);
        server = web.get();
        web->start();
        client.every(20, [this](ZorvClient& c) { facility.tick(c); });
        ioThread = std::thread([this] {
            auto work = net::make_work_guard(io);
            io.run();
        });
    }
    void TearDown() override {
        server = nullptr;
        client.stop();
        io.stop();
        ioThread.join();
    }

    unsigned short port() const { return web->port(); }

    // Sends bytes as they are and returns the answer's status line; the
    // server must answer and close within 5 s.
    std::string raw(const std::string& bytes) {
        net::io_context local;
        tcp::socket socket(local);
        socket.connect({net::ip::make_address("127.0.0.1"), port()});
        net::write(socket, net::buffer(bytes));
        std::string answer;
        bool closed = false;
        net::async_read(socket, net::dynamic_buffer(answer), [&](beast::error_code, std::size_t) { closed = true; });
        local.run_for(std::chrono::seconds(5));
        if (!closed) {
            socket.close();
            local.restart();
            local.run();
            return "no answer and close within 5 s: " + answer.substr(0, answer.find("\r\n"));
        }
        return answer.substr(0, answer.find("\r\n"));
    }

    // A write over HTTP; the answer's status.
    int command(const std::string& body, const std::string& authorization = "") {
        std::string request = "POST /api/command HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n";
        if (!authorization.empty()) request += "Authorization: " + authorization + "\r\n";
        request += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
        return std::stoi(raw(request).substr(9, 3));
    }

    // The crosspoint of router 1's destination as the panel shows it, once
    // the hub is connected and the state has arrived.
    int crosspoint(int dest) {
        Page page(port());
        const json state = page.until([](const json& m) { return m["type"] == "state" && m["hub"] == true; });
        return state["devices"][0]["crosspoints"][dest - 1];
    }
};

TEST_F(PanelServer, BadHttpRequestsGetErrorsAndTheServerGoesOn) {
    const std::pair<std::string, const char*> cases[] = {
        {"GARBAGE\r\n\r\n", "HTTP/1.1 400 Bad Request"},
        {"GET / HTTP/9.9\r\n\r\n", "HTTP/1.1 400 Bad Request"},
        {"GET /nothing HTTP/1.1\r\nConnection: close\r\n\r\n", "HTTP/1.1 404 Not Found"},
        {"GET /../CMakeLists.txt HTTP/1.1\r\nConnection: close\r\n\r\n", "HTTP/1.1 404 Not Found"},
        {"GET /.hidden HTTP/1.1\r\nConnection: close\r\n\r\n", "HTTP/1.1 404 Not Found"},
        {"DELETE / HTTP/1.1\r\nConnection: close\r\n\r\n", "HTTP/1.1 405 Method Not Allowed"},
        {"GET /api/command HTTP/1.1\r\nConnection: close\r\n\r\n", "HTTP/1.1 405 Method Not Allowed"},
        {"GET /live HTTP/1.1\r\nConnection: close\r\n\r\n", "HTTP/1.1 400 Bad Request"},
        {"POST /api/command HTTP/1.1\r\nContent-Length: 100000\r\n\r\n", "HTTP/1.1 413 Payload Too Large"},
        {"GET / HTTP/1.1\r\nX: " + std::string(10000, 'x') + "\r\n\r\n",
         "HTTP/1.1 431 Request Header Fields Too Large"},
        {"POST /api/command HTTP/1.1\r\nHost: a:1\r\nOrigin: http://evil\r\nConnection: close\r\nContent-Length: "
         "2\r\n\r\n{}",
         "HTTP/1.1 403 Forbidden"},
    };
    for (const auto& [request, status] : cases) EXPECT_EQ(raw(request), status) << request.substr(0, 60);
    EXPECT_EQ(raw("GET / HTTP/1.1\r\nConnection: close\r\n\r\n"), "HTTP/1.1 200 OK");
    EXPECT_EQ(raw("GET /panel.js HTTP/1.1\r\nConnection: close\r\n\r\n"), "HTTP/1.1 200 OK");
}

TEST_F(PanelServer, WritesWithoutTheTokenAreRefusedAndChangeNothing) {
    const std::string take = R"({"op":"take","device":1,"dest":6,"source":3})";
    EXPECT_EQ(command(take), 403);
    EXPECT_EQ(command(take, "Bearer wrong"), 403);
    EXPECT_EQ(command("not json", "Bearer wrong"), 400);
    Page page(port());
    page.send(R"({"op":"take","device":1,"dest":6,"source":3,"id":1})");
    EXPECT_EQ(page.reply(1)["status"], 403);
    page.send(R"({"op":"auth","token":"guess","id":2})");
    EXPECT_EQ(page.reply(2)["status"], 403);
    EXPECT_EQ(crosspoint(6), 0);

    EXPECT_EQ(command(take, std::string("Bearer ") + token), 200);
    page.until([](const json& m) { return m["type"] == "router" && m["dest"] == 6 && m["source"] == 3; });
    page.send(std::string(R"({"op":"auth","id":3,"token":")") + token + "\"}");
    EXPECT_EQ(page.reply(3)["type"], "ok");
    page.send(R"({"op":"take","device":1,"dest":6,"source":4,"id":4})");
    EXPECT_EQ(page.reply(4)["type"], "ok");
}

TEST_F(PanelServer, MalformedLiveMessagesAndUnknownDevicesGetErrors) {
    Page page(port());
    page.send(std::string(R"({"op":"auth","id":1,"token":")") + token + "\"}");
    page.until([](const json& m) { return m["type"] == "state" && m["hub"] == true; });
    const std::pair<std::string, int> cases[] = {
        {R"({"op":"take","id":10,"device":9,"dest":1,"source":1})", 404},
        {R"({"op":"take","id":11,"device":1,"dest":99,"source":1})", 400},
        {R"({"op":"take","id":12,"device":1,"dest":1,"source":99})", 400},
        {R"({"op":"info","id":13,"device":1,"slot":1,"text":"x"})", 400},
        {R"({"op":"gpi","id":14,"device":2,"index":1,"state":true})", 400},
        {R"({"op":"salvo","id":15,"device":1,"takes":[{"dest":1,"source":2},{"dest":9,"source":2}]})", 400},
        {R"({"op":"nonsense","id":16})", 400},
    };
    for (const auto& [text, status] : cases) {
        page.send(text);
        const json reply = page.reply(json::parse(text)["id"]);
        EXPECT_EQ(reply["status"], status) << text << " " << reply.dump();
    }
    page.send("{not json");
    EXPECT_EQ(page.until(ofType("error"))["status"], 400);
    page.send(R"({"op":"auth","token":"x"})", true);
    EXPECT_EQ(page.until(ofType("error"))["message"], "messages are JSON text");
    page.send(R"({"op":"take","id":20,"device":1,"dest":1,"source":2})");  // the channel still works
    EXPECT_EQ(page.reply(20)["type"], "ok");
}

TEST_F(PanelServer, AnOversizedLiveMessageClosesTheChannelAsTooBig) {
    Page page(port());
    page.until(ofType("state"));
    page.send(std::string(maxMessageBytes + 1, ' '));
    try {
        page.until([](const json&) { return false; });
        FAIL() << "the channel stayed open";
    } catch (const beast::system_error& error) {
        EXPECT_EQ(error.code(), websocket::error::closed);
        EXPECT_EQ(page.closeCode(), websocket::close_code::too_big);
    }
    EXPECT_EQ(crosspoint(1), 1);  // the server goes on
}

TEST_F(PanelServer, EveryPageSeesEveryChangeFromThePanelAndFromOtherClients) {
    Page first(port()), second(port());
    first.send(std::string(R"({"op":"auth","id":1,"token":")") + token + "\"}");
    first.until([](const json& m) { return m["type"] == "state" && m["hub"] == true; });
    second.until([](const json& m) { return m["type"] == "state" && m["hub"] == true; });
    auto routed = [](int dest, int source) {
        return [=](const json& m) { return m["type"] == "router" && m["dest"] == dest && m["source"] == source; };
    };
    first.send(R"({"op":"salvo","device":1,"takes":[{"dest":7,"source":9},{"dest":8,"source":16}]})");
    for (Page* page : {&first, &second}) {
        page->until(routed(7, 9));
        page->until(routed(8, 16));
    }
    first.send(R"({"op":"lock","device":1,"dest":7,"lock":true})");
    EXPECT_EQ(second.until(ofType("lock"))["workstation"], 7);

    ZorvClientLibrary::ClientThread other;  // another program of the session
    other.call([](ZorvClient& c) {
        c.connect(IpcType::zel);
        c.infoWrite(2, 3, u"from elsewhere", true);
        c.gpiSwitch(3, 2, true, true);
    });
    for (Page* page : {&first, &second}) {
        EXPECT_EQ(page->until(ofType("info"))["text"], "from elsewhere");
        EXPECT_EQ(page->until(ofType("gpi"))["index"], 2);
    }
}

TEST_F(PanelServer, PagesHearTheHubGoAndComeBack) {
    Page page(port());
    page.until([](const json& m) { return m["type"] == "state" && m["hub"] == true; });
    hub.stop();
    page.until([](const json& m) { return m["type"] == "hub" && m["connected"] == false; });
    page.send(R"({"op":"auth","id":1,"token":"s3cret"})");
    page.reply(1);
    page.send(R"({"op":"take","id":2,"device":1,"dest":1,"source":2})");
    EXPECT_EQ(page.reply(2)["status"], 503);
    ASSERT_TRUE(hub.start());
    const json state = page.until([](const json& m) { return m["type"] == "state" && m["hub"] == true; });
    EXPECT_EQ(state["devices"].size(), 3u);
}

}  // namespace
}  // namespace zorvpanel
