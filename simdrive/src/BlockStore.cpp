#include "BlockStore.h"

#include <algorithm>
#include <cstring>

#include "platform/TestPattern.h"

namespace sim {

namespace {

bool IsZeroBlock(const uint8_t* data) {
    static const uint8_t zeros[kBlockBytes] = {};
    return std::memcmp(data, zeros, kBlockBytes) == 0;
}

}  // namespace

static_assert(kBlockBytes == platform::kPatternBlockBytes);

PATTERN_FILL_CLONES
void FillPatternBlock(uint32_t lba, uint8_t* out) { platform::FillPatternBlock(lba, out); }

void BlockStore::Set(std::vector<uint64_t>& bits, uint32_t lba, bool on) {
    if (bits.empty()) {
        if (!on) return;
        bits.assign((blocks_ + 63) / 64, 0);
    }
    const uint64_t mask = uint64_t{1} << (lba % 64);
    if (on)
        bits[lba / 64] |= mask;
    else
        bits[lba / 64] &= ~mask;
}

void BlockStore::Write(uint32_t lba, const uint8_t* data) {
    if (lba >= blocks_) return;
    Set(written_, lba, true);
    const bool pattern = platform::IsPatternBlock(lba, data);
    Set(pattern_, lba, pattern);
    if (pattern || IsZeroBlock(data)) {
        data_.erase(lba);
        return;
    }
    auto& block = data_[lba];
    if (!block) block = std::make_unique<uint8_t[]>(kBlockBytes);
    std::memcpy(block.get(), data, kBlockBytes);
}

void BlockStore::MarkPattern(uint32_t first, uint32_t count) {
    const uint32_t end = std::min<uint64_t>(uint64_t{first} + count, blocks_);
    for (uint32_t lba = first; lba < end; ++lba) {
        Set(written_, lba, true);
        Set(pattern_, lba, true);
        data_.erase(lba);
    }
}

void BlockStore::Read(uint32_t lba, uint8_t* out) const {
    if (Test(pattern_, lba)) {
        FillPatternBlock(lba, out);
        return;
    }
    const auto found = data_.find(lba);
    if (found != data_.end())
        std::memcpy(out, found->second.get(), kBlockBytes);
    else
        std::memset(out, 0, kBlockBytes);
}

void BlockStore::Erase() {
    written_.clear();
    pattern_.clear();
    data_.clear();
}

size_t BlockStore::BytesUsed() const {
    return (written_.capacity() + pattern_.capacity()) * sizeof(uint64_t) +
           data_.size() * (kBlockBytes + 48);
}

}  // namespace sim
