#include <cstring>

#include "clientTestSupport.h"

namespace qxtest {
namespace {

class ClientCaches : public ClientTest {
protected:
    FakeHub hub{hubOptionsWithCacheOn()};
    qxClient client{&events, "qxClient"};

    void SetUp() override {
        ASSERT_FALSE(client.connect(qx::wm, 0));
        hub.clear();
        trace.clear();
    }
    void replyWith(const std::string& text, LRESULT code = 1) {
        hub.onRequest([text, code](const FakeHub::Request&, unsigned char* block, size_t size) {
            std::memset(block, 0, size);
            std::memcpy(block, text.data(), text.size());
            return code;
        });
    }
    unsigned sent() {
        unsigned tx, rx;
        client.counters(tx, rx);
        return tx;
    }
};

TEST_F(ClientCaches, SwitchFlushAndRangeTestUsePlainMessages) {
    client.cacheEnable(false);
    client.cacheFlush(4);
    client.cacheFlush(0);
    EXPECT_TRUE(client.cacheTest(7, 1, 10));
    EXPECT_EQ(hub.messagesOf(2036)[0].wParam, 0u);
    ASSERT_EQ(hub.messagesOf(2038).size(), 1u);
    EXPECT_EQ(hub.messagesOf(2038)[0].wParam, 4u);
    auto test = hub.messagesOf(2037);
    ASSERT_EQ(test.size(), 1u);
    EXPECT_EQ(test[0].wParam, 7u);
    EXPECT_EQ(test[0].lParam, (10 << 16) | 1);
}

TEST_F(ClientCaches, WideRangeTestSendsARecord) {
    replyWith("", 1);
    EXPECT_TRUE(client.cacheTest(7, 1, 70000));
    ASSERT_EQ(hub.requests().size(), 1u);
    EXPECT_EQ(hub.requests()[0].code, 49858u);
    EXPECT_EQ(bytes(hub.requests()[0].block, 12),
              std::string("\x07\x00\x00\x00\x01\x00\x00\x00\x70\x11\x01\x00", 12));
    EXPECT_FALSE(client.cacheTest(7, 5, 1));
    EXPECT_EQ(hub.requests().size(), 1u);
}

TEST_F(ClientCaches, IndexOfAValue) {
    replyWith("DI", 42);
    EXPECT_EQ(client.cacheIndex(3, 1, 16, "it's"), 42);
    EXPECT_EQ(hub.requests()[0].text(), "DI 3 1 16 'it's'");
    EXPECT_EQ(hub.requests()[0].code, 2170u);
    EXPECT_EQ(client.cacheIndex(3, 16, 1, "x"), 0);
    EXPECT_EQ(hub.requests().size(), 1u);
}

TEST_F(ClientCaches, ReadingAValue) {
    std::string value = "untouched";
    EXPECT_TRUE(client.cacheValue(0, 1, value));
    EXPECT_EQ(value, "untouched");

    EXPECT_TRUE(client.cacheValue(3, 5, value)) << "the hub leaves the request as it was";
    EXPECT_EQ(value, "- - -");
    EXPECT_EQ(hub.requests()[0].text(), "DG 3 5");
    EXPECT_EQ(hub.requests()[0].code, 2169u);

    replyWith("");
    EXPECT_FALSE(client.cacheValue(3, 5, value));
    EXPECT_EQ(value, "");

    replyWith("Studio 1", 9);
    int code = 0;
    EXPECT_FALSE(client.cacheValue(3, 5, value, &code));
    EXPECT_EQ(value, "Studio 1");
    EXPECT_EQ(code, 9);
    EXPECT_EQ(sent(), 0u);
}

TEST_F(ClientCaches, NameReadsShortAndWide) {
    std::string name = "untouched";
    EXPECT_TRUE(client.databaseName(5, 3, 4, name)) << "database 4 of 4";
    EXPECT_EQ(name, "untouched");
    EXPECT_TRUE(hub.requests().empty());

    EXPECT_TRUE(client.databaseName(5, 3, 1, name));  // short form: maxDatabaseIndex is 65535
    EXPECT_EQ(name, "- - -");
    auto request = hub.requests()[0];
    EXPECT_EQ(request.code, 2164u);
    EXPECT_EQ(bytes(request.block, 6), std::string("\x05\x00\x01\x00\x03\x00", 6));

    replyWith("Camera 3");
    EXPECT_FALSE(client.databaseName(5, 3, 1, name));
    EXPECT_EQ(name, "Camera 3");
}

// A hub that writes its answer into the request's block and leaves the bytes
// behind it as they came, on either transport.
class RepliesInPlace : public ClientTest, public ::testing::WithParamInterface<qx::ipcType> {
protected:
    FakeHub hub{hubOptions()};
    qxClient client{&events, "qxClient"};

