#include "gif/codec/Encoder.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "gif/codec/SubBlocks.h"

namespace gif::codec {

namespace {

constexpr uint32_t kHashSize = 8009;
constexpr uint32_t kHashEmpty = 0xFFFFFFFFu;

constexpr uint32_t Hash(uint32_t key) { return (key ^ (key >> 4)) % kHashSize; }

// With key = code << 8 | pixel, key ^ key >> 4 is the code's part above the
// low byte plus a low byte of (code << 4 ^ pixel ^ pixel >> 4); the code's
// part is reduced once per code, so the sum needs at most one subtraction.
struct PairTable {
    uint16_t high[4096];  // (code << 8 ^ code << 4) without its low byte, mod the size
    uint8_t low[4096];    // the low byte of code << 4
};
constexpr PairTable MakePairTable() {
    PairTable table{};
    for (uint32_t code = 0; code < 4096; ++code) {
        const uint32_t mixed = code << 8 ^ code << 4;
        table.high[code] = static_cast<uint16_t>((mixed & ~0xFFu) % kHashSize);
        table.low[code] = static_cast<uint8_t>(mixed & 0xFF);
    }
    return table;
}
constexpr PairTable kPairTable = MakePairTable();
constexpr uint32_t PairHash(uint32_t code, uint32_t pixel) {
    const uint32_t sum = kPairTable.high[code] + (kPairTable.low[code] ^ pixel ^ pixel >> 4);
    return sum >= kHashSize ? sum - kHashSize : sum;
}
constexpr bool PairHashAgrees() {
    for (uint32_t code = 0; code < 4096; code += 13)
        for (uint32_t pixel = 0; pixel < 256; ++pixel)
            if (PairHash(code, pixel) != Hash(code << 8 | pixel)) return false;
    return PairHash(4095, 255) == Hash(4095u << 8 | 255);
}
static_assert(PairHashAgrees());

// Open addressing over keys (prefix << 8 | pixel) packed with their codes.
class THashTable {
public:
    void Reset() { std::fill(std::begin(slots_), std::end(slots_), kHashEmpty); }

    // The code stored for the key of code and pixel, or -1; then free is
    // the empty slot the walk ended on (where InsertAt would store the key),
    // or kHashSize when the walk gave up.  The hash comes from a table per
    // code, which keeps the division out of the walk from one string to the
    // next.  The probe steps double the slot number, which visits at most
    // 4004 slots before it comes back; a table of small codes can hold more
    // entries than that, so a walk that finds no empty slot gives up.
    int LookupPair(uint32_t code, uint32_t pixel, uint32_t key, uint32_t& free) const {
        uint32_t slot = PairHash(code, pixel);
        for (uint32_t probes = 0; probes < kHashSize; ++probes) {
            const uint32_t value = slots_[slot];
            if (!Occupied(value)) {
                free = slot;
                return -1;
            }
            if (value >> 12 == key) return static_cast<int>(value & 0xFFF);
            slot = Next(slot);
        }
        free = kHashSize;
        return -1;
    }

    // Stores key at the slot a failed lookup gave; false when it had none.
    bool InsertAt(uint32_t free, uint32_t key, int code) {
        if (free >= kHashSize) return false;
        slots_[free] = key << 12 | (static_cast<uint32_t>(code) & 0xFFF);
        return true;
    }

private:
    static bool Occupied(uint32_t value) { return value < 0xFFFFF000u; }
    static uint32_t Next(uint32_t slot) {
        const uint32_t d = slot == 0 ? 1 : kHashSize - slot;
        return slot >= d ? slot - d : slot + kHashSize - d;
    }

    uint32_t slots_[kHashSize];
};

class TGIFEncoder {
public:
    virtual ~TGIFEncoder() = default;

