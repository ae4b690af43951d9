// The blocks that sendMessageWithBlock is delivering right now, with their
// real sizes, so that a receiver can bound what it reads (sentBlockSize).
#pragma once

#include <cstddef>

namespace qxplatform {

// Lists a block for as long as it lives: from the call of its receiver's
// procedure (or of the in-process send) until it returns.
class SentBlock {
public:
    SentBlock(const void* block, std::size_t size);
    ~SentBlock();
    SentBlock(const SentBlock&) = delete;
    SentBlock& operator=(const SentBlock&) = delete;

private:
    const void* block_;
};

}  // namespace qxplatform
