// The hidden message window that each native client object owns: a window
// class of its own, named after the object's address, whose one
// pointer-sized extra slot the window procedure fills with the object from
// the creation parameter.
#pragma once

#include <windows.h>

namespace zorvwm32 {

// Registers the class "<classPrefix>_%p" (the owner's address) and creates a
// message-only window of it with the owner as creation parameter. Null when
// the window could not be created (GetLastError tells why).
HWND createOwnedMessageWindow(const char* classPrefix, WNDPROC procedure, void* owner);

// Destroys such a window (its WM_DESTROY runs first) and unregisters its class.
void destroyOwnedMessageWindow(HWND window);

}  // namespace zorvwm32
