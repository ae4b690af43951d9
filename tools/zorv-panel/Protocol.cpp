#include "Protocol.h"

#include <nlohmann/json.hpp>

namespace zorvpanel {

using nlohmann::json;

namespace {

constexpr int maxDepth = 8;

// A request is flat; deeper nesting is refused before the parser sees it.
bool nestedTooDeep(std::string_view text) {
    int depth = 0;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (inString) {
            if (c == '\\')
                ++i;
            else if (c == '"')
                inString = false;
        } else if (c == '"') {
            inString = true;
        } else if (c == '[' || c == '{') {
            if (++depth > maxDepth) return true;
        } else if (c == ']' || c == '}') {
            --depth;
        }
    }
    return false;
}

struct Invalid {
    std::string message;
};

const json& field(const json& object, const char* name) {
    const auto found = object.find(name);
    if (found == object.end()) throw Invalid{std::string("missing \"") + name + "\""};
    return *found;
}

std::int64_t integer(const json& object, const char* name, std::int64_t low, std::int64_t high) {
    const json& value = field(object, name);
    if (!value.is_number_integer()) throw Invalid{std::string("\"") + name + "\" is not an integer"};
    if (value.is_number_unsigned() && value.get<std::uint64_t>() > static_cast<std::uint64_t>(high)) {
        throw Invalid{std::string("\"") + name + "\" out of range"};
    }
    const auto number = value.get<std::int64_t>();
    if (number < low || number > high) throw Invalid{std::string("\"") + name + "\" out of range"};
    return number;
}

bool boolean(const json& object, const char* name) {
    const json& value = field(object, name);
    if (!value.is_boolean()) throw Invalid{std::string("\"") + name + "\" is not true or false"};
    return value.get<bool>();
}

std::string text(const json& object, const char* name) {
    const json& value = field(object, name);
    if (!value.is_string()) throw Invalid{std::string("\"") + name + "\" is not a text"};
    std::string result = value.get<std::string>();
    if (result.size() > maxTextBytes) throw Invalid{std::string("\"") + name + "\" is too long"};
    return result;
}

std::uint32_t number(const json& object, const char* name, std::uint32_t low = 1) {
    return static_cast<std::uint32_t>(integer(object, name, low, maxNumber));
}

std::vector<Take> takes(const json& object) {
    const json& list = field(object, "takes");
    if (!list.is_array() || list.empty() || list.size() > maxSalvoTakes) {
        throw Invalid{"\"takes\" must list 1 to " + std::to_string(maxSalvoTakes) + " crosspoints"};
    }
    std::vector<Take> result;
    for (const json& take : list) {
        if (!take.is_object()) throw Invalid{"a take is not an object"};
        result.push_back({number(take, "dest"), static_cast<std::int32_t>(number(take, "source", 0))});
    }
    return result;
}

Request read(const json& message) {
    Request request;
    const std::string op = text(message, "op");
    if (op == "auth") {
        request.op = Op::auth;
        request.text = text(message, "token");
        return request;
    }
    request.device = number(message, "device");
    if (op == "take") {
        request.op = Op::take;
        request.index = number(message, "dest");
        request.source = static_cast<std::int32_t>(number(message, "source", 0));
    } else if (op == "salvo") {
        request.op = Op::salvo;
        request.takes = takes(message);
    } else if (op == "lock") {
        request.op = Op::lock;
        request.index = number(message, "dest");
        request.flag = boolean(message, "lock");
    } else if (op == "info") {
        request.op = Op::info;
        request.index = number(message, "slot");
        request.text = text(message, "text");
    } else if (op == "gpi") {
        request.op = Op::gpi;
        request.index = number(message, "index");
        request.flag = boolean(message, "state");
    } else {
        throw Invalid{"unknown op \"" + op + "\""};
    }
    return request;
}

}  // namespace

Parsed parseRequest(std::string_view input) {
    Parsed parsed;
    if (input.size() > maxMessageBytes) {
        parsed.error = "message too long";
        return parsed;
    }
    if (nestedTooDeep(input)) {
        parsed.error = "nested too deep";
        return parsed;
    }
    const json message = json::parse(input.begin(), input.end(), nullptr, false);
    if (message.is_discarded() || !message.is_object()) {
        parsed.error = "not a JSON object";
        return parsed;
    }
    try {
        if (message.contains("id")) parsed.id = integer(message, "id", INT64_MIN, INT64_MAX);
        parsed.request = read(message);
        parsed.request->id = parsed.id;
    } catch (const Invalid& invalid) {
        parsed.request.reset();
        parsed.error = invalid.message;
    }
    return parsed;
}

std::string replyText(const std::optional<std::int64_t>& id, const Outcome& outcome) {
    json reply = {{"type", outcome.status == 200 ? "ok" : "error"}};
    if (id) reply["id"] = *id;
    if (outcome.status != 200) {
        reply["status"] = outcome.status;
        reply["message"] = outcome.message;
    }
    return reply.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace zorvpanel
