// Data sub-blocks, the framing GIF puts around image data and extension
// data: a size byte of 1 to 255 and that many bytes, repeated, up to a size
// byte of 0 (the terminator).
//
// SubBlockReader walks a run of sub-blocks over a byte buffer and never
// reads past it: a run that the buffer ends inside of ends "open" (where a
// size byte should come) or "cut" (inside a block's data), and the reader
// says how many more bytes the run needs, so that a caller reading from a
// source it cannot see whole (a stream) can fetch them and go on.
// SubBlockWriter packs bytes into sub-blocks of at most 255 bytes and never
// writes an empty one, so no block reads as a terminator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace gif::codec {

enum class SubBlockEnd : uint8_t {
    None,        // the walk has not ended
    Terminator,  // the size byte 0 was read
    Open,        // the bytes end where a size byte should come
    Cut,         // the bytes end inside a block's data
};

class SubBlockReader {
public:
    explicit SubBlockReader(std::span<const uint8_t> bytes = {}) : bytes_(bytes) {}

    // The next whole block's data; false when the walk ends (End() says how).
    bool Next(std::span<const uint8_t>& data);

    // The same run, now with more of its bytes (a longer buffer that begins
    // with the bytes given before).  An open or cut end is taken back; the
    // walk goes on where it stopped.
    void Extend(std::span<const uint8_t> bytes);

    // Walks the rest of the run without looking at the blocks.
    SubBlockEnd Skip();

    SubBlockEnd End() const { return end_; }
    // Bytes walked: the size bytes and data of the blocks read, the
    // terminator once it was read, and all of the bytes once they ended
    // open or cut.
    size_t Consumed() const;
    // The data of a cut block that the bytes hold (empty otherwise).
    std::span<const uint8_t> Rest() const;
    // How many more bytes the run needs before the walk can go on: 0 after
    // the terminator (and before the walk ended), 1 for an open end, the
    // rest of the block and the next size byte for a cut one.
    size_t Missing() const;

private:
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;  // the next size byte
    SubBlockEnd end_ = SubBlockEnd::None;
};

// Packs bytes into sub-blocks appended to `out`.  Bytes go to a pending
// block; a full one (255 bytes) goes out at once, a shorter one when
// EndBlock is called.
class SubBlockWriter {
public:
    explicit SubBlockWriter(std::vector<uint8_t>& out) : out_(out) {}

    void Write(std::span<const uint8_t> bytes);
    void WriteByte(uint8_t value) {
        buffer_[fill_++] = value;
        if (fill_ == kBlockEnd) FlushFull();
    }
    // The low `count` bytes of value (count at most 8), lowest first.
    void WriteBytes(uint64_t value, int count);
    // Sends the pending bytes as a block of their own (nothing when none).
    void EndBlock();
    // EndBlock, then the terminator.
    void Terminate();

private:
    static constexpr int kBlockEnd = 256;  // size byte and 255 data bytes

    void FlushFull();

    std::vector<uint8_t>& out_;
    uint8_t buffer_[kBlockEnd + 8];  // room past a full block for WriteBytes' overshoot
    int fill_ = 1;
};

}  // namespace gif::codec
