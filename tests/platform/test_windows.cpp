// Window classes, window creation and destruction, window values and handles.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "qxplatform.h"
#include "test_msg_support.h"

namespace {

using msgtest::Handler;
using msgtest::RoutingClass;

constexpr UINT kTestMessage = WM_USER + 17;

LRESULT CALLBACK plainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTestMessage) return 1;
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT CALLBACK otherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kTestMessage) return 2;
    return DefWindowProcA(window, message, wParam, lParam);
}

ATOM registerPlain(const char* name, int windowExtraBytes = 0) {
    WNDCLASSA description{};
    description.lpfnWndProc = plainProc;
    description.cbClsExtra = 8;
    description.cbWndExtra = windowExtraBytes;
    description.hInstance = GetModuleHandleA(nullptr);
    description.lpszClassName = name;
    return RegisterClassA(&description);
}

HWND createPlain(const char* className, HWND parent = HWND_MESSAGE, const char* title = "") {
    return CreateWindowExA(0, className, title, 0, 0, 0, 0, 0, parent, nullptr, GetModuleHandleA(nullptr), nullptr);
}

HWND withHighHalf(HWND window, WORD high) {
    const auto low = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window)) & 0xFFFF;
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>((DWORD{high} << 16) | low));
}

WORD generationOf(HWND window) { return HIWORD(reinterpret_cast<UINT_PTR>(window)); }

// ------------------------------------------------------------------ classes

TEST(WindowClasses, NamesAreUniquePerProcessIgnoringCase) {
    ASSERT_NE(registerPlain("qxClassCaseTest"), 0);
    SetLastError(0);
    EXPECT_EQ(registerPlain("QXCLASSCASETEST"), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_CLASS_ALREADY_EXISTS});

    HWND window = createPlain("QxClassCaseTest");  // found in any case
    ASSERT_NE(window, nullptr);
    char name[64] = {};
    EXPECT_EQ(GetClassNameA(window, name, sizeof name), 15);
    EXPECT_STREQ(name, "qxClassCaseTest");  // as registered
    EXPECT_EQ(GetClassNameA(window, name, 5), 4);
    EXPECT_STREQ(name, "qxCl");

    SetLastError(0);
    EXPECT_FALSE(UnregisterClassA("qxClassCaseTest", GetModuleHandleA(nullptr)));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_CLASS_HAS_WINDOWS});
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_TRUE(UnregisterClassA("qxclasscasetest", GetModuleHandleA(nullptr)));

    SetLastError(0);
    EXPECT_FALSE(UnregisterClassA("qxClassCaseTest", GetModuleHandleA(nullptr)));
    EXPECT_EQ(GetLastError(), DWORD{ERROR_CLASS_DOES_NOT_EXIST});
}

TEST(WindowClasses, CreatingAWindowOfAnUnknownClassFails) {
    SetLastError(0);
    EXPECT_EQ(createPlain("qxNoSuchClass"), nullptr);
#ifdef _WIN32
    // Wine reports ERROR_CLASS_DOES_NOT_EXIST here, Windows the error below.
    if (GetLastError() == DWORD{ERROR_CLASS_DOES_NOT_EXIST}) return;
#endif
    EXPECT_EQ(GetLastError(), DWORD{ERROR_CANNOT_FIND_WND_CLASS});
}

// ------------------------------------------------------------------ values

class WindowValues : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(registerPlain("qxWindowValuesTest", 16), 0);
        window_ = createPlain("qxWindowValuesTest");
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        if (window_) {
            EXPECT_TRUE(DestroyWindow(window_));
        }
        EXPECT_TRUE(UnregisterClassA("qxWindowValuesTest", GetModuleHandleA(nullptr)));
    }
    HWND window_ = nullptr;
};

TEST_F(WindowValues, ExtraBytesStartAtZeroAndKeepWhatIsWritten) {
    EXPECT_EQ(GetWindowLongPtrA(window_, 0), 0);
    EXPECT_EQ(GetWindowLongPtrA(window_, 8), 0);
    EXPECT_EQ(GetWindowLongA(window_, 12), 0);

    const LONG_PTR wide = static_cast<LONG_PTR>(0x1122334455667788LL);  // needs all 8 bytes
    EXPECT_EQ(SetWindowLongPtrA(window_, 8, wide), 0);
    EXPECT_EQ(GetWindowLongPtrA(window_, 8), wide);
    EXPECT_EQ(SetWindowLongPtrA(window_, 8, 5), wide);  // the previous value

    EXPECT_EQ(SetWindowLongA(window_, 0, -7), 0);
    EXPECT_EQ(GetWindowLongA(window_, 0), -7);
    EXPECT_EQ(GetWindowLongA(window_, 4), 0);  // its neighbour is untouched
    EXPECT_EQ(SetWindowLongA(window_, 0, 9), -7);
}

