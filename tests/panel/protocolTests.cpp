// The live channel's requests: what a page may send, and what is refused.
#include <gtest/gtest.h>

#include "Protocol.h"

namespace zorvpanel {
namespace {

struct Valid {
    const char* text;
    Op op;
    std::uint32_t device, index;
    std::int32_t source;
    bool flag;
    std::string string;
};

TEST(Protocol, ValidRequestsAreRead) {
    const Valid cases[] = {
        {R"({"op":"auth","token":"s3cret"})", Op::auth, 0, 0, 0, false, "s3cret"},
        {R"({"op":"take","device":1,"dest":5,"source":7,"id":9})", Op::take, 1, 5, 7, false, ""},
        {R"({"op":"take","device":65535,"dest":1,"source":0})", Op::take, 65535, 1, 0, false, ""},
        {R"({"op":"lock","device":1,"dest":2,"lock":true})", Op::lock, 1, 2, 0, true, ""},
        {R"({"op":"info","device":2,"slot":3,"text":"caf\u00e9"})", Op::info, 2, 3, 0, false, "caf\xC3\xA9"},
        {R"({"op":"gpi","device":3,"index":4,"state":false,"extra":[1]})", Op::gpi, 3, 4, 0, false, ""},
    };
    for (const Valid& c : cases) {
        const Parsed parsed = parseRequest(c.text);
        ASSERT_TRUE(parsed.request) << c.text << ": " << parsed.error;
        const Request& r = *parsed.request;
        EXPECT_EQ(r.op, c.op) << c.text;
        EXPECT_EQ(r.device, c.device) << c.text;
        EXPECT_EQ(r.index, c.index) << c.text;
        EXPECT_EQ(r.source, c.source) << c.text;
        EXPECT_EQ(r.flag, c.flag) << c.text;
        EXPECT_EQ(r.text, c.string) << c.text;
    }
}

TEST(Protocol, ASalvoListsItsTakes) {
    const Parsed parsed =
        parseRequest(R"({"op":"salvo","device":1,"takes":[{"dest":1,"source":2},{"dest":3,"source":4}]})");
    ASSERT_TRUE(parsed.request);
    ASSERT_EQ(parsed.request->takes.size(), 2u);
    EXPECT_EQ(parsed.request->takes[1].dest, 3u);
    EXPECT_EQ(parsed.request->takes[1].source, 4);
}

TEST(Protocol, MalformedRequestsAreRefusedWithAReason) {
    const std::string many = R"({"op":"salvo","device":1,"takes":[)" + [] {
        std::string takes;
        for (std::size_t i = 0; i <= maxSalvoTakes; ++i)
            takes += std::string(i ? "," : "") + R"({"dest":1,"source":1})";
        return takes;
    }() + "]}";
    const std::pair<std::string, const char*> cases[] = {
        {"", "not a JSON object"},
        {"[1,2]", "not a JSON object"},
        {"{\"op\":\"take\"", "not a JSON object"},
        {"{\"op\":\"take\",\"text\":\"\xFF\"}", "not a JSON object"},  // not UTF-8
        {std::string(20, '[') + std::string(20, ']'), "nested too deep"},
        {std::string(maxMessageBytes + 1, ' '), "message too long"},
        {R"({"device":1})", "missing \"op\""},
        {R"({"op":7})", "\"op\" is not a text"},
        {R"({"op":"format","device":1})", "unknown op \"format\""},
        {R"({"op":"take","dest":1,"source":1})", "missing \"device\""},
        {R"({"op":"take","device":0,"dest":1,"source":1})", "\"device\" out of range"},
        {R"({"op":"take","device":65536,"dest":1,"source":1})", "\"device\" out of range"},
        {R"({"op":"take","device":1,"dest":1,"source":-1})", "\"source\" out of range"},
        {R"({"op":"take","device":1.5,"dest":1,"source":1})", "\"device\" is not an integer"},
        {R"({"op":"take","device":18446744073709551615,"dest":1,"source":1})", "\"device\" out of range"},
        {R"({"op":"lock","device":1,"dest":1,"lock":1})", "\"lock\" is not true or false"},
        {R"({"op":"info","device":2,"slot":1,"text":")" + std::string(maxTextBytes + 1, 'x') + "\"}",
         "\"text\" is too long"},
        {R"({"op":"salvo","device":1,"takes":[]})", "\"takes\" must list 1 to 1024 crosspoints"},
        {many, "\"takes\" must list 1 to 1024 crosspoints"},
        {R"({"op":"salvo","device":1,"takes":[3]})", "a take is not an object"},
    };
    for (const auto& [text, error] : cases) {
        const Parsed parsed = parseRequest(text);
        EXPECT_FALSE(parsed.request) << text.substr(0, 80);
        EXPECT_EQ(parsed.error, error) << text.substr(0, 80);
    }
}

TEST(Protocol, RepliesRepeatTheIdEvenOfARefusedRequest) {
    const Parsed parsed = parseRequest(R"({"op":"take","id":41,"device":0})");
    EXPECT_EQ(parsed.id, 41);
    EXPECT_EQ(replyText(parsed.id, Outcome::error(400, parsed.error)),
              R"({"id":41,"message":"\"device\" out of range","status":400,"type":"error"})");
    EXPECT_EQ(replyText(std::nullopt, Outcome::ok()), R"({"type":"ok"})");
}

}  // namespace
}  // namespace zorvpanel
