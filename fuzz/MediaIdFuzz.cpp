// Any disc structure data through the media identifier parser, for each DVD
// family: both texts stay within their fields and end in a NUL, and nothing
// else of the record changes.
//
// Input: byte 0 picks the disc type, the rest is the structure data after
// its 4-byte header.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <span>

#include "drive/DiscInfo.h"

namespace {

constexpr drive::DiscTypeCode kDvdCodes[] = {drive::kDiscDvdRom, drive::kDiscDvdRam,     drive::kDiscDvdR,
                                             drive::kDiscDvdRw,  drive::kDiscDvdRDl,     drive::kDiscDvdPlusR,
                                             drive::kDiscDvdPlusRw, drive::kDiscDvdPlusRDl};

[[noreturn]] void Fail(const char* why) {
    std::fprintf(stderr, "fuzz check failed: %s\n", why);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    drive::DiscRecord record;
    std::memset(&record, 0x5A, sizeof record);
    record.DiscType = kDvdCodes[data[0] % std::size(kDvdCodes)];
    const drive::DiscRecord before = record;
    if (!drive::ParseDvdMediaId(record, std::span(data + 1, size - 1))) Fail("the parser said no");
    if (strnlen(record.IdentityText, sizeof record.IdentityText) == sizeof record.IdentityText)
        Fail("identity text without its NUL");
    if (strnlen(record.SecondText, sizeof record.SecondText) == sizeof record.SecondText)
        Fail("second text without its NUL");
    if (std::memcmp(&record, &before, offsetof(drive::DiscRecord, IdentityText)) != 0)
        Fail("the parser changed other fields");
    return 0;
}
