#include <cstring>
#include <thread>

#include "clientTestSupport.h"
#include "decodeZORVString.h"
#include "zorvwm32.h"

namespace qxtest {
namespace {

using ClientTransport = ClientTest;

class ConnectedClient : public ClientTest {
protected:
    FakeHub hub{hubOptions()};
    std::unique_ptr<qxClient> client;

    void connect(qx::ipcType ipc) {
        client = std::make_unique<qxClient>(&events, "qxClient");
        ASSERT_FALSE(client->connect(ipc, 0));
        hub.clear();
    }
};

class BothTransports : public ConnectedClient, public ::testing::WithParamInterface<qx::ipcType> {};

TEST_P(BothTransports, RequestCarriesCodeParameterAndTextAndReturnsTheReplyCode) {
    connect(GetParam());
    hub.onRequest([](const FakeHub::Request&, unsigned char*, size_t) { return LRESULT{7}; });
    std::string text = "RC 5 1 2 '' 12";
    EXPECT_EQ(client->sendText(2124, 5 | 0x8000, text.data(), static_cast<DWORD>(text.size() + 1), 0, 1), 7);
    ASSERT_EQ(hub.requests().size(), 1u);
    const auto request = hub.requests()[0];
    EXPECT_EQ(request.code, 2124u);
    EXPECT_EQ(request.parameter, 5u | 0x8000u);
    EXPECT_EQ(request.text(), text);
}

TEST_P(BothTransports, ReplyTextReachesThePayloadOnlyWhenAskedFor) {
    connect(GetParam());
    hub.onRequest([](const FakeHub::Request&, unsigned char* block, size_t) {
        std::strcpy(reinterpret_cast<char*>(block), "answer");
        return LRESULT{1};
    });
    char buffer[300] = "question";
    client->sendText(2041, 1, buffer, sizeof buffer, 0, 1);
    // Window messages carry no reply back without a capacity; the interface
    // library hands the whole buffer back, as the hub left it.
    if (GetParam() == qx::wm) {
        EXPECT_STREQ(buffer, "question");
    }
    client->sendText(2041, 1, buffer, sizeof buffer, 300, 1);
    EXPECT_STREQ(buffer, "answer");
}

// A request under one of the system's own codes or the interface library's
// is answered with 0 and not delivered: the window would read its block as an
// envelope (here one pointing at unmapped memory) or a frame, disconnect
// (WM_DESTROY) or be destroyed (WM_CLOSE).
TEST_P(BothTransports, RequestsUnderSystemOrTransportCodesAreNotDelivered) {
    connect(GetParam());
    HWND window = client->getMessageWindow();
    const COPYDATASTRUCT inner{0, 512, reinterpret_cast<void*>(0x7f00)};
    for (const UINT code : {UINT{WM_COPYDATA}, UINT{WM_DESTROY}, UINT{WM_CLOSE}, zorvwm32::zelMessage}) {
        unsigned char block[512] = {};
        std::memcpy(block, &inner, sizeof inner);
        if (GetParam() == qx::wm) {
            const COPYDATASTRUCT envelope{static_cast<ULONG_PTR>(code) << 16, sizeof block, block};
            copyDataReceive(window, nullptr, &envelope);
        } else {
            EXPECT_EQ(zel::send(window, code, 0, block, zorvwm32::textKind, sizeof block), 0) << code;
        }
        EXPECT_TRUE(IsWindow(window)) << code;
        EXPECT_TRUE(client->isConnected()) << code;
    }
}

INSTANTIATE_TEST_SUITE_P(Transports, BothTransports, ::testing::Values(qx::wm, qx::zel));

TEST_F(ConnectedClient, EnvelopeIsAZeroFilled512ByteCopyOfAShortPayload) {
    connect(qx::wm);
    char command[] = {'R', 'F', ' ', '1', '\0'};  // exactly 5 bytes, nothing behind them
    client->sendText(2124, 1, command, sizeof command, 0, 1);
    ASSERT_EQ(hub.requests().size(), 1u);
    const auto block = hub.requests()[0].block;
    ASSERT_EQ(block.size(), 512u);
    EXPECT_EQ(bytes(block, 5), std::string("RF 1\0", 5));
    EXPECT_EQ(std::count(block.begin() + 5, block.end(), 0), 507);
}

TEST_F(ConnectedClient, AReplyLongerThanTheCapacityIsCutThere) {
    connect(qx::wm);
    hub.onRequest([](const FakeHub::Request&, unsigned char* block, size_t size) {
        std::memset(block, 'x', size);  // no terminator at all
        return LRESULT{1};
    });
    char buffer[17];
    std::memset(buffer, '-', sizeof buffer);
    client->sendText(2041, 1, buffer, 1, 16, 1);
    EXPECT_EQ(std::string(buffer, 16), std::string(16, 'x'));
    EXPECT_EQ(buffer[16], '-') << "nothing written past the capacity";
}

TEST_F(ConnectedClient, ANestedSendNeverChangesTheOuterReply) {
    connect(qx::wm);
    // While the outer request is handled, the hub sends the client a request
    // whose handling makes the client send a request of its own.
    events.onEvent = [&](const std::string& event) {
        if (event.rfind("CC", 0) != 0) return;
        char inner[300] = "inner";
        EXPECT_EQ(client->sendText(2041, 2, inner, sizeof inner, 300, 1), 22);
        EXPECT_STREQ(inner, "inner reply");
    };
    hub.onRequest([&](const FakeHub::Request& request, unsigned char* block, size_t) -> LRESULT {
        if (request.parameter == 2) {
            std::strcpy(reinterpret_cast<char*>(block), "inner reply");
            return 22;
        }
        copyDataSend(hub.window(), client->getMessageWindow(), 49239, 0, const_cast<char*>("changed"), 8, 0, 1);
        std::strcpy(reinterpret_cast<char*>(block), "outer reply");
        return 11;
    });
    char outer[300] = "outer";
    EXPECT_EQ(client->sendText(2041, 1, outer, sizeof outer, 300, 1), 11);
    EXPECT_STREQ(outer, "outer reply");
    EXPECT_EQ(events.events.back(), "CC [changed]");
}

TEST_F(ClientTransport, ClientsOnTwoThreadsGetTheirOwnReplies) {
    FakeHub hub(hubOptions());
    hub.onRequest([](const FakeHub::Request& request, unsigned char* block, size_t) {
        std::snprintf(reinterpret_cast<char*>(block), 64, "reply %u", static_cast<unsigned>(request.parameter));
        return static_cast<LRESULT>(request.parameter);
    });
    auto work = [&](int id, bool* ok) {
        qxClient client(nullptr, "qxClient");
        *ok = !client.connect(qx::wm, 0);
        for (int i = 0; i < 200 && *ok; ++i) {
            char buffer[300] = "question";
            const LONG code = client.sendText(2041, id, buffer, sizeof buffer, 300, 1);
            *ok = code == id && std::string(buffer) == formatText("reply %d", id);
        }
    };
    bool firstOk = false, secondOk = false;
    std::thread other(work, 2, &secondOk);
    work(1, &firstOk);
    other.join();
    EXPECT_TRUE(firstOk);
    EXPECT_TRUE(secondOk);
}

TEST_F(ClientTransport, WithoutTransportNothingIsSent) {
    qxClient client(nullptr, "qxClient");
    char text[] = "RF 1";
    EXPECT_EQ(client.sendText(2124, 1, text, sizeof text, 0, 1), 0);
}

TEST(Tokenizer, SplitsWordsAndQuotedStretches) {
    decodeZORVString fields("IR 12 5 'hello world' 3");
    ASSERT_EQ(fields.count(), 5);
    EXPECT_STREQ(fields[0], "IR");
    EXPECT_STREQ(fields[3], "hello world");
    EXPECT_STREQ(fields[4], "3");
    EXPECT_STREQ(fields[5], "");

    decodeZORVString empty("A '' B");
    ASSERT_EQ(empty.count(), 3);
    EXPECT_STREQ(empty[1], "");
    EXPECT_STREQ(empty[2], "B");

    EXPECT_EQ(decodeZORVString("").count(), 0);
    EXPECT_EQ(decodeZORVString(static_cast<const char*>(nullptr)).count(), 0);
}

TEST(Tokenizer, RunsOfBlanksLeadingSeparatorsAndTheTokenLimit) {
    decodeZORVString runs("A   B");
    ASSERT_EQ(runs.count(), 2);
    EXPECT_STREQ(runs[1], "B");

    decodeZORVString leading(" A");
    ASSERT_EQ(leading.count(), 2);
    EXPECT_STREQ(leading[0], "");
    EXPECT_STREQ(leading[1], "A");

    decodeZORVString quoted("'x y' z");
    ASSERT_EQ(quoted.count(), 3);
    EXPECT_STREQ(quoted[0], "");
    EXPECT_STREQ(quoted[1], "x y");

    std::string many;
    for (int i = 0; i < 40; ++i) many += std::to_string(i) + " ";
    decodeZORVString limited(many);
    ASSERT_EQ(limited.count(), 32);
    EXPECT_STREQ(limited[31], "31");
    EXPECT_STREQ(limited[32], "");
}

TEST(WireNumbers, FollowAtoiAndSaturate) {
    EXPECT_EQ(wireToInt("  -42x"), -42);
    EXPECT_EQ(wireToInt("+7"), 7);
    EXPECT_EQ(wireToInt("abc"), 0);
    EXPECT_EQ(wireToInt(""), 0);
    EXPECT_EQ(wireToInt("99999999999"), 2147483647);
    EXPECT_EQ(wireToInt("-99999999999"), -2147483647 - 1);
}

}  // namespace
}  // namespace qxtest
