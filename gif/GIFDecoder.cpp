// Decoding of a frame's table-based image data into its pixel store.
#include <algorithm>
#include <bit>
#include <cstring>

#include "gif/GIFImage.h"

namespace gif {

namespace {

constexpr int kTableSize = 4096;
constexpr int kStackSize = 8192;
constexpr int kCopyChunk = 16;

class LZWDecoder {
public:
    LZWDecoder(TGIFSubImage& frame, TStream& stream) : frame_(frame), stream_(stream) {}

    // Sets up for the code size byte's value; false when the byte is missing.
    bool Start() {
        uint8_t codeSize = 0;
        if (stream_.Read(&codeSize, 1) != 1) return false;
        initialCodeSize_ = std::min<int>(codeSize, 8);
        clearCode_ = 1 << initialCodeSize_;
        endCode_ = clearCode_ + 1;
        std::memset(prefix_, 0, sizeof prefix_);
        for (int i = 0; i < kTableSize; ++i) suffix_[i] = i < clearCode_ ? static_cast<uint8_t>(i) : 0;
        ResetTable();
        streamSize_ = stream_.GetSize();
        return true;
    }

    // Decodes the next code's string onto the stack (first pixel on top).
    // 0 when pixels are on the stack, -1 when the data ran out, -2 at the end
    // code.
    int NextCode() {
        const int code = ReadCode(codeWidth_);
        return code < 0 ? code : Decode(code);
    }

