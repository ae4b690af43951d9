// The blocks being delivered by sendMessageWithBlock, process-wide: an
// in-process send lists its block on the sender's thread while the receiver
// reads it on its own.
#include "sent_blocks.h"

#include <algorithm>
#include <mutex>
#include <utility>
#include <vector>

#include "qxplatform.h"

namespace qxplatform {

namespace {

std::mutex blocksMutex;
std::vector<std::pair<const void*, std::size_t>> blocks;  // innermost last

}  // namespace

SentBlock::SentBlock(const void* block, std::size_t size) : block_(block) {
    std::lock_guard<std::mutex> lock(blocksMutex);
    blocks.emplace_back(block, size);
}

SentBlock::~SentBlock() {
    std::lock_guard<std::mutex> lock(blocksMutex);
    const auto found =
        std::find_if(blocks.rbegin(), blocks.rend(), [this](const auto& entry) { return entry.first == block_; });
    if (found != blocks.rend()) blocks.erase(std::next(found).base());
}

std::size_t sentBlockSize(LPARAM lParam) {
    const auto* block = reinterpret_cast<const void*>(lParam);
    std::lock_guard<std::mutex> lock(blocksMutex);
    const auto found =
        std::find_if(blocks.rbegin(), blocks.rend(), [block](const auto& entry) { return entry.first == block; });
    return found == blocks.rend() ? 0 : found->second;
}

}  // namespace qxplatform
