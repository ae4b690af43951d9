// The frame that carries one request of the interface-library transport.
// It is contiguous and holds no pointers (a header, then `size` payload bytes,
// then a zero byte), so a transport between processes can copy it there and
// back as it stands.
//
// A batch carries several one-way messages to one window in one exchange: a
// header with `batchMagic`, the number of frames in `parameter` and their
// bytes in `size`, then the frames, each starting at a multiple of 8 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

struct ZelFrame {
    static constexpr std::uint32_t expectedMagic = 0x314C455A;  // "ZEL1"
    static constexpr std::uint32_t batchMagic = 0x4E4C455A;     // "ZELN"

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

    // The room a frame of `size` payload bytes takes in a batch.
    static constexpr std::size_t batchedLength(std::size_t size) {
        return (sizeof(ZelFrame) + size + 1 + 7) & ~std::size_t{7};
    }
};

// One message of a batch, as the caller of the batch send entry gives it
// (laid out as the callers' own declaration of it).
struct ZelOutbound {
    std::uint32_t code;
    std::int32_t parameter;
    const void* data;
    std::int32_t kind;
    std::int32_t size;
};
