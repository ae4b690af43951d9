// Whatever a hub sends: texts under every queueing id, device-mode and
// configuration-change texts, numeric database changes and raw copy-data
// envelopes reach one client, whose drain must check, drop or deliver them
// without reading past anything.
#include <qxplatform.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "qxClient.h"
#include "zorvwm32.h"

namespace {

class Sink : public IqxClientCallback {
public:
    void connected() override {}
    void disconnected() override {}
    void infoRevertive(int, int, const std::string& value) override { touch(value); }
    void routerRevertive(int, int, int) override {}
    void gpiRevertive(int, int, bool) override {}
    void databaseChange(int, int, int) override {}
    void deviceMode(int, int, qx::redundancyState) override {}
    void deviceMessage(int, int, const std::string& message, int) override { touch(message); }
    void pollError(int, int) override {}
    void configChangeMessage(const std::string& message) override { touch(message); }

private:
    void touch(const std::string& text) { total_ += text.size(); }
    std::size_t total_ = 0;
};

qxClient& client() {
    static Sink sink;
    static qxClient* instance = new qxClient(&sink, "qxClient");
    return *instance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    HWND window = client().getMessageWindow();
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto lParam = reinterpret_cast<LPARAM>(text.c_str());
    const UINT ids[] = {2123, 2224, 2234, 2244, 49170, 49239};
    SendMessageA(window, ids[size % 6], 0, lParam);

    unsigned record[3] = {};
    std::memcpy(record, data, size < sizeof record ? size : sizeof record);
    SendMessageA(window, 49854, 0, reinterpret_cast<LPARAM>(record));
    SendMessageA(window, 2174, record[0], static_cast<LPARAM>(record[1]));

    std::vector<unsigned char> block(data, data + size);
    COPYDATASTRUCT envelope{};
    envelope.dwData = (static_cast<ULONG_PTR>(ids[size % 4]) << 16);
    envelope.cbData = static_cast<DWORD>(block.size() > 512 ? 512 : block.size());
    envelope.lpData = block.data();
    copyDataReceive(window, window, &envelope);

    qxplatform::pumpPending();
    return 0;
}