    EncodeResult Encode(const EncodeSource& source, std::vector<uint8_t>& out) {
        bitsPerPixel_ = std::max(source.BitsPerPixel, 2);
        colorCount_ = source.ColorCount;
        width_ = source.Width;
        height_ = source.Height;
        interlace_ = source.Interlaced;
        data_ = source.Pixels.data();
        initialWidth_ = bitsPerPixel_ + 1;
        out.push_back(static_cast<uint8_t>(bitsPerPixel_));
        codeWidth_ = initialWidth_;
        maxCode_ = MaxCodeOf(codeWidth_);
        clearCode_ = 1 << (initialWidth_ - 1);
        endCode_ = clearCode_ + 1;
        firstFreeCode_ = clearCode_ + 2;
        accumulator_ = 0;
        bitCount_ = 0;
        const uint64_t total = width_ > 0 && height_ > 0 ? static_cast<uint64_t>(width_) * static_cast<uint64_t>(height_) : 0;
        pixelsLeft_ = interlace_ ? static_cast<uint64_t>(width_) : total;
        row_ = 0;
        pass_ = 0;
        current_ = data_;
        SubBlockWriter writer(out);
        writer_ = &writer;
        EncodeResult result;
        if (total > 0 && source.Pixels.size() >= total) {
            result = EncodePixels();
            if (result.Status == EncodeStatus::Done) EmitCode(endCode_);
        } else {
            EmitCode(endCode_);
        }
        if (result.Status == EncodeStatus::Done)
            writer.Terminate();
        else
            writer.EndBlock();
        writer_ = nullptr;
        return result;
    }

protected:
    static int MaxCodeOf(int bits) { return static_cast<uint16_t>((1 << bits) - 1); }

    virtual void EmitCode(int code) { PackCode(code); }

    // Codes go out least significant bit first.
    void PackCode(int code) {
        if (bitCount_ == 0)
            accumulator_ = static_cast<uint32_t>(code);
        else
            accumulator_ = static_cast<uint32_t>(code) << bitCount_ | (accumulator_ & ((1u << bitCount_) - 1));
        bitCount_ += codeWidth_;
        while (bitCount_ >= 8) {
            writer_->WriteByte(static_cast<uint8_t>(accumulator_));
            accumulator_ >>= 8;
            bitCount_ -= 8;
        }
        if (code == endCode_) {
            while (bitCount_ > 0) {
                writer_->WriteByte(static_cast<uint8_t>(accumulator_));
                accumulator_ >>= 8;
                bitCount_ -= 8;
            }
        }
    }

    virtual void ResetTable() {
        cleared_ = true;
        EmitCode(clearCode_);
    }

    virtual EncodeResult EncodePixels() = 0;

    static EncodeResult BadColor(uint64_t pixels) { return {EncodeStatus::BadColor, pixels}; }

    // Moves the cursor to the next pixel; false when the image is exhausted.
    bool NextPixel() {
        if (--pixelsLeft_ >= 1) {
            ++current_;
            return true;
        }
        if (!interlace_) return false;
        pixelsLeft_ = static_cast<uint64_t>(width_);
        static const int kStep[4] = {8, 8, 4, 2};
        static const int kStart[4] = {0, 4, 2, 1};
        row_ += kStep[pass_];
        while (row_ >= height_) {
            if (++pass_ > 3) return false;
            row_ = kStart[pass_];
        }
        current_ = data_ + static_cast<uint64_t>(row_) * static_cast<uint64_t>(width_);
        return true;
    }

    SubBlockWriter* writer_ = nullptr;
    int colorCount_ = 0;
    int bitsPerPixel_ = 0;
    int initialWidth_ = 0;
    int codeWidth_ = 0;
    int clearCode_ = 0;
    int endCode_ = 0;
    int firstFreeCode_ = 0;
    int maxCode_ = 0;
    uint32_t accumulator_ = 0;
    int bitCount_ = 0;
    bool cleared_ = false;
    const uint8_t* data_ = nullptr;
    const uint8_t* current_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    bool interlace_ = false;
    uint64_t pixelsLeft_ = 0;
    int row_ = 0;
    int pass_ = 0;
};

class TLZWEncoder : public TGIFEncoder {
protected:
    void EmitCode(int code) override { Emit(code); }

