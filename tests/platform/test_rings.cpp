// The frame ring of a thread, as a process that does not play by its rules
// may leave it: impossible indexes, and frames that the platform's own
// senders never write.
//
// Posix only: the ring is our layer's own way of carrying messages between
// processes.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <windows.h>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "endpoint.h"
#include "frame_ring.h"
#include "qxplatform.h"
#include "session.h"
#include "test_msg_support.h"

namespace {

using msgtest::Handler;
using qxposix::Frame;
using qxposix::FrameRing;
using qxposix::RingFile;

constexpr UINT kPosted = WM_USER + 3;
void* const kChosen = reinterpret_cast<void*>(0x10);  // an address a hostile sender chose

// A window of this thread, and its thread's ring as another process maps it.
class Rings : public ::testing::Test {
protected:
    void SetUp() override {
        window = windows.create(&handler);
        ASSERT_NE(window, nullptr);
        path = qxposix::Session::instance()->endpointPath(GetCurrentProcessId(), GetCurrentThreadId());
        const int fd = ::open(path.c_str(), O_RDWR);
        ASSERT_GE(fd, 0) << path;
        void* mapped = ::mmap(nullptr, sizeof(RingFile), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ::close(fd);
        ASSERT_NE(mapped, MAP_FAILED);
        file = static_cast<RingFile*>(mapped);
        sender = FrameRing::attach(path);
        ASSERT_NE(sender, nullptr);
    }
    void TearDown() override {
        sender.reset();
        if (file != nullptr) ::munmap(file, sizeof(RingFile));
        DestroyWindow(window);
    }

    // Puts a frame for the window, from this thread, as a sender would.
    void put(Frame::Kind kind, UINT message, Frame::Carries carries = Frame::nothing,
             const std::vector<unsigned char>& block = {}) {
        Frame frame{};
        frame.kind = kind;
        frame.window = static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(window));
        frame.message = message;
        frame.senderProcess = GetCurrentProcessId();
        frame.senderThread = GetCurrentThreadId();
        frame.id = 1;
        frame.carries = carries;
        frame.copyLength = static_cast<std::uint32_t>(block.size());
        const auto use = kind == Frame::post ? FrameRing::Use::post : FrameRing::Use::send;
        ASSERT_EQ(sender->put(use, &frame, sizeof frame, block.data(), block.size()), FrameRing::Put::done);
    }

    std::vector<UINT> seen;
    std::vector<unsigned char> copied;
    Handler handler = [this](HWND, UINT message, WPARAM, LPARAM lParam) -> std::optional<LRESULT> {
        if (message < WM_USER && message != WM_COPYDATA) return std::nullopt;
        seen.push_back(message);
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (message == WM_COPYDATA && data->lpData != kChosen) {  // a pointer the sender chose is not read
            const auto* bytes = static_cast<const unsigned char*>(data->lpData);
            copied.assign(bytes, bytes + data->cbData);
        }
        return 1;
    };
    msgtest::RoutingClass windows{"qxRingsTest"};
    HWND window = nullptr;
    std::string path;
    RingFile* file = nullptr;
    std::unique_ptr<FrameRing> sender;
};

// Each way the indexes can be wrong: the ring's frames go with one line on
// standard error, and the thread goes on taking the frames that come next.
TEST_F(Rings, ImpossibleIndexesDropTheFramesAndTheOwnerGoesOn) {
    const std::function<void(RingFile&)> corruptions[] = {
        [](RingFile& ring) { ring.tail += std::uint64_t{1} << 40; },                // tail far past head
        [](RingFile& ring) { ring.tail += FrameRing::kCapacity + 8; },              // more than the ring holds
        [](RingFile& ring) { ring.head = ring.tail + 68; },                         // head past tail
        [](RingFile& ring) { ring.tail += 2; },                                     // less than a length
    };
    for (std::size_t which = 0; which < std::size(corruptions); ++which) {
        SCOPED_TRACE("corruption " + std::to_string(which));
        seen.clear();
        corruptions[which](*file);
        ::testing::internal::CaptureStderr();
        qxplatform::pumpPending();
        const std::string errors = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(errors.find("frame ring"), std::string::npos) << errors;
        EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
        put(Frame::post, kPosted);
        qxplatform::pumpPending();
        EXPECT_EQ(seen, std::vector<UINT>{kPosted});
    }
}

// A sender that skips the block send's refusal: a block with a system
// message, or WM_COPYDATA's block with another message, never reaches the
// procedure; WM_COPYDATA itself arrives as a structure this process built.
TEST_F(Rings, OnlyThePlatformBuildsWhatAProcedureReadsAsData) {
    std::vector<unsigned char> chosen(sizeof(COPYDATASTRUCT));
    const COPYDATASTRUCT pointing{1, 512, kChosen};
    std::memcpy(chosen.data(), &pointing, sizeof pointing);
    put(Frame::send, WM_COPYDATA, Frame::block, chosen);
    put(Frame::send, WM_USER - 1, Frame::block, chosen);
    put(Frame::send, kPosted, Frame::copyData, chosen);
    put(Frame::send, WM_COPYDATA, Frame::copyData, {'a', 'b', 'c'});
    qxplatform::pumpPending();
    EXPECT_EQ(seen, std::vector<UINT>{WM_COPYDATA});
    EXPECT_EQ(copied, (std::vector<unsigned char>{'a', 'b', 'c'}));
}

}  // namespace

#endif
