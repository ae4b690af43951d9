// Reads a fuzz input as a script: small numbers that pick operations and
// sizes, and pieces of bytes that become texts and blocks. Past the end every
// read gives 0 or nothing, so that any input is a whole script.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace qxfuzz {

class FuzzInput {
public:
    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool empty() const { return position_ >= size_; }

    std::uint8_t byte() { return empty() ? 0 : data_[position_++]; }
    std::uint16_t u16() { return static_cast<std::uint16_t>(byte() | (byte() << 8)); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(u16() | (static_cast<std::uint32_t>(u16()) << 16)); }

    // One of the values, picked by the next byte.
    template <typename T, std::size_t N>
    const T& pick(const T (&values)[N]) {
        return values[byte() % N];
    }

    // The bytes up to the next newline (dropped) or the end: one piece of text,
    // which may hold zero bytes.
    std::string line() {
        std::string text;
        while (!empty()) {
            const char next = static_cast<char>(data_[position_++]);
            if (next == '\n') break;
            text += next;
        }
        return text;
    }

    // At most `count` raw bytes.
    std::vector<unsigned char> bytes(std::size_t count) {
        const std::size_t left = size_ - (empty() ? size_ : position_);
        const std::size_t taken = count < left ? count : left;
        std::vector<unsigned char> piece(data_ + position_, data_ + position_ + taken);
        position_ += taken;
        return piece;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

// Runs step(input) until the input is used up or `maxSteps` steps ran, so
// that every input takes a bounded time.
template <typename Step>
void runSteps(const std::uint8_t* data, std::size_t size, std::size_t maxSteps, Step&& step) {
    FuzzInput input(data, size);
    for (std::size_t i = 0; i < maxSteps && !input.empty(); ++i) step(input);
}

}  // namespace qxfuzz
