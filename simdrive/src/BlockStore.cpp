#include "BlockStore.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

uint32_t LoadBig32(const uint8_t* at) {
    return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}

bool IsZeroBlock(const uint8_t* data) {
    static const uint8_t zeros[kBlockBytes] = {};
    return std::memcmp(data, zeros, kBlockBytes) == 0;
}

}  // namespace

void FillPatternBlock(uint32_t lba, uint8_t* out) {
    const uint8_t word[4] = {static_cast<uint8_t>(lba >> 24), static_cast<uint8_t>(lba >> 16),
                             static_cast<uint8_t>(lba >> 8), static_cast<uint8_t>(lba)};
    uint64_t two = 0;
    std::memcpy(&two, word, 4);
    std::memcpy(reinterpret_cast<uint8_t*>(&two) + 4, word, 4);
    for (uint32_t i = 0; i < kBlockBytes; i += 8) std::memcpy(out + i, &two, 8);
}

bool IsPatternBlock(uint32_t lba, const uint8_t* data) {
    for (uint32_t i = 0; i < kBlockBytes; i += 4)
        if (LoadBig32(data + i) != lba) return false;
    return true;
}

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
    const bool pattern = IsPatternBlock(lba, data);
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
