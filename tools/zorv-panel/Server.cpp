#include "Server.h"

#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>
#include <deque>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

namespace zorvpanel {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
using tcp = net::ip::tcp;
using Response = http::response<http::string_body>;

namespace {

constexpr std::size_t maxHeaderBytes = 8 * 1024;
constexpr auto idleTimeout = std::chrono::seconds(60);
// A page that does not take its changes is dropped rather than kept in memory.
constexpr std::size_t maxQueuedBytes = 16 * 1024 * 1024;

const char* contentType(const std::string& name) {
    const auto dot = name.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : name.substr(dot);
    if (ext == ".html") return "text/html; charset=utf-8";
    if (ext == ".css") return "text/css; charset=utf-8";
    if (ext == ".js") return "text/javascript; charset=utf-8";
    if (ext == ".png") return "image/png";
    if (ext == ".svg") return "image/svg+xml";
    if (ext == ".json") return "application/json";
    return "application/octet-stream";
}

// A file of the page: one plain name, no directories and no hidden files.
bool plainName(const std::string& name) {
    if (name.empty() || name[0] == '.') return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
               c == '_';
    });
}

bool readFile(const std::string& path, std::string& content) {
    std::ifstream file(path, std::ios::binary);
    if (!file) return false;
    std::ostringstream out;
    out << file.rdbuf();
    content = out.str();
    return true;
}

// A browser's request from another site carries its Origin: the panel's
// writes and live channel answer only pages it served itself.
template <typename Request>
bool foreignOrigin(const Request& request) {
    const auto origin = request.find(http::field::origin);
    if (origin == request.end()) return false;
    return origin->value() != "http://" + std::string(request[http::field::host]);
}

std::string errorJson(int status, const std::string& message) {
    return replyText(std::nullopt, Outcome::error(status, message));
}

}  // namespace

// ---------------------------------------------------------------- live channel

class LiveSession : public std::enable_shared_from_this<LiveSession> {
public:
    LiveSession(tcp::socket&& socket, Server& server)
        : ws_(std::move(socket)), server_(server), sessions_(server.sessions()) {}
    ~LiveSession() { sessions_->erase(this); }

    void run(http::request<http::string_body> request) {
        ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws_.read_message_max(maxMessageBytes);
        authorized_ = server_.options().token.empty();
        ws_.async_accept(request, [self = shared_from_this()](beast::error_code error) {
            if (!error) self->start();
        });
    }

    // Queues one frame; the frames go out in order.
    void send(std::shared_ptr<const std::string> frame) {
        queuedBytes_ += frame->size();
        if (queuedBytes_ > maxQueuedBytes) {  // too slow: it would hold the panel's memory
            beast::get_lowest_layer(ws_).close();
            return;
        }
        queue_.push_back(std::move(frame));
        if (queue_.size() == 1) write();
    }

private:
    void start() {
        server_.join(this);
        nlohmann::json hello = {{"type", "hello"},
                                {"authorized", authorized_},
                                {"tokenRequired", !server_.options().token.empty()},
                                {"readOnly", server_.options().readOnly}};
        send(std::make_shared<const std::string>("[" + hello.dump() + "," + server_.facility().snapshot() + "]"));
        read();
    }

