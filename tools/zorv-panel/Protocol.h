// The panel's live channel: the requests a page sends (one JSON object per
// WebSocket message, or the body of POST /api/command) and the messages the
// panel sends back (a JSON array of messages per WebSocket frame).
//
// Requests, each with an optional "id" (a number the reply repeats):
//   {"op":"auth","token":"..."}                              writes need it when the panel has a token
//   {"op":"take","device":1,"dest":5,"source":7}             switch a crosspoint at once
//   {"op":"salvo","device":1,"takes":[{"dest":5,"source":7},...]}  held, then released together
//   {"op":"lock","device":1,"dest":5,"lock":true}            lock or unlock a destination (or slot, GPI)
//   {"op":"info","device":2,"slot":3,"text":"On air"}        write an infodriver slot
//   {"op":"gpi","device":3,"index":4,"state":true}           switch a GPI
// Replies: {"type":"ok","id":..} or {"type":"error","id":..,"status":400|403|404|503,"message":".."}.
// Changes, to every page: "state" (the whole facility, on joining and after
// the hub comes back), "router", "info", "gpi", "lock", "names" and "hub".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvpanel {

// Bounds of what a request may carry.
constexpr std::size_t maxMessageBytes = 64 * 1024;
constexpr std::size_t maxSalvoTakes = 1024;
constexpr std::size_t maxTextBytes = 255;
constexpr std::uint32_t maxNumber = 65535;  // devices, indexes and sources

enum class Op { auth, take, salvo, lock, info, gpi };

struct Take {
    std::uint32_t dest = 0;
    std::int32_t source = 0;
};

struct Request {
    Op op = Op::auth;
    std::optional<std::int64_t> id;
    std::uint32_t device = 0;
    std::uint32_t index = 0;  // dest, slot or GPI index
    std::int32_t source = 0;  // take
    bool flag = false;        // lock, gpi state
    std::string text;         // info text, auth token
    std::vector<Take> takes;  // salvo
};

// The answer to a request: status 200 when done, else an HTTP-like status
// and a message.
struct Outcome {
    int status = 200;
    std::string message;
    static Outcome ok() { return {}; }
    static Outcome error(int status, std::string message) { return {status, std::move(message)}; }
};

struct Parsed {
    std::optional<Request> request;  // empty: malformed
    std::optional<std::int64_t> id;  // the id, when one could be read
    std::string error;               // why it is malformed
};

// Reads one request; never throws.
Parsed parseRequest(std::string_view text);

// True for the requests that change the facility.
inline bool isWrite(Op op) {
    return op != Op::auth;
}

// The reply to a request as a JSON object (no array around it).
std::string replyText(const std::optional<std::int64_t>& id, const Outcome& outcome);

}  // namespace zorvpanel
