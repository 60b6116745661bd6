// The recorded blocks of a simulated disc, kept sparse: a block that holds
// the test pattern of its own address costs one bit, an all-zero block one
// bit, any other block its 2048 bytes.  A full single-layer DVD written with
// the pattern therefore needs two bitmaps of about 280 KiB.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "simdrive/Disc.h"

namespace sim {

class BlockStore {
public:
    explicit BlockStore(uint32_t blocks) : blocks_(blocks) {}

    uint32_t Blocks() const { return blocks_; }
    bool IsWritten(uint32_t lba) const { return Test(written_, lba); }
    // Stores one block (lba < Blocks()).
    void Write(uint32_t lba, const uint8_t* data);
    // Marks [first, first + count) recorded with the test pattern.
    void MarkPattern(uint32_t first, uint32_t count);
    // One block: its data when written, zeros otherwise.
    void Read(uint32_t lba, uint8_t* out) const;
    // Forgets every block (a blanked or reformatted disc).
    void Erase();
    // Blocks kept as data, for memory checks.
    size_t DataBlocks() const { return data_.size(); }
    size_t BytesUsed() const;

private:
    static bool Test(const std::vector<uint64_t>& bits, uint32_t lba) {
        return lba / 64 < bits.size() && (bits[lba / 64] >> (lba % 64) & 1) != 0;
    }
    void Set(std::vector<uint64_t>& bits, uint32_t lba, bool on);

    uint32_t blocks_;
    std::vector<uint64_t> written_;
    std::vector<uint64_t> pattern_;
    std::unordered_map<uint32_t, std::unique_ptr<uint8_t[]>> data_;
};

}  // namespace sim