    void read() {
        ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code error, std::size_t) {
            if (error) return;  // closed, timed out or too long: the session ends
            self->handle();
            self->read();
        });
    }

    void handle() {
        const std::string text = beast::buffers_to_string(buffer_.data());
        buffer_.consume(buffer_.size());
        if (!ws_.got_text()) return reply(std::nullopt, Outcome::error(400, "messages are JSON text"));
        const Parsed parsed = parseRequest(text);
        if (!parsed.request) return reply(parsed.id, Outcome::error(400, parsed.error));
        const Request& request = *parsed.request;
        if (request.op == Op::auth) {
            authorized_ = server_.options().token.empty() || server_.tokenMatches(request.text);
            return reply(request.id, authorized_ ? Outcome::ok() : Outcome::error(403, "wrong token"));
        }
        if (server_.options().readOnly) return reply(request.id, Outcome::error(403, "the panel is read-only"));
        if (!authorized_) return reply(request.id, Outcome::error(403, "writes need the token"));
        server_.apply(request,
                      [self = shared_from_this(), id = request.id](Outcome outcome) { self->reply(id, outcome); });
    }

    void reply(const std::optional<std::int64_t>& id, const Outcome& outcome) {
        send(std::make_shared<const std::string>("[" + replyText(id, outcome) + "]"));
    }

    void write() {
        ws_.text(true);
        ws_.async_write(net::buffer(*queue_.front()),
                        [self = shared_from_this()](beast::error_code error, std::size_t) {
                            if (error) return;
                            self->queuedBytes_ -= self->queue_.front()->size();
                            self->queue_.pop_front();
                            if (!self->queue_.empty()) self->write();
                        });
    }

    websocket::stream<beast::tcp_stream> ws_;
    Server& server_;  // used only while the io_context runs, never in the destructor
    Server::Sessions sessions_;
    beast::flat_buffer buffer_;
    std::deque<std::shared_ptr<const std::string>> queue_;
    std::size_t queuedBytes_ = 0;
    bool authorized_ = false;
};

// ---------------------------------------------------------------- HTTP

class HttpSession : public std::enable_shared_from_this<HttpSession> {
public:
    HttpSession(tcp::socket&& socket, Server& server) : stream_(std::move(socket)), server_(server) {}

    void read() {
        parser_.emplace();
        parser_->header_limit(maxHeaderBytes);
        parser_->body_limit(maxMessageBytes);
        stream_.expires_after(idleTimeout);
        http::async_read(stream_, buffer_, *parser_,
                         [self = shared_from_this()](beast::error_code error, std::size_t) { self->onRead(error); });
    }

private:
    void onRead(beast::error_code error) {
        if (error == http::error::end_of_stream || error == beast::error::timeout || error == net::error::eof ||
            error == net::error::connection_reset) {
            return close();
        }
        if (error == http::error::body_limit) return fail(http::status::payload_too_large, "body too large");
        if (error == http::error::header_limit) {
            return fail(http::status::request_header_fields_too_large, "header too large");
        }
        if (error) return fail(http::status::bad_request, "malformed request");
        request_ = parser_->release();
        route();
    }

    void route() {
        const std::string target(request_.target());
        const std::string path = target.substr(0, target.find('?'));
        if (path == "/live") {
            if (!websocket::is_upgrade(request_)) return answer(http::status::bad_request, "expected a WebSocket");
            if (foreignOrigin(request_)) return answer(http::status::forbidden, "foreign origin");
            std::make_shared<LiveSession>(stream_.release_socket(), server_)->run(std::move(request_));
            return;
        }
        if (path == "/api/command") return command();
        if (request_.method() != http::verb::get && request_.method() != http::verb::head) {
            return answer(http::status::method_not_allowed, "method not allowed");
        }
        if (path == "/api/state") return respond(http::status::ok, server_.facility().snapshot(), "application/json");
        staticFile(path == "/" ? "index.html" : path.substr(1));
    }

    void command() {
        if (request_.method() != http::verb::post) return answer(http::status::method_not_allowed, "use POST");
        if (foreignOrigin(request_)) return answer(http::status::forbidden, "foreign origin");
        const Parsed parsed = parseRequest(request_.body());
        if (!parsed.request) return answer(http::status::bad_request, parsed.error);
        if (server_.options().readOnly) return answer(http::status::forbidden, "the panel is read-only");
        const std::string bearer = "Bearer ";
        const std::string authorization(request_[http::field::authorization]);
        const bool tokenGiven = authorization.rfind(bearer, 0) == 0;
        if (!server_.options().token.empty() &&
            !(tokenGiven && server_.tokenMatches(authorization.substr(bearer.size())))) {
            return answer(http::status::forbidden, "writes need the token");
        }
        if (parsed.request->op == Op::auth) return answer(http::status::ok, "");
        server_.apply(*parsed.request, [self = shared_from_this(), id = parsed.id](Outcome outcome) {
            self->respond(static_cast<http::status>(outcome.status), replyText(id, outcome), "application/json");
        });
    }

