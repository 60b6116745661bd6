// Text helpers of the diagnostic program: numbers, disc sizes, the local date
// and time, elapsed seconds, big-endian reads from reply buffers and the text
// that names the running system for the test log header.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Services.h"

namespace drive {

// Modes: 0 hexadecimal "X h", 1 decimal, 2 "decimal(hex h)", 3 "hex h(decimal)";
// padded: every number left-aligned in 8 columns.  The value is a 32-bit
// number: the decimal form reads it as signed, the hexadecimal as unsigned.
// Other modes give an empty text.
std::string FormatNumber(uint32_t value, uint8_t padded, int mode);
// Mode 0 "yyyy/mm/dd hh:mm:ss", 1 the date, 2 the time; others empty.
std::string FormatNow(int mode);
// "hh:mm:ss"; hours are not wrapped.
std::string FormatSeconds(uint32_t seconds);
// Size of a count of 2048-byte blocks in GB, MB or KB; the unit follows the
// decimal magnitude of the block count (999 blocks "1998 KB", 1000 "2.0 MB").
std::string FormatDiscSize(uint32_t blocks);

uint32_t ReadBigEndian32(const uint8_t* bytes);
uint16_t ReadBigEndian16(const uint8_t* bytes);

// The running system: on Windows built from the version records (and the
// registry's product type), for example "Windows XP Professional Service
// Pack 2 (Build 2600)"; a system that is not Windows gives its own name.
std::string GetWindowsVersionText();
// Edition and build part of an NT-family system.
std::string GetWindowsEditionText(uint8_t extended, platform::OsVersionInfo info);

}  // namespace drive