    // Decodes a code that has been read (see NextCode).
    int Decode(int code) {
        if (code == clearCode_) {
            ResetTable();
            do {
                code = ReadCode(codeWidth_);
            } while (code == clearCode_);
            if (code < 0) return code;
            // A clear code directly followed by the end code is empty data.
            if (code == endCode_) return EndCode();
            firstCode_ = oldCode_ = code;
            stack_[sp_++] = static_cast<uint8_t>(code);
            return 0;
        }
        if (code == endCode_) return EndCode();
        const int inCode = code;
        int pushed = 0;
        if (code >= nextCode_) {
            stack_[sp_++] = static_cast<uint8_t>(firstCode_);
            ++pushed;
            code = oldCode_;
        }
        while (code >= clearCode_) {
            // A chain never holds more entries than the table: a longer
            // one loops through entries that refer to each other.
            if (prefix_[code] == code || ++pushed > kTableSize) RaiseGIFError(_sDecodeCircular);
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

    // Places the pixels of a frame that is not interlaced.  While the data
    // is well formed, every table entry's string already stands in the
    // output (an entry is the string of the code before it plus one pixel),
    // so strings are copied from there; a clear code or a code the table
    // does not hold yet goes through Decode, and after such a code the rest
    // up to the next clear is decoded through the table as well.
    //
    // The loop keeps the bit reader and the output cursor in locals (stores
    // into the pixels would otherwise make every member reload) and hands
    // them back to the members around the rare calls that read codes on
    // their own.  Strings are copied 16 bytes at a time while the frame has
    // room for the overshoot; the bytes past the cursor that a copy touched
    // get the fill value back when placement stops.
    void PlaceLinear(uint8_t* out, uint64_t total, uint8_t fill) {
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
        const uint8_t* bp = block_ + blockPos_;
        const uint8_t* be = block_ + blockLen_;
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
            blockPos_ = static_cast<int>(bp - block_);
            codeWidth_ = width;
            nextCode_ = next;
            threshold_ = threshold;
            oldCode_ = old;
            firstCode_ = first;
        };
        auto load = [&] {
            acc = accumulator_;
            bits = bits_;
            bp = block_ + blockPos_;
            be = block_ + blockLen_;
            width = codeWidth_;
            mask = (uint64_t{1} << width) - 1;
            next = nextCode_;
            threshold = threshold_;
            old = oldCode_;
            first = firstCode_;
        };
        // A code that the copy loop does not take: decoded through the
        // table onto the stack, then placed.  False when placement stops.
        auto slow = [&](int code) {
            save();
            const bool ok = Decode(code) >= 0;
            load();
            if (!ok) return false;
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
                return;
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
                    if (!ok) break;
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
                // The source ends at or before the cursor: a chunk never
                // reads a byte that this copy has written.
                if (total - pos >= n + uint64_t{kCopyChunk}) {
                    const uint8_t* src = out + from;
                    uint8_t* dst = out + pos;
                    uint8_t* const stop = dst + n;
                    do {
                        Copy16(dst, src);
                        dst += kCopyChunk;
                        src += kCopyChunk;
                    } while (dst < stop);
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
    }

    // Places width × height pixels, row by row (in four-pass order when
    // interlaced), until the data stops.
    void Place(uint8_t* pixels, int width, int height, bool interlaced) {
        int row = 0, step = 8, pass = 0;
        for (int rowsDone = 0; rowsDone < height; ++rowsDone) {
            uint8_t* dst = pixels + static_cast<uint64_t>(interlaced ? row : rowsDone) * static_cast<uint64_t>(width);
            int left = width;
            while (left > 0) {
                if (sp_ == 0 && NextCode() < 0) return;
                const int n = std::min(sp_, left);
                for (int i = 0; i < n; ++i) *dst++ = stack_[--sp_];
                left -= n;
            }
            if (interlaced) {
                row += step;
                while (row >= height) {
                    if (pass > 0) step /= 2;
                    ++pass;
                    row = step / 2;
                }
            }
        }
    }

    // Leaves the stream after the data's terminator, without decoding what
    // is left.  Never raises.
    void SkipRest() noexcept {
        if (finished_) return;
        try {
            SkipSubBlocks();
        } catch (...) {
        }
    }

private:
    // Entries below the clear code are the pixels themselves; every other
    // entry reads as prefix 0, suffix 0 until the data defines it.  Only
    // entries that were defined since the last reset need clearing.
    void ResetTable() {
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

    int EndCode() {
        SkipSubBlocks();
        return -2;
    }

    void SkipSubBlocks() {
        finished_ = true;
        if (done_) return;
        for (;;) {
            uint8_t size = 0;
            if (stream_.Read(&size, 1) != 1 || size == 0) return;
            const int64_t position = stream_.GetPosition();
            stream_.SetPosition(std::min<int64_t>(position + size, streamSize_));
        }
    }

    // One warning per frame however the data runs out.
    void OutOfData() {
        if (outOfDataWarned_) return;
        outOfDataWarned_ = true;
        frame_.Warning(gsWarning, _sOutOfData);
    }

    int ReadCode(int width) {
        if (fresh_) {
            fresh_ = false;
            return clearCode_;
        }
        if (bits_ < width && !Refill(width)) return -1;
        const int code = static_cast<int>(accumulator_ & ((1u << width) - 1));
        accumulator_ >>= width;
        bits_ -= width;
        return code;
    }

    // Brings the bit buffer to at least width bits, reading sub-blocks as
    // they are needed (a 1-byte sub-block may not be enough: then the next
    // one is read too).  False when the data ends first.
    bool Refill(int width) {
        while (bits_ < width) {
            if (blockLen_ - blockPos_ >= 8) {
                // Eight bytes at once; the bits above the count are the
                // stream's next bits, so the following refill ORs the same
                // values in again.
                accumulator_ |= Load64(block_ + blockPos_) << bits_;
                blockPos_ += (63 - bits_) >> 3;
                bits_ |= 56;
                continue;
            }
            if (blockPos_ < blockLen_) {
                // Take as many of the sub-block's bytes as the accumulator holds.
                do {
                    accumulator_ |= static_cast<uint64_t>(block_[blockPos_++]) << bits_;
                    bits_ += 8;
                } while (bits_ <= 56 && blockPos_ < blockLen_);
                continue;
            }
            if (done_) {
                if (bits_ == 0) frame_.Warning(gsWarning, _sDecodeTooFewBits);
                return false;
            }
            uint8_t length = 0;
            if (stream_.Read(&length, 1) != 1) {
                // The file ends where a sub-block should start: the frame's
                // remaining pixels are missing, which the caller must hear.
                OutOfData();
                return false;
            }
            if (length == 0) {
                done_ = finished_ = true;
                continue;
            }
            const int64_t available = streamSize_ - stream_.GetPosition();
            if (length > available) {
                OutOfData();
                length = static_cast<uint8_t>(std::max<int64_t>(available, 0));
            }
            ReadExact(stream_, block_, length);
            blockPos_ = 0;
            blockLen_ = length;
        }
        return true;
    }

    static uint64_t Load64(const uint8_t* p) {
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

    static void Copy16(uint8_t* dst, const uint8_t* src) {
        uint8_t chunk[kCopyChunk];
        std::memcpy(chunk, src, kCopyChunk);
        std::memcpy(dst, chunk, kCopyChunk);
    }

    TGIFSubImage& frame_;
    TStream& stream_;
    int64_t streamSize_ = 0;
    int initialCodeSize_ = 0;
    int clearCode_ = 0;
    int endCode_ = 0;
    int codeWidth_ = 0;
    int threshold_ = 0;
    int nextCode_ = 0;
    int firstCode_ = 0;
    int oldCode_ = 0;
    bool fresh_ = true;
    bool done_ = false;
    bool finished_ = false;
    bool outOfDataWarned_ = false;
    uint64_t accumulator_ = 0;
    int bits_ = 0;
    uint8_t block_[255];
    int blockPos_ = 0;
    int blockLen_ = 0;
    int sp_ = 0;
    uint16_t prefix_[kTableSize];
    uint8_t suffix_[kTableSize];
    uint8_t stack_[kStackSize];
    uint32_t where_[kTableSize];
    uint32_t length_[kTableSize];
};

}  // namespace

void TGIFSubImage::Decompress(TStream& stream) {
    NewImage();
    const auto fill = static_cast<uint8_t>(std::max(GetTransparentIndex(), 0));
    // The new store is all zeros already.
    if (FData && fill != 0) std::memset(FData.get(), fill, FDataSize);
    auto decoder = std::make_unique<LZWDecoder>(*this, stream);
    if (!decoder->Start()) {
        // No code size byte: the file ends before the frame's pixels.
        Warning(gsWarning, _sOutOfData);
        return;
    }
    try {
        if (FData && !GetInterlaced())
            decoder->PlaceLinear(FData.get(), FDataSize, fill);
        else if (FData)
            decoder->Place(FData.get(), GetWidth(), GetHeight(), true);
    } catch (...) {
        decoder->SkipRest();
        throw;
    }
    decoder->SkipRest();
}

}  // namespace gif