    void ResetTable() override {
        TGIFEncoder::ResetTable();
        hash_->Reset();
        std::memset(child_, 0, sizeof child_);
        nextCode_ = clearCode_ + 2;
    }

    EncodeResult EncodePixels() override {
        hash_ = std::make_unique<THashTable>();
        ResetTable();
        int prefix = *current_;
        if (prefix >= colorCount_) return BadColor(0);
        const uint64_t width = static_cast<uint64_t>(width_);
        if (!interlace_) {
            // Rows follow each other in the pixel store: one run over it.
            const uint8_t* end = data_ + width * static_cast<uint64_t>(height_);
            const uint8_t* stop = EncodeRun(current_ + 1, end, prefix);
            if (stop != end) return BadColor(static_cast<uint64_t>(stop - data_));
        } else {
            // Row by row in four-pass order: the rest of the first row, then
            // each row the cursor moves to.
            const uint8_t* stop = EncodeRun(current_ + 1, current_ + width_, prefix);
            if (stop != current_ + width_) return BadColor(static_cast<uint64_t>(stop - current_));
            uint64_t rows = 1;
            pixelsLeft_ = 1;
            while (NextPixel()) {
                stop = EncodeRun(current_, current_ + width_, prefix);
                if (stop != current_ + width_) return BadColor(rows * width + static_cast<uint64_t>(stop - current_));
                ++rows;
                pixelsLeft_ = 1;
            }
        }
        Emit(prefix);
        hash_.reset();
        return {EncodeStatus::Done, width * static_cast<uint64_t>(height_)};
    }

private:
    void Emit(int code) {
        PackCode(code);
        if (nextCode_ > maxCode_ || cleared_) {
            if (cleared_) {
                codeWidth_ = initialWidth_;
                maxCode_ = MaxCodeOf(initialWidth_);
                cleared_ = false;
            } else {
                ++codeWidth_;
                maxCode_ = codeWidth_ == 12 ? 4096 : MaxCodeOf(codeWidth_);
            }
        }
    }

    // Encodes the pixels [p, end) after the string prefix stands for;
    // returns end, or the pixel that is not below the colour count.
    //
    // The state that changes per pixel lives in locals while the run goes
    // on: stores into the output buffer would otherwise reload it from the
    // object every time.  Codes collect in a 64-bit buffer that goes to the
    // writer four bytes at a time; before anything else emits a code the
    // buffer is brought back to the byte-wise state the encoder keeps.
    //
    // child_ remembers, per code, the last string found or added one pixel
    // longer: a run of one colour finds its next code there without the hash
    // table.  It holds only strings the table has, so the codes are those
    // the table walk would give.
    const uint8_t* EncodeRun(const uint8_t* p, const uint8_t* end, int& prefix) {
        THashTable& hash = *hash_;
        const int colorCount = colorCount_;
        SubBlockWriter& writer = *writer_;
        uint64_t acc = accumulator_;
        int bits = bitCount_;
        int width = codeWidth_;
        int maxCode = maxCode_;
        int next = nextCode_;
        int code = prefix;
        auto save = [&] {
            const int bytes = bits >> 3;
            if (bytes > 0) {
                writer.WriteBytes(acc, bytes);
                acc >>= 8 * bytes;
                bits &= 7;
            }
            accumulator_ = static_cast<uint32_t>(acc);
            bitCount_ = bits;
            codeWidth_ = width;
            maxCode_ = maxCode;
            nextCode_ = next;
        };
        for (; p < end; ++p) {
            const int pixel = *p;
            if (pixel >= colorCount) {
                save();
                return p;
            }
            const uint32_t remembered = child_[code];
            if (remembered >> 12 == static_cast<uint32_t>(pixel) + 1) {
                code = static_cast<int>(remembered & 0xFFF);
                continue;
            }
            const uint32_t key = static_cast<uint32_t>(code) << 8 | static_cast<uint32_t>(pixel);
            uint32_t free = 0;
            const int found = hash.LookupPair(static_cast<uint32_t>(code), static_cast<uint32_t>(pixel), key, free);
            if (found >= 0) {
                child_[code] = Child(pixel, found);
                code = found;
                continue;
            }
            // The string ends: its code goes out, then the table grows.
            acc |= static_cast<uint64_t>(code) << bits;
            bits += width;
            if (bits >= 32) {
                writer.WriteBytes(acc, 4);
                acc >>= 32;
                bits -= 32;
            }
            if (next > maxCode) {
                ++width;
                maxCode = width == 12 ? 4096 : MaxCodeOf(width);
            }
            const int parent = code;
            code = pixel;
            if (next > 4094 || !hash.InsertAt(free, key, next)) {
                save();
                ResetTable();
                acc = accumulator_;
                bits = bitCount_;
                width = codeWidth_;
                maxCode = maxCode_;
                next = nextCode_;
            } else {
                child_[parent] = Child(pixel, next);
                ++next;
            }
        }
        save();
        prefix = code;
        return end;
    }

