#include "InfodriverBacking.h"

#include "zorvMessages.h"
#include "zorvText.h"
#include "zorvwm32.h"

namespace orq {

InfodriverBacking::~InfodriverBacking() {
    if (tessil_ != nullptr) FreeLibrary(tessil_);
}

HWND InfodriverBacking::find(int device) {
    if (!bound_) {
        bound_ = true;
        tessil_ = LoadLibraryA("tessil32.dll");
        if (tessil_ != nullptr) infoHwnd_ = reinterpret_cast<InfoHwndEntry>(GetProcAddress(tessil_, "infoHwnd"));
    }
    HWND infodriver = infoHwnd_ != nullptr ? infoHwnd_(device) : nullptr;
    return infodriver == stalled_ ? nullptr : infodriver;
}

void InfodriverBacking::noteTimeout(HWND infodriver) {
    if (GetLastError() == ERROR_TIMEOUT) stalled_ = infodriver;
}

bool InfodriverBacking::forwardWrite(int device, int slot, const std::string& text, int workstation) {
    HWND infodriver = find(device);
    if (infodriver == nullptr) return false;
    std::string command = formatText("IW %d '%s' %d %d", device, text.c_str(), slot, workstation);
    SetLastError(0);
    copyDataSend(hub_, infodriver, zorvmsg::infodriverHubWrite, slot, command.data(),
                 static_cast<DWORD>(command.size() + 1), 0, zorvwm32::textKind, zorvwm32::ReplyForm::text, timeoutMs_);
    noteTimeout(infodriver);  // handed over even when late: the infodriver reports what it decides
    return true;
}

bool InfodriverBacking::readSlot(int device, int slot, std::string& text) {
    HWND infodriver = find(device);
    if (infodriver == nullptr) return false;
    char block[zorvwm32::textBlockSize + 1] = {};
    SetLastError(0);
    if (copyDataSend(hub_, infodriver, zorvmsg::slotGet, slot, block, zorvwm32::textBlockSize,
                     zorvwm32::textBlockSize, zorvwm32::textKind, zorvwm32::ReplyForm::text, timeoutMs_) == 0) {
        noteTimeout(infodriver);
        return false;
    }
    text = block;
    return true;
}

}  // namespace orq
