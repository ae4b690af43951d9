// The frame that carries one request of the interface-library transport.
// It is contiguous and holds no pointers (a header, then `size` payload bytes,
// then a zero byte), so a transport between processes can copy it there and
// back as it stands.
#pragma once

#include <cstddef>
#include <cstdint>

struct ZelFrame {
    static constexpr std::uint32_t expectedMagic = 0x314C455A;  // "ZEL1"

    std::uint32_t magic;
    std::uint32_t code;
    std::int32_t parameter;
    std::int32_t kind;  // 1: text or record block; 0: one 32-bit number
    std::uint32_t size;
    std::uint32_t reserved;

    unsigned char* data() { return reinterpret_cast<unsigned char*>(this + 1); }

    // Whether a block of `length` bytes (as the transport tells, never as the
    // frame claims) holds a whole frame: its header and `size` payload bytes.
    static bool fits(const void* block, std::size_t length) {
        if (block == nullptr || length < sizeof(ZelFrame)) return false;
        return static_cast<const ZelFrame*>(block)->size <= length - sizeof(ZelFrame);
    }
};