    static uint32_t Child(int pixel, int code) {
        return (static_cast<uint32_t>(pixel) + 1) << 12 | static_cast<uint32_t>(code);
    }

    int nextCode_ = 0;
    std::unique_ptr<THashTable> hash_;
    uint32_t child_[4096];  // (pixel + 1) << 12 | code, 0 for none
};

class TRLEEncoder : public TGIFEncoder {
protected:
    void ResetTable() override {
        widthStepPoint_ = widthStepPointInitial_;
        clearPoint_ = clearPointInitial_;
        outCount_ = 0;
        longestTabledRun_ = 0;
        TGIFEncoder::ResetTable();
        codeWidth_ = initialWidth_;
    }

    EncodeResult EncodePixels() override {
        widthStepPointInitial_ = clearCode_ - 1;
        clearPointInitial_ = bitsPerPixel_ <= 3 ? 9 : clearCode_ - 2;
        codeBudget_ = 4095 - firstFreeCode_;
        ResetTable();
        runLength_ = 0;
        runPixel_ = -1;
        uint64_t taken = 0;
        do {
            const int pixel = *current_;
            if (pixel >= colorCount_) return BadColor(taken);
            ++taken;
            if (runLength_ > 0 && pixel != runPixel_) {
                Flush(runLength_);
                runLength_ = 0;
            }
            if (pixel == runPixel_) {
                ++runLength_;
            } else {
                runPixel_ = pixel;
                runLength_ = 1;
            }
        } while (NextPixel());
        Flush(runLength_);
        return {EncodeStatus::Done, taken};
    }

private:
    void EmitPlain(int code) {
        cleared_ = false;
        EmitCode(code);
        ++outCount_;
        if (outCount_ >= widthStepPoint_) {
            widthStepPoint_ += 1 << codeWidth_;
            ++codeWidth_;
        }
        if (outCount_ >= clearPoint_) ResetTable();
    }

    static uint64_t IntegerSqrt(uint64_t x) {
        if (x < 2) return x;
        uint64_t r = 2;
        for (uint64_t v = x; v >= 4; v /= 4) r *= 2;
        for (;;) {
            const uint64_t next = (r + x / r) / 2;
            if (next == r || next == r + 1) return r;
            r = next;
        }
    }