TEST_F(WindowValues, OffsetsBeyondTheExtraBytesAreRefused) {
    SetLastError(0);
    EXPECT_EQ(GetWindowLongA(window_, 14), 0);  // 4 bytes from 14 pass the end (16)
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_INDEX});
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrA(window_, 12), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_INDEX});
    SetLastError(0);
    EXPECT_EQ(SetWindowLongPtrA(window_, 16, 1), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_INDEX});
}

TEST_F(WindowValues, AttributesCanBeReadAndReplaced) {
    EXPECT_EQ(GetWindowLongPtrA(window_, GWLP_HINSTANCE), reinterpret_cast<LONG_PTR>(GetModuleHandleA(nullptr)));
    EXPECT_EQ(GetWindowLongPtrA(window_, GWLP_USERDATA), 0);
    EXPECT_EQ(SetWindowLongPtrA(window_, GWLP_USERDATA, 1234), 0);
    EXPECT_EQ(GetWindowLongPtrA(window_, GWLP_USERDATA), 1234);

    EXPECT_EQ(GetWindowLongPtrA(window_, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(plainProc));
    EXPECT_EQ(SendMessageA(window_, kTestMessage, 0, 0), 1);
    EXPECT_EQ(SetWindowLongPtrA(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(otherProc)),
              reinterpret_cast<LONG_PTR>(plainProc));
    EXPECT_EQ(SendMessageA(window_, kTestMessage, 0, 0), 2);  // the new procedure answers
}

TEST_F(WindowValues, ValuesOfAnInvalidWindowAreRefused) {
    ASSERT_TRUE(DestroyWindow(window_));
    HWND gone = window_;
    window_ = nullptr;
    SetLastError(0);
    EXPECT_EQ(GetWindowLongPtrA(gone, GWLP_USERDATA), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
}

// ------------------------------------------------------------------ creation and destruction

class WindowLifetime : public ::testing::Test {
protected:
    // The creation and destruction messages each window received, in order.
    std::vector<UINT> lifeMessages;
    Handler recordLife = [this](HWND, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_NCCREATE || message == WM_CREATE || message == WM_DESTROY || message == WM_NCDESTROY)
            lifeMessages.push_back(message);
        return std::nullopt;
    };
    RoutingClass windows{"qxWindowLifetimeTest"};
};

TEST_F(WindowLifetime, CreationSendsNcCreateThenCreateWithTheCreationParameter) {
    void* seenParameter = nullptr;
    Handler handler = [&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
        if (message == WM_CREATE) seenParameter = reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams;
        return recordLife(window, message, wParam, lParam);
    };
    HWND window = windows.create(&handler);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(lifeMessages, (std::vector<UINT>{WM_NCCREATE, WM_CREATE}));
    EXPECT_EQ(seenParameter, &handler);
    EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(WindowLifetime, CreateAnsweringMinusOneOrNcCreateAnsweringFalseAbortsCreation) {
    HWND created = nullptr;
    UINT refuse = WM_CREATE;
    Handler handler = [&](HWND window, UINT message, WPARAM, LPARAM) -> std::optional<LRESULT> {
        if (message == WM_NCCREATE) created = window;
        if (message == refuse) return message == WM_CREATE ? -1 : FALSE;
        return std::nullopt;
    };
    EXPECT_EQ(windows.create(&handler), nullptr);
    ASSERT_NE(created, nullptr);
    EXPECT_FALSE(IsWindow(created));

    refuse = WM_NCCREATE;
    created = nullptr;
    EXPECT_EQ(windows.create(&handler), nullptr);
    ASSERT_NE(created, nullptr);
    EXPECT_FALSE(IsWindow(created));
}

TEST_F(WindowLifetime, DestroySendsDestroyThenNcDestroyAndEndsTheHandle) {
    BOOL aliveDuringDestroy = FALSE;
    Handler handler = [&](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> std::optional<LRESULT> {
        if (message == WM_DESTROY) aliveDuringDestroy = IsWindow(window);
        return recordLife(window, message, wParam, lParam);
    };
    HWND window = windows.create(&handler);
    ASSERT_NE(window, nullptr);
    lifeMessages.clear();
    EXPECT_TRUE(DestroyWindow(window));
    EXPECT_EQ(lifeMessages, (std::vector<UINT>{WM_DESTROY, WM_NCDESTROY}));
    EXPECT_TRUE(aliveDuringDestroy);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_FALSE(DestroyWindow(window));
}

TEST_F(WindowLifetime, CloseDestroysTheWindowThroughDefWindowProc) {
    HWND window = windows.create(&recordLife);
    ASSERT_NE(window, nullptr);
    SendMessageA(window, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(lifeMessages.back(), UINT{WM_NCDESTROY});
}

TEST_F(WindowLifetime, OnlyTheOwningThreadMayDestroyAWindow) {
    HWND window = windows.create(&recordLife);
    ASSERT_NE(window, nullptr);
    BOOL destroyed = TRUE;
    DWORD error = 0;
    std::thread([&] {
        SetLastError(0);
        destroyed = DestroyWindow(window);
        error = GetLastError();
    }).join();
    EXPECT_FALSE(destroyed);
    EXPECT_EQ(error, DWORD{ERROR_ACCESS_DENIED});
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(WindowLifetime, DestroyDropsTheWindowsPostedMessages) {
    Handler ignore;
    HWND doomed = windows.create(&ignore);
    HWND survivor = windows.create(&ignore);
    ASSERT_NE(doomed, nullptr);
    ASSERT_NE(survivor, nullptr);
    ASSERT_TRUE(PostMessageA(doomed, kTestMessage, 1, 0));
    ASSERT_TRUE(PostMessageA(survivor, kTestMessage, 2, 0));
    ASSERT_TRUE(PostMessageA(doomed, kTestMessage, 3, 0));
    EXPECT_TRUE(DestroyWindow(doomed));

    std::vector<WPARAM> left;
    MSG message;
    while (PeekMessageA(&message, nullptr, kTestMessage, kTestMessage, PM_REMOVE)) left.push_back(message.wParam);
    EXPECT_EQ(left, (std::vector<WPARAM>{2}));
    EXPECT_TRUE(DestroyWindow(survivor));
}

TEST_F(WindowLifetime, AWindowBelongsToTheThreadThatCreatedIt) {
    Handler ignore;
    HWND window = windows.create(&ignore);
    ASSERT_NE(window, nullptr);
    DWORD process = 0;
    EXPECT_EQ(GetWindowThreadProcessId(window, &process), GetCurrentThreadId());
    EXPECT_EQ(process, GetCurrentProcessId());
    EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(WindowLifetime, FindWindowFindsTopLevelWindowsByClassAndName) {
    Handler ignore;
    HWND topLevel = windows.create(&ignore, nullptr, "qx find me");
    ASSERT_NE(topLevel, nullptr);

    EXPECT_EQ(FindWindowA("qxWindowLifetimeTest", nullptr), topLevel);
    EXPECT_EQ(FindWindowA(nullptr, "qx find me"), topLevel);
    EXPECT_EQ(FindWindowA("qxWindowLifetimeTest", "qx find me"), topLevel);
    EXPECT_EQ(FindWindowA("qxWindowLifetimeTest", "another name"), nullptr);

    EXPECT_TRUE(DestroyWindow(topLevel));
    EXPECT_EQ(FindWindowA("qxWindowLifetimeTest", nullptr), nullptr);
}

// As FindWindowEx with no parent does, FindWindowA looks at the top-level
// windows first and then at the message-only ones.
TEST_F(WindowLifetime, FindWindowFindsAMessageOnlyWindowAfterTheTopLevelOnes) {
    RoutingClass hidden("qxFindHiddenTest");
    Handler ignore;
    HWND messageOnly = hidden.create(&ignore, HWND_MESSAGE, "qx hidden");
    HWND topLevel = hidden.create(&ignore, nullptr, "qx hidden");
    HWND laterMessageOnly = windows.create(&ignore, HWND_MESSAGE, "qx only hidden");
    ASSERT_NE(messageOnly, nullptr);
    ASSERT_NE(topLevel, nullptr);
    ASSERT_NE(laterMessageOnly, nullptr);

    EXPECT_EQ(FindWindowA("qxFindHiddenTest", "qx hidden"), topLevel);
    EXPECT_EQ(FindWindowA(nullptr, "qx only hidden"), laterMessageOnly);
    EXPECT_TRUE(DestroyWindow(topLevel));
    EXPECT_EQ(FindWindowA("qxFindHiddenTest", nullptr), messageOnly);
    EXPECT_EQ(FindWindowA(nullptr, "qx hidden"), messageOnly);

    EXPECT_TRUE(DestroyWindow(messageOnly));
    EXPECT_TRUE(DestroyWindow(laterMessageOnly));
    EXPECT_EQ(FindWindowA("qxFindHiddenTest", nullptr), nullptr);
}

// ------------------------------------------------------------------ handles

class WindowHandles : public ::testing::Test {
protected:
    Handler answer = [](HWND, UINT message, WPARAM wParam, LPARAM) -> std::optional<LRESULT> {
        if (message == kTestMessage) return static_cast<LRESULT>(wParam) + 1;
        return std::nullopt;
    };
    RoutingClass windows{"qxWindowHandlesTest"};
};

TEST_F(WindowHandles, AHandleIsThirtyTwoBitsWithAGeneration) {
    HWND window = windows.create(&answer);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(reinterpret_cast<UINT_PTR>(window) >> 16 >> 16, 0u);
    EXPECT_NE(LOWORD(reinterpret_cast<UINT_PTR>(window)), 0);
    EXPECT_NE(generationOf(window), 0);
    EXPECT_NE(generationOf(window), 0xFFFF);
    EXPECT_TRUE(DestroyWindow(window));
}

TEST_F(WindowHandles, TheLowSixteenBitsReachTheWindow) {
    HWND window = windows.create(&answer);
    ASSERT_NE(window, nullptr);
    const WPARAM lowHalf = reinterpret_cast<UINT_PTR>(window) & 0xFFFF;
    HWND byIndex = reinterpret_cast<HWND>(static_cast<UINT_PTR>(lowHalf));
    EXPECT_TRUE(IsWindow(byIndex));
    EXPECT_EQ(SendMessageA(byIndex, kTestMessage, 41, 0), 42);
    EXPECT_EQ(SendMessageA(withHighHalf(window, 0xFFFF), kTestMessage, 9, 0), 10);
    EXPECT_TRUE(PostMessageA(byIndex, kTestMessage, 1, 0));
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, nullptr, kTestMessage, kTestMessage, PM_REMOVE));
    EXPECT_EQ(message.hwnd, window);  // the full handle
    EXPECT_TRUE(DestroyWindow(byIndex));
    EXPECT_FALSE(IsWindow(window));
}

TEST_F(WindowHandles, AHandleWithAnotherGenerationIsNotAWindow) {
    HWND window = windows.create(&answer);
    ASSERT_NE(window, nullptr);
    WORD other = static_cast<WORD>(generationOf(window) ^ 0x0100);
    if (other == 0 || other == 0xFFFF) other = static_cast<WORD>(generationOf(window) ^ 0x0200);
    HWND stale = withHighHalf(window, other);
    EXPECT_FALSE(IsWindow(stale));
    SetLastError(0);
    EXPECT_EQ(SendMessageA(stale, kTestMessage, 1, 0), 0);
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_WINDOW_HANDLE});
    EXPECT_FALSE(PostMessageA(stale, kTestMessage, 1, 0));
    EXPECT_TRUE(DestroyWindow(window));
}

// When a slot is used again, the new window gets another generation, so the
// old full handle stays invalid.
TEST_F(WindowHandles, AReusedSlotGetsANewGeneration) {
    HWND first = windows.create(&answer);
    ASSERT_NE(first, nullptr);
    ASSERT_TRUE(DestroyWindow(first));
    HWND reused = nullptr;
    for (int attempt = 0; attempt < 0x10010 && reused == nullptr; ++attempt) {
        HWND window = windows.create(&answer);
        ASSERT_NE(window, nullptr);
        if (LOWORD(reinterpret_cast<UINT_PTR>(window)) == LOWORD(reinterpret_cast<UINT_PTR>(first))) {
            reused = window;
        } else {
            ASSERT_TRUE(DestroyWindow(window));
        }
    }
    if (reused == nullptr) GTEST_SKIP() << "the slot was not reused";
    EXPECT_NE(reused, first);
    EXPECT_FALSE(IsWindow(first));
    EXPECT_EQ(SendMessageA(first, kTestMessage, 1, 0), 0);
    EXPECT_TRUE(DestroyWindow(reused));
}

}  // namespace
