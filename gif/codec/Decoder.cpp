#include "gif/codec/Decoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "gif/codec/SubBlocks.h"

namespace gif::codec {

namespace {

constexpr int kCopyChunk = 16;

uint64_t Load64(const uint8_t* p) {
    if constexpr (std::endian::native == std::endian::little) {
        uint64_t v;
        std::memcpy(&v, p, sizeof v);
        return v;
    } else {
        uint64_t v = 0;
        for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
        return v;
    }
}

void Copy16(uint8_t* dst, const uint8_t* src) {
    uint8_t chunk[kCopyChunk];
    std::memcpy(chunk, src, kCopyChunk);
    std::memcpy(dst, chunk, kCopyChunk);
}

}  // namespace

LzwResult LzwDecoder::Decode(int codeSize, std::span<const uint8_t> codes, const PixelTarget& target) {
    return Run(codeSize, codes, nullptr, target);
}

LzwResult LzwDecoder::Decode(int codeSize, SubBlockReader& blocks, const PixelTarget& target) {
    return Run(codeSize, {}, &blocks, target);
}

LzwResult LzwDecoder::Run(int codeSize, std::span<const uint8_t> codes, SubBlockReader* blocks,
                          const PixelTarget& target) {
    const uint64_t width = static_cast<uint64_t>(std::clamp(target.Width, 0, 65535));
    const uint64_t height = static_cast<uint64_t>(std::clamp(target.Height, 0, 65535));
    in_ = codes.data();
    inEnd_ = codes.data() + codes.size();
    blocks_ = blocks;
    restTaken_ = false;
    initialCodeSize_ = std::clamp(codeSize, 0, 8);
    clearCode_ = 1 << initialCodeSize_;
    endCode_ = clearCode_ + 1;
    std::memset(prefix_, 0, sizeof prefix_);
    for (int i = 0; i < kTableSize; ++i) suffix_[i] = i < clearCode_ ? static_cast<uint8_t>(i) : 0;
    nextCode_ = 0;
    ResetTable();
    firstCode_ = oldCode_ = 0;
    fresh_ = true;
    accumulator_ = 0;
    bits_ = 0;
    int stop = kOutOfCodes;
    LzwResult result;
    if (!target.Interlaced) {
        const uint64_t total = std::min<uint64_t>(width * height, target.Pixels.size());
        result.Pixels = total == 0 ? 0 : PlaceLinear(target.Pixels.data(), total, target.Fill, stop);
        if (result.Pixels == total) stop = 0;
    } else {
        const uint64_t rows = width == 0 ? 0 : std::min<uint64_t>(height, target.Pixels.size() / width);
        result.Pixels = rows == 0 ? 0 : Place(target.Pixels.data(), static_cast<int>(width), static_cast<int>(rows), stop);
        if (result.Pixels == width * rows) stop = 0;
    }
    switch (stop) {
    case 0: result.Status = LzwStatus::Full; break;
    case kEndCode: result.Status = LzwStatus::EndCode; break;
    case kCircular: result.Status = LzwStatus::Circular; break;
    default:
        result.Status = LzwStatus::OutOfCodes;
        result.BitsLeft = bits_;
        break;
    }
    return result;
}

// Decodes the next code's string onto the stack (first pixel on top).
// 0 when pixels are on the stack, otherwise the reason to stop.
int LzwDecoder::NextCode() {
    const int code = ReadCode(codeWidth_);
    return code < 0 ? code : DecodeCode(code);
}

// Decodes a code that has been read (see NextCode).  Inline: in the
// placement loop's rare path it saves noise about 4% of its instructions.
inline int LzwDecoder::DecodeCode(int code) {
    if (code == clearCode_) {
        ResetTable();
        do {
            code = ReadCode(codeWidth_);
        } while (code == clearCode_);
        if (code < 0) return code;
        // A clear code directly followed by the end code is empty data.
        if (code == endCode_) return kEndCode;
        firstCode_ = oldCode_ = code;
        stack_[sp_++] = static_cast<uint8_t>(code);
        return 0;
    }
    if (code == endCode_) return kEndCode;
    const int inCode = code;
    int pushed = 0;
    if (code >= nextCode_) {
        stack_[sp_++] = static_cast<uint8_t>(firstCode_);
        ++pushed;
        code = oldCode_;
    }
    while (code >= clearCode_) {
        // A chain never holds more entries than the table: a longer one
        // loops through entries that refer to each other.
        if (prefix_[code] == code || ++pushed > kTableSize) {
            sp_ = 0;
            return kCircular;
        }
        stack_[sp_++] = suffix_[code];
        code = prefix_[code];
    }
    firstCode_ = suffix_[code];
    stack_[sp_++] = static_cast<uint8_t>(firstCode_);
    if (nextCode_ < kTableSize) {
        prefix_[nextCode_] = static_cast<uint16_t>(oldCode_);
        suffix_[nextCode_] = static_cast<uint8_t>(firstCode_);
        ++nextCode_;
        if (nextCode_ >= threshold_ && threshold_ < kTableSize) {
            threshold_ *= 2;
            ++codeWidth_;
        }
    }
    oldCode_ = inCode;
    return 0;
}

// Places the pixels of a frame that is not interlaced.  While the data is
// well formed, every table entry's string already stands in the output (an
// entry is the string of the code before it plus one pixel), so strings are
// copied from there; a clear code or a code the table does not hold yet goes
// through DecodeCode, and after such a code the rest up to the next clear is
// decoded through the table as well.
//
// The loop keeps the bit reader and the output cursor in locals (stores into
// the pixels would otherwise make every member reload) and hands them back
// to the members around the rare calls that read codes on their own.
// Strings are copied 16 bytes at a time while the frame has room for the
// overshoot; the bytes past the cursor that a copy touched get the fill
// value back when placement stops.  Returns the pixels placed; stop is the
// reason when that is fewer than total.
uint64_t LzwDecoder::PlaceLinear(uint8_t* out, uint64_t total, uint8_t fill, int& stop) {
    uint64_t pos = 0;
    struct RestoreTail {
        uint8_t* out;
        const uint64_t& pos;
        uint64_t total;
        uint8_t fill;
        ~RestoreTail() {
            if (pos < total)
                std::memset(out + pos, fill, static_cast<size_t>(std::min<uint64_t>(kCopyChunk, total - pos)));
        }
    } restoreTail{out, pos, total, fill};
    bool copying = false;  // every entry since the clear has its place in the output
    uint64_t lastPos = 0;  // the previous code's string
    uint32_t lastLen = 0;
    uint64_t acc = accumulator_;
    int bits = bits_;
    const uint8_t* bp = in_;
    const uint8_t* be = inEnd_;
    int width = codeWidth_;
    uint64_t mask = (uint64_t{1} << width) - 1;
    int next = nextCode_;
    int threshold = threshold_;
    const int clear = clearCode_;
    const int end = endCode_;
    int old = oldCode_;
    int first = firstCode_;
    auto save = [&] {
        accumulator_ = acc;
        bits_ = bits;
        in_ = bp;
        codeWidth_ = width;
        nextCode_ = next;
        threshold_ = threshold;
        oldCode_ = old;
        firstCode_ = first;
    };
    auto load = [&] {
        acc = accumulator_;
        bits = bits_;
        bp = in_;
        be = inEnd_;
        width = codeWidth_;
        mask = (uint64_t{1} << width) - 1;
        next = nextCode_;
        threshold = threshold_;
        old = oldCode_;
        first = firstCode_;
    };
    // A code that the copy loop does not take: decoded through the table
    // onto the stack, then placed.  False when placement stops.
    auto slow = [&](int code) {
        save();
        const int decoded = DecodeCode(code);
        load();
        if (decoded < 0) {
            stop = decoded;
            return false;
        }
        copying = code == clear && first < clear;
        lastPos = pos;
        lastLen = static_cast<uint32_t>(sp_);
        while (sp_ > 0) {
            if (pos == total) return false;
            out[pos++] = stack_[--sp_];
        }
        return true;
    };
    if (fresh_) {
        fresh_ = false;
        if (!slow(clear)) {
            save();
            return pos;
        }
    }
    while (pos < total) {
        if (bits < width) {
            if (be - bp >= 8) {
                acc |= Load64(bp) << bits;
                bp += (63 - bits) >> 3;
                bits |= 56;
            } else {
                save();
                const bool ok = Refill(width);
                load();
                if (!ok) {
                    stop = kOutOfCodes;
                    break;
                }
            }
        }
        const int code = static_cast<int>(acc & mask);
        acc >>= width;
        bits -= width;
        if (!copying || code == clear || code == end || code > next) {
            if (!slow(code)) break;
            continue;
        }
        const uint64_t start = pos;
        uint32_t length;
        if (code < clear) {
            out[pos++] = static_cast<uint8_t>(code);
            length = 1;
        } else {
            const bool repeat = code == next;
            const uint64_t from = repeat ? lastPos : where_[code];
            length = repeat ? lastLen + 1 : length_[code];
            const uint32_t n = repeat ? lastLen : length;
            // The source ends at or before the cursor: a chunk never reads a
            // byte that this copy has written.
            if (total - pos >= n + uint64_t{kCopyChunk}) {
                const uint8_t* src = out + from;
                uint8_t* dst = out + pos;
                uint8_t* const last = dst + n;
                do {
                    Copy16(dst, src);
                    dst += kCopyChunk;
                    src += kCopyChunk;
                } while (dst < last);
                pos += n;
            } else {
                const uint64_t m = std::min<uint64_t>(n, total - pos);
                std::memcpy(out + pos, out + from, static_cast<size_t>(m));
                pos += m;
            }
            if (repeat && pos < total) out[pos++] = out[from];
            if (pos - start < length) break;  // the frame is full
        }
        first = out[start];
        if (next < kTableSize) {
            prefix_[next] = static_cast<uint16_t>(old);
            suffix_[next] = static_cast<uint8_t>(first);
            where_[next] = static_cast<uint32_t>(lastPos);
            length_[next] = lastLen + 1;
            ++next;
            if (next >= threshold && threshold < kTableSize) {
                threshold *= 2;
                ++width;
                mask = (uint64_t{1} << width) - 1;
            }
        }
        old = code;
        lastPos = start;
        lastLen = length;
    }
    save();
    return pos;
}

// Places width × height pixels row by row, the rows in four-pass order,
// until the codes stop.  Returns the pixels placed; stop is the reason when
// that is fewer than all.
uint64_t LzwDecoder::Place(uint8_t* pixels, int width, int height, int& stop) {
    uint64_t placed = 0;
    int row = 0, step = 8, pass = 0;
    for (int rowsDone = 0; rowsDone < height; ++rowsDone) {
        uint8_t* dst = pixels + static_cast<uint64_t>(row) * static_cast<uint64_t>(width);
        int left = width;
        while (left > 0) {
            if (sp_ == 0) {
                const int result = NextCode();
                if (result < 0) {
                    stop = result;
                    return placed;
                }
            }
            const int n = std::min(sp_, left);
            for (int i = 0; i < n; ++i) *dst++ = stack_[--sp_];
            left -= n;
            placed += static_cast<uint64_t>(n);
        }
        row += step;
        while (row >= height) {
            if (pass > 0) step /= 2;
            ++pass;
            row = step / 2;
        }
    }
    return placed;
}

// Entries below the clear code are the pixels themselves; every other entry
// reads as prefix 0, suffix 0 until the data defines it.  Only entries that
// were defined since the last reset need clearing.
void LzwDecoder::ResetTable() {
    if (nextCode_ > clearCode_) {
        const size_t from = static_cast<size_t>(clearCode_);
        const size_t count = static_cast<size_t>(nextCode_) - from;
        std::memset(prefix_ + from, 0, count * sizeof prefix_[0]);
        std::memset(suffix_ + from, 0, count * sizeof suffix_[0]);
    }
    codeWidth_ = initialCodeSize_ + 1;
    threshold_ = 2 * clearCode_;
    nextCode_ = clearCode_ + 2;
    sp_ = 0;
}

int LzwDecoder::ReadCode(int width) {
    if (fresh_) {
        fresh_ = false;
        return clearCode_;
    }
    if (bits_ < width && !Refill(width)) return kOutOfCodes;
    const int code = static_cast<int>(accumulator_ & ((1u << width) - 1));
    accumulator_ >>= width;
    bits_ -= width;
    return code;
}

// Brings the bit buffer to at least width bits, taking the next block when
// one runs out (a 1-byte block may not be enough: then the one after it is
// taken too); false when the codes end first.
bool LzwDecoder::Refill(int width) {
    while (bits_ < width) {
        if (inEnd_ - in_ >= 8) {
            // Eight bytes at once; the bits above the count are the next
            // bits of the block, so the following refill ORs the same values
            // in again.
            accumulator_ |= Load64(in_) << bits_;
            in_ += (63 - bits_) >> 3;
            bits_ |= 56;
            continue;
        }
        if (in_ < inEnd_) {
            // Near the block's end: as many bytes as the accumulator holds.
            do {
                accumulator_ |= static_cast<uint64_t>(*in_++) << bits_;
                bits_ += 8;
            } while (bits_ <= 56 && in_ < inEnd_);
            continue;
        }
        if (!NextPiece()) return false;
    }
    return true;
}

// Moves to the next block's codes: a whole block, or once the blocks end,
// what there is of a cut one.  False when there are no more codes.
bool LzwDecoder::NextPiece() {
    if (blocks_ == nullptr) return false;
    std::span<const uint8_t> piece;
    if (!blocks_->Next(piece)) {
        if (restTaken_) return false;
        restTaken_ = true;
        piece = blocks_->Rest();
    }
    in_ = piece.data();
    inEnd_ = piece.data() + piece.size();
    return true;
}

DecodeResult ImageDataDecoder::Decode(std::span<const uint8_t> data, const PixelTarget& target) {
    DecodeResult result;
    if (data.empty()) {
        result.Status = DecodeStatus::NoCodeSize;
        return result;
    }
    SubBlockReader blocks(data.subspan(1));
    const LzwResult lzw = lzw_.Decode(data[0], blocks, target);
    // The blocks the codes did not need are walked, not decoded.
    blocks.Skip();
    result.Consumed = 1 + blocks.Consumed();
    result.Pixels = lzw.Pixels;
    switch (lzw.Status) {
    case LzwStatus::Full:
    case LzwStatus::EndCode: result.Status = DecodeStatus::Done; break;
    case LzwStatus::Circular: result.Status = DecodeStatus::Circular; break;
    case LzwStatus::OutOfCodes:
        if (blocks.End() != SubBlockEnd::Terminator)
            result.Status = DecodeStatus::OutOfData;
        else
            result.Status = lzw.BitsLeft == 0 ? DecodeStatus::UnderRun : DecodeStatus::DataEnded;
        break;
    }
    return result;
}

}  // namespace gif::codec
