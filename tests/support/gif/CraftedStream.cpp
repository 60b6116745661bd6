#include "CraftedStream.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

namespace giforacle {

void CodePacker::Put(unsigned code, int width) {
    for (int i = 0; i < width; ++i, ++bits_) {
        if (bits_ % 8 == 0) bytes_.push_back(0);
        if (code >> i & 1) bytes_.back() |= uint8_t(1u << (bits_ % 8));
    }
}

std::vector<uint8_t> CodePacker::Finish() const { return bytes_; }

LzwOptions LzwSize(int codeSize, ClearPolicy clear, int clearEvery) {
    LzwOptions o;
    o.MinCodeSize = codeSize;
    o.Clear = clear;
    o.ClearEvery = clearEvery;
    return o;
}

LzwCodes LzwEncode(std::span<const uint8_t> pixels, const LzwOptions& o) {
    if (o.MinCodeSize < 1 || o.MinCodeSize > 11) throw std::invalid_argument("code size");
    const int clear = 1 << o.MinCodeSize, end = clear + 1;
    LzwCodes out;
    CodePacker packer;
    std::unordered_map<uint32_t, int> table;
    int width = o.MinCodeSize + 1, next = clear + 2;
    int sinceClear = 0;  // codes sent since the last clear
    int lastAdded = -1;  // entry the previous code made; the decoder tables it one code later

    auto put = [&](int code) {
        packer.Put(unsigned(code), width);
        ++out.CodeCount;
        out.MaxWidth = std::max(out.MaxWidth, width);
    };
    auto reset = [&] {
        put(clear);
        table.clear();
        width = o.MinCodeSize + 1;
        next = clear + 2;
        sinceClear = 0;
        lastAdded = -1;
    };
    // Sends a pixel string's code; `key` is the string plus the next pixel,
    // tabled as the decoder will table it.
    auto send = [&](int code, bool hasKey, uint32_t key) {
        if (code == lastAdded) ++out.KwKwK;
        if (next == 4096) ++out.FullTableCodes;
        put(code);
        // The decoder widens after it tables an entry, and it tables none
        // for the first code after a clear.
        if ((sinceClear > 0 || o.WidenAfterFirstCode) && width < 12 && next >= (1 << width)) ++width;
        ++sinceClear;
        lastAdded = -1;
        if (hasKey && next < 4096) {
            table[key] = next;
            lastAdded = next;
            ++next;
        }
    };

    if (o.LeadingClear) reset();
    if (!pixels.empty()) {
        int prefix = pixels[0];
        for (size_t i = 1; i < pixels.size(); ++i) {
            uint32_t key = uint32_t(prefix) << 8 | pixels[i];
            auto it = table.find(key);
            if (it != table.end()) {
                prefix = it->second;
                continue;
            }
            send(prefix, true, key);
            prefix = pixels[i];
            if ((o.Clear == ClearPolicy::AtFullTable && next == 4096) ||
                (o.Clear == ClearPolicy::Early && o.ClearEvery > 0 && sinceClear >= o.ClearEvery))
                reset();
        }
        send(prefix, false, 0);
    }
    if (o.EndCode) put(end);
    out.Bytes = packer.Finish();
    out.Bits = packer.Bits();
    return out;
}

std::vector<uint8_t> SubBlocks(std::span<const uint8_t> data, const std::function<int(size_t)>& length,
                               bool terminate) {
    std::vector<uint8_t> out;
    size_t pos = 0;
    for (size_t i = 0; pos < data.size(); ++i) {
        size_t n = std::min<size_t>(std::clamp(length(i), 1, 255), data.size() - pos);
        out.push_back(uint8_t(n));
        out.insert(out.end(), data.begin() + ptrdiff_t(pos), data.begin() + ptrdiff_t(pos + n));
        pos += n;
    }
    if (terminate) out.push_back(0);
    return out;
}

std::vector<uint8_t> SubBlocks(std::span<const uint8_t> data, int length, bool terminate) {
    return SubBlocks(data, [length](size_t) { return length; }, terminate);
}

std::vector<uint8_t> ImageData(int codeSizeByte, std::span<const uint8_t> sub) {
    std::vector<uint8_t> out(sub.size() + 1);
    out[0] = uint8_t(codeSizeByte);
    std::copy(sub.begin(), sub.end(), out.begin() + 1);
    return out;
}

void GifBuilder::Word(int v) {
    bytes_.push_back(uint8_t(v & 0xFF));
    bytes_.push_back(uint8_t((v >> 8) & 0xFF));
}

void GifBuilder::Table(const std::vector<Rgb>& palette) {
    size_t size = size_t{1} << TableBits(palette.size());
    for (size_t i = 0; i < size; ++i) {
        Rgb c = i < palette.size() ? palette[i] : Rgb{};
        bytes_.insert(bytes_.end(), {c.R, c.G, c.B});
    }
}

GifBuilder& GifBuilder::Screen(int width, int height, const std::vector<Rgb>& palette, int background,
                               const char* version) {
    bytes_.insert(bytes_.end(), version, version + 6);
    Word(width);
    Word(height);
    uint8_t flags = 0x70;  // 8 bits of colour resolution
    if (!palette.empty()) flags |= uint8_t(0x80 | (TableBits(palette.size()) - 1));
    bytes_.insert(bytes_.end(), {flags, uint8_t(background), 0});
    if (!palette.empty()) Table(palette);
    return *this;
}

GifBuilder& GifBuilder::Control(int disposal, int delay, int transparent, int blockSize) {
    uint8_t packed = uint8_t((disposal & 7) << 2 | (transparent >= 0 ? 1 : 0));
    std::vector<uint8_t> body{packed, uint8_t(delay & 0xFF), uint8_t(delay >> 8),
                              uint8_t(transparent >= 0 ? transparent : 0)};
    body.resize(size_t(blockSize), 0);
    bytes_.insert(bytes_.end(), {0x21, 0xF9, uint8_t(blockSize)});
    bytes_.insert(bytes_.end(), body.begin(), body.end());
    bytes_.push_back(0);
    return *this;
}

GifBuilder& GifBuilder::Loop(int count) {
    const char id[] = "NETSCAPE2.0";
    bytes_.insert(bytes_.end(), {0x21, 0xFF, 11});
    bytes_.insert(bytes_.end(), id, id + 11);
    bytes_.insert(bytes_.end(), {3, 1, uint8_t(count & 0xFF), uint8_t(count >> 8), 0});
    return *this;
}

GifBuilder& GifBuilder::Comment(const std::string& text) {
    bytes_.insert(bytes_.end(), {0x21, 0xFE});
    std::vector<uint8_t> sub =
        SubBlocks(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    bytes_.insert(bytes_.end(), sub.begin(), sub.end());
    return *this;
}

GifBuilder& GifBuilder::Image(int left, int top, int width, int height, bool interlaced,
                              const std::vector<Rgb>& localPalette, std::span<const uint8_t> data) {
    bytes_.push_back(0x2C);
    Word(left);
    Word(top);
    Word(width);
    Word(height);
    uint8_t flags = interlaced ? 0x40 : 0;
    if (!localPalette.empty()) flags |= uint8_t(0x80 | (TableBits(localPalette.size()) - 1));
    bytes_.push_back(flags);
    if (!localPalette.empty()) Table(localPalette);
    bytes_.insert(bytes_.end(), data.begin(), data.end());
    return *this;
}

GifBuilder& GifBuilder::Raw(std::span<const uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

GifBuilder& GifBuilder::Raw(std::initializer_list<uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return *this;
}

GifBuilder& GifBuilder::Trailer() {
    bytes_.push_back(0x3B);
    return *this;
}

std::vector<uint8_t> ReferenceImageData(std::span<const uint8_t> pixels, int bits) {
    LzwOptions o;
    o.MinCodeSize = std::max(2, bits);
    LzwCodes codes = LzwEncode(pixels, o);
    return ImageData(o.MinCodeSize, SubBlocks(codes.Bytes));
}

std::vector<uint8_t> WrapImageData(std::span<const uint8_t> data, int width, int height, int bits) {
    std::vector<Rgb> grey(size_t{1} << bits);
    for (size_t i = 0; i < grey.size(); ++i) grey[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
    return GifBuilder().Screen(width, height, grey).Image(0, 0, width, height, false, {}, data).Trailer().Bytes();
}

std::vector<uint8_t> ReferenceEncode(const Picture& p) {
    GifBuilder b;
    b.Screen(p.Width, p.Height, p.GlobalPalette, p.Background);
    if (p.LoopCount >= 0 && p.LoopFrame == 0) b.Loop(p.LoopCount);
    if (!p.Comment.empty()) b.Comment(p.Comment);
    for (size_t i = 0; i < p.Frames.size(); ++i) {
        const Frame& f = p.Frames[i];
        if (p.LoopCount >= 0 && p.LoopFrame > 0 && i == size_t(p.LoopFrame)) b.Loop(p.LoopCount);
        if (f.HasControl) b.Control(f.Disposal, f.Delay, f.Transparent);
        std::vector<uint8_t> stored;
        if (f.Interlaced)
            for (int y : InterlacedRowOrder(f.Height))
                stored.insert(stored.end(), f.Indices.begin() + ptrdiff_t(y) * f.Width,
                              f.Indices.begin() + ptrdiff_t(y + 1) * f.Width);
        else
            stored = f.Indices;
        b.Image(f.Left, f.Top, f.Width, f.Height, f.Interlaced, f.LocalPalette,
                ReferenceImageData(stored, TableBits(p.ActivePalette(f).size())));
    }
    b.Trailer();
    return b.Bytes();
}

}  // namespace giforacle
