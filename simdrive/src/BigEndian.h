// Big-endian fields of command blocks, replies and disc structures.
#pragma once

#include <cstdint>

namespace sim {

inline uint32_t Big32(const uint8_t* at) {
    return uint32_t{at[0]} << 24 | uint32_t{at[1]} << 16 | uint32_t{at[2]} << 8 | at[3];
}
inline uint16_t Big16(const uint8_t* at) { return static_cast<uint16_t>(at[0] << 8 | at[1]); }
inline void PutBig32(uint8_t* at, uint32_t value) {
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}
inline void PutBig16(uint8_t* at, uint16_t value) {
    at[0] = static_cast<uint8_t>(value >> 8);
    at[1] = static_cast<uint8_t>(value);
}

}  // namespace sim
