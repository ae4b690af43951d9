#include "Outbox.h"

#include <cstring>
#include <vector>

#include "zorvwm32.h"

namespace orq {

namespace {

bool sendPlain(const Delivery& delivery, DWORD timeoutMs) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(delivery.to.window, delivery.code, delivery.wParam, delivery.lParam, SMTO_NORMAL,
                               timeoutMs, &result) != 0;
}

bool sendCopyData(HWND from, const Delivery& delivery, DWORD timeoutMs) {
    unsigned char block[zorvwm32::textBlockSize] = {};
    const std::size_t room = delivery.form == Delivery::Form::text ? sizeof block - 1 : sizeof block;
    std::memcpy(block, delivery.bytes.data(), delivery.bytes.size() < room ? delivery.bytes.size() : room);
    COPYDATASTRUCT envelope{};
    envelope.dwData = static_cast<ULONG_PTR>(delivery.code & 0xFFFF) << 16;
    envelope.cbData = zorvwm32::textBlockSize;
    envelope.lpData = block;
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(delivery.to.window, WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                               reinterpret_cast<LPARAM>(&envelope), SMTO_NORMAL, timeoutMs, &result) != 0;
}

bool sendThroughInterfaceLibrary(const Delivery& delivery, DWORD timeoutMs) {
    std::vector<unsigned char> buffer(delivery.bytes.begin(), delivery.bytes.end());
    if (delivery.form == Delivery::Form::text) buffer.push_back(0);
    LONG ignored = 0;
    return zel::sendWithin(delivery.to.window, delivery.code, 0, buffer.data(), zorvwm32::textKind,
                           static_cast<int>(buffer.size()), timeoutMs, ignored);
}

}  // namespace

bool sendDelivery(HWND from, const Delivery& delivery, DWORD timeoutMs) {
    if (delivery.form == Delivery::Form::plain) return sendPlain(delivery, timeoutMs);
    if (delivery.to.transport == Transport::zel) return sendThroughInterfaceLibrary(delivery, timeoutMs);
    return sendCopyData(from, delivery, timeoutMs);
}

std::size_t sendBatched(DeliveryRun first, DeliveryRun last, DWORD timeoutMs) {
    if (first == last) return 0;
    std::vector<zel::Outbound> messages;
    messages.reserve(static_cast<std::size_t>(last - first));
    for (DeliveryRun delivery = first; delivery != last; ++delivery) {
        const bool text = delivery->form == Delivery::Form::text;  // sent with its terminator
        messages.push_back({delivery->code, 0, delivery->bytes.c_str(), zorvwm32::textKind,
                            static_cast<int>(delivery->bytes.size() + (text ? 1 : 0))});
    }
    const int sent = zel::sendManyWithin(first->to.window, messages.data(), static_cast<int>(messages.size()), timeoutMs);
    return sent > 0 ? static_cast<std::size_t>(sent) : 0;
}

}  // namespace orq
