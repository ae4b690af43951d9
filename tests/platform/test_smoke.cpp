// A quick end-to-end check of the Win32 subset that runs on both backends:
// a message-only window, a sent and a posted message.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

#include "qxplatform.h"

namespace {

constexpr UINT kSmokeMessage = WM_USER + 1;
int postedSeen = 0;

LRESULT CALLBACK smokeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kSmokeMessage) {
        if (lParam == 1) ++postedSeen;
        return static_cast<LRESULT>(wParam) * 2;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

class SmokeWindow : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = smokeProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "qxSmokeWindow";
        ASSERT_NE(RegisterClassA(&windowClass), 0);
        window_ = CreateWindowExA(0, "qxSmokeWindow", "smoke", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window_, nullptr);
        postedSeen = 0;
    }
    void TearDown() override {
        if (window_) DestroyWindow(window_);
        UnregisterClassA("qxSmokeWindow", GetModuleHandleA(nullptr));
    }
    HWND window_ = nullptr;
};

TEST_F(SmokeWindow, SendReturnsTheProcedureResult) {
    EXPECT_EQ(SendMessageA(window_, kSmokeMessage, 21, 0), 42);
}

TEST_F(SmokeWindow, SendFromAnotherThreadRunsOnTheOwner) {
    LRESULT result = 0;
    std::atomic<bool> done{false};
    std::thread sender([&] {
        result = SendMessageA(window_, kSmokeMessage, 5, 0);
        done = true;
        PostMessageA(window_, WM_NULL, 0, 0);  // wakes the pump after the send
    });
    const bool finished = qxplatform::pumpUntil([&] { return done.load(); }, 5000);
    sender.join();
    EXPECT_TRUE(finished);
    EXPECT_EQ(result, 10);
}

TEST_F(SmokeWindow, PostedMessageIsDispatchedByThePump) {
    ASSERT_TRUE(PostMessageA(window_, kSmokeMessage, 0, 1));
    EXPECT_EQ(postedSeen, 0);
    EXPECT_TRUE(qxplatform::pumpUntil([] { return postedSeen == 1; }, 5000));
}

}  // namespace
