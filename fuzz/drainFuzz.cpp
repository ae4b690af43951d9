// What an infodriver sends to a driver: slot-write requests and device
// messages of any text, in envelopes of any size or as numbers, and the other
// messages of the link, reaching a qxInfodriver connected to an in-process
// infodriver (device 7). The queue and its drain must check, refuse or
// deliver every record without reading past it.
#include <cstdint>
#include <string>
#include <vector>

#include "Infodriver.h"
#include "fuzzInput.h"
#include "fuzzWindow.h"
#include "qxInfodriver.h"
#include "qxplatform.h"
#include "zorvMessages.h"
#include "zorvwm32.h"

namespace {

using namespace zorvmsg;

constexpr int device = 7;
constexpr std::size_t maxSteps = 48;
constexpr UINT codes[] = {slotWriteRequest, deviceMessageCommand, hubDisconnects, redundancyStandby,
                          redundancyOffer, redundancyWilling, redundancyDemote, 2334, 2999};
constexpr DWORD sizes[] = {0, 1, 16, 100, 512};

class Sink : public IqxInfodriverCallback {
public:
    void slotWrite(int, int, const std::string& text) override { touch(text); }
    void deviceMessage(int, int, const std::string& text, const std::string& second,
                       const std::string& third) override {
        touch(text + second + third);
    }
    void redundancyChange(int, qx::redundancyState) override {}
    void connected(int) override {}
    void disconnected(int) override {}

private:
    void touch(const std::string& text) { total_ += text.size(); }
    std::size_t total_ = 0;
};

void step(qxfuzz::FuzzInput& input, HWND driver, HWND infodriver) {
    const UINT code = input.pick(codes);
    switch (input.byte() % 4) {
    case 0: {  // a text in an envelope of the wire's size
        const WPARAM parameter = input.u16();
        std::string block = input.line();
        block.resize(zorvwm32::textBlockSize);
        COPYDATASTRUCT envelope{(static_cast<ULONG_PTR>(code) << 16) | parameter, zorvwm32::textBlockSize,
                                block.data()};
        SendMessageA(driver, WM_COPYDATA, reinterpret_cast<WPARAM>(infodriver), reinterpret_cast<LPARAM>(&envelope));
        break;
    }
    case 1: {  // raw bytes in an envelope of any size
        COPYDATASTRUCT envelope{};
        envelope.dwData = (static_cast<ULONG_PTR>(code) << 16) | input.u16();
        envelope.cbData = input.pick(sizes);
        std::vector<unsigned char> block = input.bytes(envelope.cbData);
        block.resize(envelope.cbData);
        envelope.lpData = block.empty() ? nullptr : block.data();
        SendMessageA(driver, WM_COPYDATA, reinterpret_cast<WPARAM>(infodriver), reinterpret_cast<LPARAM>(&envelope));
        break;
    }
    case 2: {  // a plain message with a text pointer, as a same-process sender makes it
        const WPARAM parameter = input.u16();
        const std::string text = input.line();
        SendMessageA(driver, code, parameter, reinterpret_cast<LPARAM>(text.c_str()));
        break;
    }
    default: qxplatform::pumpPending(); break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    qxfuzz::isolateWorkstation();
    infodriver::Infodriver::registerClasses();  // once per process; later calls find the classes
    const infodriver::InfodriverOptions options;
    Sink sink;
    {
        infodriver::Infodriver stand(device, 10, {}, options);
        stand.create();
        qxInfodriver driver(&sink, "qxInfodriver");
        driver.connect(device, qx::wm, 0);
        qxfuzz::runSteps(data, size, maxSteps,
                         [&](qxfuzz::FuzzInput& input) { step(input, driver.getMessageWindow(), stand.window()); });
        qxplatform::pumpPending();
    }
    qxplatform::pumpPending();
    return 0;
}