    void SetUp() override { ASSERT_FALSE(client.connect(GetParam(), 0)); }
    void answerWith(const std::string& text, size_t length) {
        hub.onRequest([text, length](const FakeHub::Request&, unsigned char* block, size_t) {
            std::memcpy(block, text.data(), length);
            return LRESULT{1};
        });
    }
};

TEST_P(RepliesInPlace, ShortNamesThatLookLikeTheRequestReadAsNames) {
    struct Case {
        int device;
        const char* name;
    };
    for (const Case& c : {Case{65, "A"}, Case{256, ""}}) {  // 65 is "A"; 256 starts with a zero byte
        answerWith(c.name, std::strlen(c.name) + 1);
        std::string name;
        EXPECT_FALSE(client.databaseName(c.device, 3, 2, name)) << c.device;
        EXPECT_EQ(name, c.name);
    }
    hub.onRequest([](const FakeHub::Request&, unsigned char*, size_t) { return LRESULT{0}; });
    std::string name;
    EXPECT_TRUE(client.databaseName(65, 3, 2, name)) << "a block left as it came is no answer";
    EXPECT_EQ(name, "- - -");
}

TEST_P(RepliesInPlace, AValueFillingTheReplyCapacityKeepsEveryCharacter) {
    answerWith(std::string(300, 'v'), 300);
    std::string value;
    EXPECT_FALSE(client.cacheValue(3, 5, value));
    EXPECT_EQ(value, std::string(300, 'v'));
}

INSTANTIATE_TEST_SUITE_P(Transports, RepliesInPlace, ::testing::Values(qx::wm, qx::zel));

class ClientWideNames : public ClientTest, public ::testing::WithParamInterface<qx::ipcType> {};

TEST_P(ClientWideNames, DefaultHighestIndexUsesTheWideFormBoundedByItsBuffer) {
    FakeHub hub{FakeHub::Options{}};  // answers no limit: the highest index stays 2147483647
    hub.onRequest([](const FakeHub::Request&, unsigned char* block, size_t size) {
        std::memset(block + 16, 'n', size - 16);  // fills the buffer: no terminator
        return LRESULT{1};
    });
    qxClient client(nullptr, "qxClient");
    ASSERT_FALSE(client.connect(GetParam(), 0));
    std::string name;
    EXPECT_FALSE(client.databaseName(5, 3, 1, name));
    auto request = hub.requests().back();
    EXPECT_EQ(request.code, 49853u);
    EXPECT_EQ(bytes(request.block, 16),
              std::string("\x05\0\0\0\x01\0\0\0\x03\0\0\0\x00\x04\0\0", 16));
    // Through the interface library the whole 1041-byte buffer travels; over
    // window messages the reply is the 512-byte block.
    const size_t expected = GetParam() == qx::zel ? 1041 - 16 : 512 - 16;
    EXPECT_EQ(name, std::string(expected, 'n'));
}

INSTANTIATE_TEST_SUITE_P(Transports, ClientWideNames, ::testing::Values(qx::wm, qx::zel));

TEST_F(ClientCaches, IndexOfANameByDatabase) {
    replyWith("", 17);
    EXPECT_EQ(client.databaseIndex(5, 1, "Cam"), 17);
    EXPECT_EQ(client.databaseIndex(5, 0, "Cam"), 17);
    EXPECT_EQ(client.databaseIndex(5, 2, "Cam"), 17);
    auto requests = hub.requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_EQ(requests[0].code, 2165u);
    EXPECT_EQ(requests[0].parameter, 5u | 0x8000u);
    EXPECT_EQ(requests[0].text(), "Cam");
    EXPECT_EQ(requests[1].parameter, 5u);
    EXPECT_EQ(requests[2].code, 2166u);
    EXPECT_EQ(bytes(requests[2].block, 12), std::string("\x05\x00\x02\x00\x01\x00\x00\x00" "Cam\0", 12));
}

TEST_F(ClientCaches, ChangingANameSendsTheTextTwice) {
    const int handle = static_cast<int>(reinterpret_cast<INT_PTR>(client.getMessageWindow()));
    EXPECT_FALSE(client.databaseModify(5, 0, 2, "Cam 1", true, true, 0));
    EXPECT_FALSE(client.databaseModify(5, 3, 2, "", false, false, 44));
    auto requests = hub.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0].code, 2124u);
    EXPECT_EQ(requests[0].parameter, 5u);
    EXPECT_EQ(requests[1].code, 2159u);
    EXPECT_EQ(requests[1].parameter, 0u);
    EXPECT_EQ(requests[0].text(), formatText("RM 5 2 0 'Cam 1' 1 12 %d", handle));
    EXPECT_EQ(requests[1].text(), requests[0].text());
    EXPECT_EQ(requests[2].text(), "RM 5 2 3 '' 0 44 0");
    EXPECT_EQ(sent(), 2u);
}

TEST_F(ClientCaches, RefusedNameChanges) {
    EXPECT_TRUE(client.databaseModify(5, -1, 2, "x", false, false, 0));
    EXPECT_EQ(trace.text(), "database modify index <0 or > maxDatabaseIndex\n");
    EXPECT_TRUE(client.databaseModify(5, 65536, 2, "x", false, false, 0));
    client.writeEnable(false);
    trace.clear();
    EXPECT_TRUE(client.databaseModify(5, 1, 2, "x", false, false, 0));
    EXPECT_EQ(trace.text(), "");
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_EQ(sent(), 0u);
}

TEST_F(ClientCaches, NameCacheFlushAndNetworkMessages) {
    client.flushDatabaseCache(0);
    client.registerForNetMessage();
    client.deregisterForNetMessage();
    client.sendConfigChangeMessage("");
    client.sendConfigChangeMessage("new layout");
    EXPECT_EQ(hub.messagesOf(2167)[0].wParam, 0u);
    EXPECT_EQ(hub.messagesOf(49227)[0].wParam, reinterpret_cast<WPARAM>(client.getMessageWindow()));
    EXPECT_EQ(hub.messagesOf(49228)[0].wParam, reinterpret_cast<WPARAM>(client.getMessageWindow()));
    auto requests = hub.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].code, 49240u);
    EXPECT_EQ(requests[0].parameter, 0u);
    EXPECT_EQ(requests[1].parameter, 10u);
    EXPECT_EQ(requests[1].text(), "new layout");
    EXPECT_EQ(sent(), 0u);
}

}  // namespace
}  // namespace qxtest
