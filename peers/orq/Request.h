// One request as the hub's handler sees it: a code with its parameter and
// the block that came in a copy-data envelope or an interface-library frame.
// The handler may rewrite the block to send a reply text back.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

#include "ClientRegistry.h"

namespace orq {

struct Request {
    UINT code = 0;
    DWORD parameter = 0;              // 16 bits through wm, 32 through the interface library
    unsigned char* block = nullptr;   // null for a numeric request
    std::size_t capacity = 0;         // bytes of block that may be read and written
    LPARAM number = 0;                // the value of a numeric request
    HWND requester = nullptr;         // null when the transport names no sender
    Transport transport = Transport::wm;

    // Fields of a binary record in the machine's byte order; 0 beyond the block.
    DWORD u16At(std::size_t offset) const;
    DWORD u32At(std::size_t offset) const;
    // The text that starts at offset, up to its zero byte or the block's end.
    std::string textAt(std::size_t offset) const;
    // Writes a text at offset and zero-fills the block behind it, so that no
    // request bytes remain behind a short answer. A text that fills the rest
    // of the block is cut there without a terminator, as a reply capacity
    // cuts it on the client's side.
    void writeText(std::size_t offset, const std::string& text);
};

}  // namespace orq