    // Codes needed to send count pixels with runs of 1, 2, 3 ... pixels.
    static uint64_t RunCost(uint64_t count, uint64_t budget) {
        uint64_t cost = 0;
        const uint64_t per = budget * (budget + 1) / 2;
        if (per > 0) {
            cost += count / per * budget;
            count %= per;
        }
        if (count > 0) {
            uint64_t n = IntegerSqrt(count);
            while (n > 0 && n * (n + 1) >= 2 * count) --n;
            while (n * (n + 1) < 2 * count) ++n;
            cost += n;
        }
        return cost;
    }

    void Flush(int count) {
        if (count == 1)
            EmitPlain(runPixel_);
        else if (cleared_)
            FlushAfterClear(count);
        else if (longestTabledRun_ > 1 && tablePixel_ == runPixel_)
            FlushWithTable(count);
        else
            FlushClearOrRepeat(count);
    }

    void FlushAfterClear(int count) {
        clearPoint_ = codeBudget_;
        tablePixel_ = runPixel_;
        int n = 1;
        while (count > 0) {
            if (n == 1) {
                longestTabledRun_ = 1;
                EmitPlain(runPixel_);
                count -= 1;
            } else if (count >= n) {
                longestTabledRun_ = n;
                EmitPlain(firstFreeCode_ + n - 2);
                count -= n;
            } else {
                ++longestTabledRun_;
                EmitPlain(count == 1 ? runPixel_ : firstFreeCode_ + count - 2);
                count = 0;
            }
            n = outCount_ == 0 ? 1 : n + 1;
        }
        clearPoint_ = clearPointInitial_;
        if (outCount_ >= clearPoint_) ResetTable();
    }

    void FlushClearOrRepeat(int count) {
        const uint64_t withClear = 1 + RunCost(static_cast<uint64_t>(count), static_cast<uint64_t>(codeBudget_));
        if (withClear < static_cast<uint64_t>(count)) {
            ResetTable();
            FlushAfterClear(count);
        } else {
            for (int i = 0; i < count; ++i) EmitPlain(runPixel_);
        }
    }

    void FlushWithTable(int count) {
        int repeats = count / longestTabledRun_;
        int leftover = count % longestTabledRun_;
        uint64_t leftoverCodes = leftover > 0 ? 1 : 0;
        if (static_cast<uint64_t>(outCount_ + repeats) + leftoverCodes > static_cast<uint64_t>(codeBudget_)) {
            repeats = codeBudget_ - outCount_;
            leftover = count - repeats * longestTabledRun_;
            leftoverCodes = 1 + RunCost(static_cast<uint64_t>(leftover), static_cast<uint64_t>(codeBudget_));
        }
        if (1 + RunCost(static_cast<uint64_t>(count), static_cast<uint64_t>(codeBudget_)) <
            static_cast<uint64_t>(repeats) + leftoverCodes) {
            ResetTable();
            FlushAfterClear(count);
            return;
        }
        clearPoint_ = codeBudget_;
        for (int i = 0; i < repeats; ++i) EmitPlain(firstFreeCode_ + longestTabledRun_ - 2);
        if (leftover > 0) {
            if (cleared_)
                FlushAfterClear(leftover);
            else if (leftover == 1)
                EmitPlain(runPixel_);
            else
                EmitPlain(firstFreeCode_ + leftover - 2);
        }
        clearPoint_ = clearPointInitial_;
        if (outCount_ >= clearPoint_) ResetTable();
    }

    int runPixel_ = -1;
    int runLength_ = 0;
    int outCount_ = 0;
    int widthStepPoint_ = 0;
    int widthStepPointInitial_ = 0;
    int clearPoint_ = 0;
    int clearPointInitial_ = 0;
    int longestTabledRun_ = 0;
    int tablePixel_ = -1;
    int codeBudget_ = 0;
};

}  // namespace

EncodeResult EncodeImageData(const EncodeSource& source, Compression compression, std::vector<uint8_t>& out) {
    if (compression == Compression::Rle) return TRLEEncoder().Encode(source, out);
    return std::make_unique<TLZWEncoder>()->Encode(source, out);
}

}  // namespace gif::codec
