// Every overload reaches the hub as the native operation it calls, with the
// defaults of the short forms, the text converted and the outputs copied.
#include <cstring>

#include "zorvClientTestSupport.h"

namespace zorvtest {
namespace {

class Operations : public FacadeTest {
protected:
    void SetUp() override { connect(); }

    // What the hub saw since the last clear: requests as "code parameter
    // text", plain messages as "message wParam lParam", the client's window
    // written as "self".
    std::vector<std::string> traffic() {
        std::vector<std::string> lines;
        for (const auto& r : hub.requests())
            lines.push_back(formatText("%u %#llx ", r.code, static_cast<unsigned long long>(r.parameter)) + r.text());
        for (const auto& m : hub.messages()) {
            const bool self = m.wParam == reinterpret_cast<WPARAM>(window());
            lines.push_back(formatText("msg %u ", m.message) +
                            (self ? std::string("self") : formatText("%#llx", static_cast<unsigned long long>(m.wParam))) +
                            formatText(" %lld", static_cast<long long>(m.lParam)));
        }
        return lines;
    }
    std::string withWindow(std::string line) {
        const auto at = line.find("{window}");
        if (at != std::string::npos) line.replace(at, 8, std::to_string(window32()));
        return line;
    }
};

struct Case {
    const char* name;
    std::function<void(ZorvClient&)> act;
    std::vector<std::string> expected;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class Overloads : public Operations, public ::testing::WithParamInterface<Case> {};

TEST_P(Overloads, ReachTheHubAsTheNativeCall) {
    GetParam().act(client);
    std::vector<std::string> expected;
    for (const auto& line : GetParam().expected) expected.push_back(withWindow(line));
    EXPECT_EQ(traffic(), expected);
    EXPECT_EQ(trace.text(), "");
}

// Workstation 12 is the client's own: every command carries it.
const Case cases[] = {
    {"CrosspointDefaultMask", [](ZorvClient& c) { c.routerCrosspoint(3, 10, 7); }, {"2124 0x3 RC 3 7 10 ',---' 12"}},
    {"CrosspointEmptyMask", [](ZorvClient& c) { c.routerCrosspoint(3, 10, 7, u""); }, {"2124 0x3 RC 3 7 10 '' 12"}},
    {"CrosspointNow", [](ZorvClient& c) { c.routerCrosspoint(3, 10, -2, u",1--", true); },
     {"2124 0x8003 RC 3 -2 10 ',1--' 12"}},
    {"RouterPoll", [](ZorvClient& c) { c.routerPoll(5, 1, 16); }, {"2124 0x5 RP 5 1 16 12"}},
    {"RouterPollNow", [](ZorvClient& c) { c.routerPoll(5, 1, 16, true); }, {"2124 0x8005 RP 5 1 16 12"}},
    {"RouterQuery", [](ZorvClient& c) { c.routerQuery(5, 2, 3); }, {"2124 0x5 RQ 5 2 3 12"}},
    {"RouterLock", [](ZorvClient& c) { c.routerLock(3, 1, 5, true); }, {"2124 0x3 RL 3 1 5 1 12"}},
    {"RouterFile", [](ZorvClient& c) { c.routerFile(3); }, {"2124 0x3 RF 3"}},
    {"InfoWrite", [](ZorvClient& c) { c.infoWrite(4, 2, u"on air"); }, {"2144 0x4 IW 4 'on air' 2 12"}},
    {"InfoWriteNonLatin", [](ZorvClient& c) { c.infoWrite(4, 2, u"\u00E9\u4E2D", true); },
     {"2144 0x8004 IW 4 '\xE9?' 2 12"}},
    {"InfoPollNow", [](ZorvClient& c) { c.infoPoll(4, 1, 3, true); }, {"2144 0x8004 IP 4 1 3 12"}},
    {"InfoQuery", [](ZorvClient& c) { c.infoQuery(4, 1, 3); }, {"2144 0x4 IQ 4 1 3 12"}},
    {"InfoLockNow", [](ZorvClient& c) { c.infoLock(4, 2, 2, false, true); }, {"2144 0x8004 IL 4 2 2 0 12"}},
    {"GpiSwitch", [](ZorvClient& c) { c.gpiSwitch(6, 1, true); }, {"2134 0x6 GS 6 1 1 12"}},
    {"GpiFile", [](ZorvClient& c) { c.gpiFile(6); }, {"2134 0x6 GF 6"}},
    {"GpiLockNotNow", [](ZorvClient& c) { c.gpiLock(6, 1, 8, true, false); }, {"2134 0x6 GL 6 1 8 1 12"}},
    {"GpiPoll", [](ZorvClient& c) { c.gpiPoll(6, 1, 8); }, {"2134 0x6 GP 6 1 8 12"}},
    {"GpiQueryNow", [](ZorvClient& c) { c.gpiQuery(6, 1, 8, true); }, {"2134 0x8006 GQ 6 1 8 12"}},
    {"DeviceMessage", [](ZorvClient& c) { c.deviceMessage(0, 3, u"hello", 77); },
     {"2121 0x3 NS 3 0 'hello' 12 {window} 77"}},
    {"DatabaseModify", [](ZorvClient& c) { c.databaseModify(3, 6, 1, u"Cam"); },
     {"2124 0x3 RM 3 1 6 'Cam' 0 12 0", "2159 0 RM 3 1 6 'Cam' 0 12 0"}},
    {"DatabaseModifyTally", [](ZorvClient& c) { c.databaseModify(3, 6, 1, u"Cam", true); },
     {"2124 0x3 RM 3 1 6 'Cam' 1 12 0", "2159 0 RM 3 1 6 'Cam' 1 12 0"}},
    {"DatabaseModifyHandle", [](ZorvClient& c) { c.databaseModify(3, 6, 1, u"Cam", false, true); },
     {"2124 0x3 RM 3 1 6 'Cam' 0 12 {window}", "2159 0 RM 3 1 6 'Cam' 0 12 {window}"}},
    {"DatabaseIndex", [](ZorvClient& c) { c.databaseIndex(3, 1, u"Camera"); }, {"2165 0x8003 Camera"}},
    {"ConfigChange", [](ZorvClient& c) { c.sendConfigChangeMessage(u"layout 2"); }, {"49240 0x8 layout 2"}},
    {"CacheIndex", [](ZorvClient& c) { c.cacheIndex(4, 1, 16, u"x"); },
     {"2170 0 DI 4 1 16 'x'", "msg 2040 0 0"}},
    {"FlushDatabaseCacheOfAll", [](ZorvClient& c) { c.flushDatabaseCache(); }, {"msg 2167 0 0"}},
    {"UintBitForBit", [](ZorvClient& c) { c.flushDatabaseCache(0xFFFFFFFF); }, {"msg 2167 0xffffffffffffffff 0"}},
    {"CacheEnable", [](ZorvClient& c) { c.cacheEnable(true); }, {"msg 2036 0x1 0"}},
    {"CacheFlush", [](ZorvClient& c) { c.cacheFlush(4); }, {"msg 2038 0x4 0"}},
    {"CacheTest", [](ZorvClient& c) { c.cacheTest(4, 1, 2); }, {"msg 2040 0 0", "msg 2037 0x4 131073"}},
    {"DeregisterDevice", [](ZorvClient& c) { c.revertiveDeregister(5); }, {"msg 2275 self 5"}},
    {"DeregisterAll", [](ZorvClient& c) { c.revertiveDeregisterAll(); }, {"msg 2275 self 0"}},
    {"RegisterForNet", [](ZorvClient& c) { c.registerForNetMessage(); }, {"msg 49227 self 0"}},
    {"DeregisterForNet", [](ZorvClient& c) { c.deregisterForNetMessage(); }, {"msg 49228 self 0"}},
    {"SendBufferCommands", [](ZorvClient& c) { c.sendBufferCommands(); }, {"msg 49237 0 0"}},
    {"MaxDevices", [](ZorvClient& c) { EXPECT_EQ(c.maxDevices(), 100000u); }, {"msg 49245 0 0"}},
    {"Disconnect", [](ZorvClient& c) { EXPECT_FALSE(c.disconnect()); }, {"msg 2034 self 2", "msg 49223 self 0"}},
    {"WriteDisabled",
     [](ZorvClient& c) {
         c.writeEnable(false);
         EXPECT_FALSE(c.isWriteEnabled());
         c.routerCrosspoint(3, 10, 7);
     },
     {}},
};

INSTANTIATE_TEST_SUITE_P(Table, Overloads, ::testing::ValuesIn(cases), [](const auto& c) { return c.param.name; });

// Registration records: device (bit 15 set when not overwriting), start, end.
TEST_F(Operations, RegistrationDefaultsAndTheOneIndexDeregistration) {
    client.revertiveRegister(5, 1, 100);
    client.revertiveRegister(5, 1, 100, false);
    client.revertiveRegister(5, 1, 100, true, PollType::GP);
    client.revertiveDeregister(5, 7);
    client.revertiveDeregister(5, 1, 3);
    std::vector<std::string> records;
    for (const auto& r : hub.requests()) records.push_back(std::to_string(r.code) + " " + std::string(r.block.begin(), r.block.begin() + 6));
    using std::string_literals::operator""s;
    EXPECT_EQ(records, (std::vector<std::string>{"2274 \x05\x00\x01\x00\x64\x00"s, "2274 \x05\x80\x01\x00\x64\x00"s,
                                                 "2274 \x05\x00\x01\x00\x64\x00"s, "2276 \x05\x00\x07\x00\x07\x00"s,
                                                 "2276 \x05\x00\x01\x00\x03\x00"s}));
}

TEST_F(Operations, OnlyTheNativeChecksJudgeNumbers) {
    client.routerCrosspoint(0xFFFFFFFF, 10, 7);
    EXPECT_TRUE(hub.requests().empty());
    EXPECT_EQ(trace.text(), "qxClient: Device Number of out range (> MAX_DEVICES)\n");
}

using TextOperation = std::function<void(ZorvClient&)>;

TEST_F(Operations, NullTextsRaiseBeforeAnythingIsSent) {
    const TextOperation operations[] = {
        [](ZorvClient& c) { c.routerCrosspoint(3, 10, 7, nullptr); },
        [](ZorvClient& c) { c.infoWrite(4, 2, String(), true); },
        [](ZorvClient& c) { c.deviceMessage(0, 3, nullptr, 0); },
        [](ZorvClient& c) { c.cacheIndex(4, 1, 2, nullptr); },
        [](ZorvClient& c) { c.databaseIndex(3, 1, nullptr); },
        [](ZorvClient& c) { c.databaseModify(3, 6, 1, nullptr); },
        [](ZorvClient& c) { c.sendConfigChangeMessage(nullptr); },
    };
    for (const auto& operation : operations) {
        try {
            operation(client);
            ADD_FAILURE() << "no error";
        } catch (const std::invalid_argument& error) {
            EXPECT_STREQ(error.what(), "NULLPTR is not supported for this conversion.");
            EXPECT_NE(dynamic_cast<const ArgumentNullError*>(&error), nullptr);
        }
    }
    EXPECT_EQ(traffic(), std::vector<std::string>{});
    uint tx = 9, rx = 9;
    client.counters(tx, rx);
    EXPECT_EQ(tx, 0u);
}

TEST_F(Operations, CacheValueAssignsItsOutputAlsoOnFailure) {
    String value = u"old";
    EXPECT_TRUE(client.cacheValue(4, 9, value)) << "the hub left the request unanswered";
    EXPECT_EQ(value, String(u"- - -"));
    hub.onRequest([](const FakeHub::Request&, unsigned char* block, size_t) {
        std::strcpy(reinterpret_cast<char*>(block), "caf\xE9 \x80");
        return LRESULT{1};
    });
    EXPECT_FALSE(client.cacheValue(4, 9, value));
    EXPECT_EQ(value, String(u"caf\u00E9 \u20AC"));
    value = u"old";
    EXPECT_TRUE(client.cacheValue(0, 9, value)) << "refused by the native checks";
    EXPECT_EQ(value, String(u""));
}

TEST_F(Operations, DatabaseNameAssignsItsOutputAlsoOnFailure) {
    String name = u"old";
    EXPECT_TRUE(client.databaseName(3, 6, 1, name));
    EXPECT_EQ(name, String(u"- - -"));
    hub.onRequest([](const FakeHub::Request&, unsigned char* block, size_t) {
        std::strcpy(reinterpret_cast<char*>(block), "Kamera \xFC");
        return LRESULT{1};
    });
    EXPECT_FALSE(client.databaseName(3, 6, 1, name));
    EXPECT_EQ(name, String(u"Kamera \u00FC"));
    name = u"old";
    EXPECT_TRUE(client.databaseName(3, 6, 99, name));
    EXPECT_EQ(name, String(u""));
}

TEST_F(Operations, IntegerOutputsInTheirOrder) {
    uint min = 0, max = 0;
    EXPECT_FALSE(client.getClientRegistrationExtent(3, min, max));
    EXPECT_EQ(min, 1u);
    EXPECT_EQ(max, 100u);

    hub.onRequest([](const FakeHub::Request&, unsigned char* block, size_t) {
        std::strcpy(reinterpret_cast<char*>(block), "7 2 x 64 32 'Main router'");
        return LRESULT{1};
    });
    int version = 0;
    uint sources = 0, dests = 0;
    client.deviceProfile(7, version, sources, dests);
    EXPECT_EQ(version, 2);
    EXPECT_EQ(sources, 64u);
    EXPECT_EQ(dests, 32u);
    String name;
    client.deviceProfile(7, version, sources, dests, name);
    EXPECT_EQ(name, String(u"Main router"));

    client.routerCrosspoint(3, 10, 7);
    uint tx = 0, rx = 9;
    EXPECT_TRUE(client.counters(tx, rx));
    EXPECT_EQ(tx, 1u);
    EXPECT_EQ(rx, 0u);
    EXPECT_FALSE(client.counters(tx, rx));
}

// The interface library carries the whole reply code (window messages 16 bits).
TEST_F(Operations, CacheIndexReturnsTheReplyAsUnsigned) {
    connect(IpcType::zel);
    hub.onRequest([](const FakeHub::Request&, unsigned char*, size_t) { return LRESULT{-1}; });
    EXPECT_EQ(client.cacheIndex(4, 1, 16, u"x"), 0xFFFFFFFFu);
}

class Connection : public FacadeTest {
protected:
    // Whether WM_CLOSE has been posted to the hub: handled already, or
    // still in its queue when a message sent now is handled there.
    bool hubWasClosed() {
        bool queued = false;
        hub.run([&] {
            MSG pending;
            queued = PeekMessageA(&pending, hub.window(), WM_CLOSE, WM_CLOSE, PM_NOREMOVE) != FALSE;
        });
        return queued || !hub.messagesOf(WM_CLOSE).empty();
    }
};

TEST_F(Connection, ConnectWithoutArgumentsChoosesTheInterfaceLibrary) {
    EXPECT_FALSE(client.connect());
    EXPECT_EQ(hub.messagesOf(2054).size(), 1u);
    EXPECT_TRUE(hub.messagesOf(2034).empty());
    EXPECT_TRUE(client.isConnected());
    EXPECT_FALSE(client.connect(IpcType::wm));
    EXPECT_EQ(hub.messagesOf(2034).back().lParam, 4);
}

TEST_F(Connection, TheShortFormOfCloseHostOnExitClearsTheFlag) {
    connect();
    client.setCloseHostOnExit(true);
    client.setCloseHostOnExit();
    client.Dispose();
    EXPECT_FALSE(hubWasClosed());
}

TEST_F(Connection, CloseHostOnExitClosesTheHubOnDispose) {
    connect();
    client.setCloseHostOnExit(true);
    client.Dispose();
    EXPECT_TRUE(hubWasClosed());
}

}  // namespace
}  // namespace zorvtest
