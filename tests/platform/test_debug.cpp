// Debug output capture and the message box stand-in.
#include "platform_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#ifndef _WIN32
#include <cstdio>
#include <unistd.h>
#endif

namespace {

TEST(DebugOutput, EachStringReachesEveryCaptureWhole) {
    qxplatform::DebugCapture first;
    {
        qxplatform::DebugCapture second;
        OutputDebugStringA("qxClient: one\n");
        OutputDebugStringA("two, without a line feed");
        EXPECT_EQ(second.lines(), (std::vector<std::string>{"qxClient: one\n", "two, without a line feed"}));
    }
    OutputDebugStringA("three\n");  // the ended capture no longer counts
    EXPECT_EQ(first.lines().size(), 3u);
    EXPECT_TRUE(first.contains("qxClient: one\ntwo, without a line feedthree\n"));
    first.clear();
    EXPECT_TRUE(first.lines().empty());
}

TEST(DebugOutput, StringsFromManyThreadsAllArrive) {
    constexpr int kThreads = 4, kLines = 250;
    qxplatform::DebugCapture capture;
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
        writers.emplace_back([t] {
            for (int i = 0; i < kLines; ++i) {
                OutputDebugStringA(("thread " + std::to_string(t) + " line " + std::to_string(i) + "\n").c_str());
            }
        });
    }
    for (auto& writer : writers) writer.join();
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
    for (const auto& line : lines) EXPECT_EQ(line.rfind("thread ", 0), 0u) << line;
}

// Standard error is a POSIX-side convenience, and a real message box would
// wait for a click: these run on our backend only.
#ifndef _WIN32

// Collects what the process writes to standard error while it lives.
class StandardErrorCapture {
public:
    StandardErrorCapture() : file_(std::tmpfile()), saved_(dup(STDERR_FILENO)) {
        std::fflush(stderr);
        dup2(fileno(file_), STDERR_FILENO);
    }
    ~StandardErrorCapture() {
        restore();
        std::fclose(file_);
    }
    std::string text() {
        restore();
        std::string all;
        std::rewind(file_);
        for (int c; (c = std::fgetc(file_)) != EOF;) all += static_cast<char>(c);
        return all;
    }

private:
    void restore() {
        if (saved_ < 0) return;
        std::fflush(stderr);
        dup2(saved_, STDERR_FILENO);
        close(saved_);
        saved_ = -1;
    }
    std::FILE* file_;
    int saved_;
};

TEST(DebugOutput, GoesToStandardErrorOnRequest) {
    {
        platformtest::ScopedEnvironment flag("QX_DEBUG_STDERR", "1");
        StandardErrorCapture captured;
        OutputDebugStringA("visible\n");
        OutputDebugStringA("qxClient: no line feed");
        OutputDebugStringA("");
        EXPECT_EQ(captured.text(), "visible\nqxClient: no line feed\n");
    }
    for (const char* off : {"0", ""}) {
        platformtest::ScopedEnvironment flag("QX_DEBUG_STDERR", off);
        StandardErrorCapture captured;
        OutputDebugStringA("hidden\n");
        EXPECT_EQ(captured.text(), "");
    }
}

TEST(MessageBox, WritesOneLineToStandardErrorAndAnswersOk) {
    StandardErrorCapture captured;
    EXPECT_EQ(MessageBoxA(nullptr, "Cannot create the message window", "qxClient", MB_OK | MB_ICONERROR), IDOK);
    EXPECT_EQ(captured.text(), "[MessageBox] qxClient: Cannot create the message window\n");
}

#endif

}  // namespace
