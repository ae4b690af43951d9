#include "Request.h"

#include <cstdint>
#include <cstring>

namespace orq {

DWORD Request::u16At(std::size_t offset) const {
    std::uint16_t value = 0;
    if (block != nullptr && offset + sizeof value <= capacity) std::memcpy(&value, block + offset, sizeof value);
    return value;
}

DWORD Request::u32At(std::size_t offset) const {
    std::uint32_t value = 0;
    if (block != nullptr && offset + sizeof value <= capacity) std::memcpy(&value, block + offset, sizeof value);
    return value;
}

std::string Request::textAt(std::size_t offset) const {
    if (block == nullptr || offset >= capacity) return {};
    const auto* start = reinterpret_cast<const char*>(block + offset);
    const std::size_t room = capacity - offset;
    const void* zero = std::memchr(start, 0, room);
    return std::string(start, zero ? static_cast<const char*>(zero) - start : room);
}

void Request::writeText(std::size_t offset, const std::string& text) {
    if (block == nullptr || offset >= capacity) return;
    const std::size_t room = capacity - offset;
    const std::size_t length = text.size() < room ? text.size() : room;
    std::memcpy(block + offset, text.data(), length);
    std::memset(block + offset + length, 0, room - length);
}

}  // namespace orq