    void staticFile(const std::string& name) {
        std::string content;
        if (!plainName(name) || !readFile(server_.options().webRoot + "/" + name, content)) {
            return answer(http::status::not_found, "not found");
        }
        respond(http::status::ok, std::move(content), contentType(name));
    }

    void answer(http::status status, const std::string& message) {
        if (status == http::status::ok)
            return respond(status, replyText(std::nullopt, Outcome::ok()), "application/json");
        respond(status, errorJson(static_cast<int>(status), message), "application/json");
    }

    void respond(http::status status, std::string body, const char* type) {
        auto response = std::make_shared<Response>(status, request_.version());
        response->set(http::field::server, "zorv-panel");
        response->set(http::field::content_type, type);
        response->set(http::field::cache_control, "no-store");
        response->keep_alive(request_.keep_alive());
        if (request_.method() != http::verb::head) response->body() = std::move(body);
        response->prepare_payload();
        stream_.expires_after(idleTimeout);
        http::async_write(stream_, *response,
                          [self = shared_from_this(), response](beast::error_code error, std::size_t) {
                              if (error || !response->keep_alive()) return self->close();
                              self->read();
                          });
    }

    // A request the parser refused: answered, then the connection closes.
    void fail(http::status status, const std::string& message) {
        request_ = {};
        request_.version(11);
        request_.keep_alive(false);
        answer(status, message);
    }

    void close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    }

    beast::tcp_stream stream_;
    Server& server_;
    beast::flat_buffer buffer_{maxHeaderBytes + maxMessageBytes};
    std::optional<http::request_parser<http::string_body>> parser_;
    http::request<http::string_body> request_;
};

// ---------------------------------------------------------------- server

Server::Server(net::io_context& io, const ServerOptions& options, Facility& facility,
               ZorvClientLibrary::ClientThread& client)
    : io_(io), options_(options), facility_(facility), client_(client), acceptor_(io, options.listen) {}

Server::~Server() = default;

unsigned short Server::port() const {
    return acceptor_.local_endpoint().port();
}

void Server::start() {
    accept();
}

void Server::accept() {
    acceptor_.async_accept([this](beast::error_code error, tcp::socket socket) {
        if (!error) std::make_shared<HttpSession>(std::move(socket), *this)->read();
        accept();
    });
}

bool Server::tokenMatches(const std::string& token) const {
    // Compares every byte, so that the time taken tells nothing.
    const std::string& expected = options_.token;
    if (expected.empty()) return false;
    unsigned char difference = token.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < token.size(); ++i) {
        difference |= static_cast<unsigned char>(token[i] ^ expected[i % expected.size()]);
    }
    return difference == 0;
}

void Server::join(LiveSession* session) {
    sessions_->insert(session);
}

void Server::apply(const Request& request, std::function<void(Outcome)> done) {
    const bool queued = client_.post([this, request, done](ZorvClientLibrary::ZorvClient& client) {
        Outcome outcome = facility_.apply(client, request);
        net::post(io_, [done, outcome] { done(outcome); });
    });
    if (!queued) done(Outcome::error(503, "the panel is stopping"));
}

void Server::publish(std::string message) {
    net::post(io_, [this, message = std::move(message)]() mutable {
        pending_.push_back(std::move(message));
        if (flushQueued_) return;
        flushQueued_ = true;
        net::post(io_, [this] { flush(); });
    });
}

void Server::flush() {
    flushQueued_ = false;
    std::string frame = "[";
    for (std::size_t i = 0; i < pending_.size(); ++i) {
        if (i > 0) frame += ',';
        frame += pending_[i];
    }
    frame += ']';
    pending_.clear();
    const auto shared = std::make_shared<const std::string>(std::move(frame));
    // A send may end a session (too slow): iterate over a copy.
    for (LiveSession* session : std::vector<LiveSession*>(sessions_->begin(), sessions_->end())) {
        if (sessions_->count(session) != 0) session->send(shared);
    }
}

}  // namespace zorvpanel
