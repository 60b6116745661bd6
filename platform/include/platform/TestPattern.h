// The test pattern the read/write tests record: each 4-byte word of a
// 2048-byte block holds the block's address, big-endian.  The drive layer
// fills and checks it; the simulated drive fills it for a pressed disc and
// recognises it, so that a disc written with it costs a bit per block.
//
// Both are written for speed: the fill stores one 64-byte vector that holds
// the word sixteen times (as fast as a memory copy), the check gathers the
// differences in four vector lanes and looks at them once at the end (as fast
// as a memory compare).  A caller that fills blocks marks itself
// PATTERN_FILL_CLONES, so that the fill it inlines is built on x86-64 for
// AVX-512, for AVX2 and for neither, the one the processor has chosen at run
// time.
#pragma once

#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#define PATTERN_FILL_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define PATTERN_FILL_CLONES
#endif

namespace platform {

inline constexpr uint32_t kPatternBlockBytes = 2048;

// The big-endian word of `lba` as it lies in memory.
inline uint32_t PatternWord(uint32_t lba) {
    const uint8_t word[4] = {static_cast<uint8_t>(lba >> 24), static_cast<uint8_t>(lba >> 16),
                             static_cast<uint8_t>(lba >> 8), static_cast<uint8_t>(lba)};
    uint32_t one;
    std::memcpy(&one, word, 4);
    return one;
}

// The pattern of block `lba` into the kPatternBlockBytes bytes at `out`.
[[gnu::always_inline]] inline void FillPatternBlock(uint32_t lba, uint8_t* out) {
    using Lanes = uint32_t __attribute__((vector_size(64)));
    const uint32_t one = PatternWord(lba);
    const Lanes value = {one, one, one, one, one, one, one, one, one, one, one, one, one, one, one, one};
    for (uint32_t offset = 0; offset < kPatternBlockBytes; offset += 128) {
        std::memcpy(out + offset, &value, 64);
        std::memcpy(out + offset + 64, &value, 64);
    }
}

// Whether the kPatternBlockBytes bytes at `data` hold the pattern of `lba`.
inline bool IsPatternBlock(uint32_t lba, const uint8_t* data) {
    using Lanes = uint64_t __attribute__((vector_size(16)));
    const uint32_t one = PatternWord(lba);
    const uint64_t pair = (static_cast<uint64_t>(one) << 32) | one;
    const Lanes expected = {pair, pair};
    Lanes d0 = {0, 0}, d1 = d0, d2 = d0, d3 = d0;
    for (uint32_t offset = 0; offset < kPatternBlockBytes; offset += 64) {
        Lanes v0, v1, v2, v3;
        std::memcpy(&v0, data + offset, 16);
        std::memcpy(&v1, data + offset + 16, 16);
        std::memcpy(&v2, data + offset + 32, 16);
        std::memcpy(&v3, data + offset + 48, 16);
        d0 |= v0 ^ expected;
        d1 |= v1 ^ expected;
        d2 |= v2 ^ expected;
        d3 |= v3 ^ expected;
    }
    const Lanes all = d0 | d1 | d2 | d3;
    return (all[0] | all[1]) == 0;
}

}  // namespace platform
