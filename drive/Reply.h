// Reading drive replies: big-endian fields, and a view that reads only the
// bytes a reply holds (what moved, and what its own length field counts).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "drive/TextHelpers.h"

namespace drive {

inline void PutBigEndian16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}

inline void PutBigEndian32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

// The bytes of a buffer that a reply filled: the first `moved` of them.
inline std::span<const uint8_t> ReplyBytes(std::span<const uint8_t> buffer, size_t moved) {
    return buffer.first(std::min(buffer.size(), moved));
}

// The bytes of one reply: no more than the buffer holds, than the command
// asked for, and than the reply's own length field says it sent.  Fields past
// that end read as zero.
class Reply {
public:
    Reply(std::span<const uint8_t> buffer, size_t asked, size_t sent)
        : bytes_(buffer.first(std::min({buffer.size(), asked, sent}))) {}

    size_t Size() const { return bytes_.size(); }
    bool Holds(size_t offset, size_t count) const {
        return offset <= bytes_.size() && count <= bytes_.size() - offset;
    }
    uint8_t Byte(size_t offset) const { return offset < bytes_.size() ? bytes_[offset] : 0; }
    uint16_t Word16(size_t offset) const {
        return static_cast<uint16_t>((Byte(offset) << 8) | Byte(offset + 1));
    }
    uint32_t Word32(size_t offset) const {
        return (static_cast<uint32_t>(Word16(offset)) << 16) | Word16(offset + 2);
    }
    std::span<const uint8_t> From(size_t offset) const {
        return offset < bytes_.size() ? bytes_.subspan(offset) : std::span<const uint8_t>();
    }

private:
    std::span<const uint8_t> bytes_;
};

}  // namespace drive
