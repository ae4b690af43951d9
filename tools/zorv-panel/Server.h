// The panel's web server: the page's static files, the facility as JSON
// (GET /api/state), writes over HTTP (POST /api/command) and the live channel
// (a WebSocket at /live). It runs on one thread, the one that runs its
// io_context; writes go to the client's thread and their answers come back.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ClientThread.h"
#include "Facility.h"

namespace zorvpanel {

class LiveSession;

struct ServerOptions {
    boost::asio::ip::tcp::endpoint listen;
    std::string webRoot;  // the page's files
    std::string token;    // empty: writes need none
    bool readOnly = false;
};

class Server {
public:
    // Binds the listening socket (throws when it cannot).
    Server(boost::asio::io_context& io, const ServerOptions& options, Facility& facility,
           ZorvClientLibrary::ClientThread& client);
    ~Server();

    unsigned short port() const;
    void start();
    // Hands a change to every live page; from any thread. Changes are sent in
    // the order they come, several to a frame when they come together.
    void publish(std::string message);

    // For the sessions (on the server's thread).
    const ServerOptions& options() const { return options_; }
    bool tokenMatches(const std::string& token) const;
    void join(LiveSession* session);
    // The live pages, shared with each of them: a page may end after the
    // server, when the io_context drops its handlers.
    using Sessions = std::shared_ptr<std::set<LiveSession*>>;
    const Sessions& sessions() const { return sessions_; }
    // Carries out a write on the client's thread; `done` runs on the server's thread.
    void apply(const Request& request, std::function<void(Outcome)> done);
    Facility& facility() { return facility_; }

private:
    void accept();
    void flush();

    boost::asio::io_context& io_;
    ServerOptions options_;
    Facility& facility_;
    ZorvClientLibrary::ClientThread& client_;
    boost::asio::ip::tcp::acceptor acceptor_;
    Sessions sessions_ = std::make_shared<std::set<LiveSession*>>();  // each leaves as it ends
    std::vector<std::string> pending_;                                // changes not yet sent
    bool flushQueued_ = false;
};

}  // namespace zorvpanel
