// The hub's spy subscription: nothing kept while nobody spies; each line, as
// a spy window receives it; a spy that is gone is dropped.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "HubSpy.h"
#include "Outbox.h"

namespace {

std::vector<std::string>* received = nullptr;

LRESULT CALLBACK spyWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* envelope = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (envelope->dwData == orq::spyLine) received->emplace_back(static_cast<const char*>(envelope->lpData));
        return 1;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class HubSpyTest : public ::testing::Test {
protected:
    void SetUp() override {
        received = &lines;
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = spyWindowProcedure;
        windowClass.lpszClassName = "orqSpyTestWindow";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, "orqSpyTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        if (IsWindow(window)) DestroyWindow(window);
        UnregisterClassA("orqSpyTestWindow", nullptr);
    }
    void subscribe() { ASSERT_TRUE(spy.handle(orq::spySubscribe, reinterpret_cast<WPARAM>(window))); }

    orq::HubSpy spy;
    HWND window = nullptr;
    std::vector<std::string> lines;
};

TEST_F(HubSpyTest, KeepsNothingWhileNobodySpies) {
    const char text[] = "RC 1 7 5 ',---' 0";
    spy.request(2124, 1, text, sizeof text, nullptr);
    spy.message(49222, 0, 0);
    EXPECT_FALSE(spy.pending());
    EXPECT_FALSE(spy.handle(49222, 0));
}

TEST_F(HubSpyTest, SendsEachLineWithDirectionClientCodeDeviceAndDecodedText) {
    subscribe();
    const char text[] = "RC 1 7 5 ',---' 0";
    spy.request(2124, 1, text, sizeof text, nullptr);
    const std::uint16_t shortRecord[] = {3, 2, 4};  // a short registration: 16-bit fields
    spy.request(2274, 0, shortRecord, sizeof shortRecord, nullptr);
    orq::Delivery revertive;
    revertive.to.window = reinterpret_cast<HWND>(0x10004);
    revertive.code = 2224;
    revertive.bytes = "RR 1 5 7";
    spy.delivery(revertive);
    spy.message(49227, 0x10004, 0);
    spy.flush(nullptr);
    EXPECT_EQ(lines, (std::vector<std::string>{"in\t0x0\t2124\t1\tRC 1 7 5 ',---' 0", "in\t0x0\t2274\t3\trecord 3 2 4",
                                               "out\t0x10004\t2224\t1\tRR 1 5 7",
                                               "msg\t0x10004\t49227\t0\twParam 0x10004 lParam 0x0"}));
    EXPECT_FALSE(spy.pending());
}

TEST_F(HubSpyTest, StopsForASpyThatUnsubscribedOrIsGone) {
    subscribe();
    ASSERT_TRUE(spy.handle(orq::spyUnsubscribe, reinterpret_cast<WPARAM>(window)));
    spy.message(49222, 0, 0);
    EXPECT_FALSE(spy.pending());

    subscribe();
    DestroyWindow(window);
    spy.message(49222, 0, 0);
    spy.flush(nullptr);  // the send fails: the spy is dropped
    spy.message(49222, 0, 0);
    EXPECT_FALSE(spy.pending());
}

}  // namespace
