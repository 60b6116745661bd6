#include "BlockStore.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

// The pattern is written and checked as vectors that hold the big-endian
// word of the block's address several times over: a pressed disc's read costs
// about what a copy of its data would, and so does the check of every block a
// test writes.  The fill is built on x86-64 for AVX-512, for AVX2 and for
// neither.
uint32_t PatternWord(uint32_t lba) {
    const uint8_t word[4] = {static_cast<uint8_t>(lba >> 24), static_cast<uint8_t>(lba >> 16),
                             static_cast<uint8_t>(lba >> 8), static_cast<uint8_t>(lba)};
    uint32_t one;
    std::memcpy(&one, word, 4);
    return one;
}

bool IsZeroBlock(const uint8_t* data) {
    static const uint8_t zeros[kBlockBytes] = {};
    return std::memcmp(data, zeros, kBlockBytes) == 0;
}

}  // namespace

#if defined(__x86_64__)
__attribute__((target_clones("avx512f", "avx2", "default")))
#endif
void FillPatternBlock(uint32_t lba, uint8_t* out) {
    using Lanes = uint32_t __attribute__((vector_size(64)));
    const uint32_t one = PatternWord(lba);
    const Lanes value = {one, one, one, one, one, one, one, one, one, one, one, one, one, one, one, one};
    for (uint32_t i = 0; i < kBlockBytes; i += 128) {
        std::memcpy(out + i, &value, 64);
        std::memcpy(out + i + 64, &value, 64);
    }
}

bool IsPatternBlock(uint32_t lba, const uint8_t* data) {
    using Lanes = uint32_t __attribute__((vector_size(16)));
    const uint32_t one = PatternWord(lba);
    const Lanes value = {one, one, one, one};
    for (uint32_t i = 0; i < kBlockBytes; i += 64) {
        Lanes v0, v1, v2, v3;
        std::memcpy(&v0, data + i, 16);
        std::memcpy(&v1, data + i + 16, 16);
        std::memcpy(&v2, data + i + 32, 16);
        std::memcpy(&v3, data + i + 48, 16);
        const Lanes d = (v0 ^ value) | (v1 ^ value) | (v2 ^ value) | (v3 ^ value);
        if ((d[0] | d[1] | d[2] | d[3]) != 0) return false;
    }
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
