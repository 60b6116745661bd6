// Helpers for the GIF unit's tests: byte builders, a reference LZW coder
// written from the format's rules, and a warning recorder.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "gif/GIFImage.h"

namespace giftest {

using Bytes = std::vector<uint8_t>;

inline rtl::TMemoryStream StreamOf(const Bytes& bytes) { return rtl::TMemoryStream(bytes); }

inline Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Packs codes least significant bit first.
class BitPacker {
public:
    void Put(int code, int width) {
        for (int i = 0; i < width; ++i) {
            if (bits_ % 8 == 0) bytes_.push_back(0);
            if (code >> i & 1) bytes_.back() |= static_cast<uint8_t>(1 << (bits_ % 8));
            ++bits_;
        }
    }
    const Bytes& Data() const { return bytes_; }

private:
    Bytes bytes_;
    int bits_ = 0;
};

// A code stream of a given code size: codes with their widths as a decoder
// that grows the width when the next free code reaches a power of two sees
// them.
struct CodeStream {
    int codeSize;
    std::vector<std::pair<int, int>> codes;  // code, width
};

// LZW-encodes pixels the plain way: a clear code first, a dictionary of
// strings, the width growing with the table, a clear whenever the table is
// full (or never, when deferClear is set: the table then stays full).
inline CodeStream ReferenceLZW(const Bytes& pixels, int codeSize, bool deferClear = false) {
    CodeStream out{codeSize, {}};
    const int clear = 1 << codeSize;
    const int end = clear + 1;
    std::map<std::string, int> table;
    int next = 0, width = 0;
    auto reset = [&] {
        table.clear();
        for (int i = 0; i < clear; ++i) table[std::string(1, static_cast<char>(i))] = i;
        next = clear + 2;
        width = codeSize + 1;
    };
    reset();
    out.codes.push_back({clear, width});
    std::string w;
    for (uint8_t p : pixels) {
        std::string wc = w + static_cast<char>(p);
        if (table.count(wc)) {
            w = wc;
            continue;
        }
        out.codes.push_back({table[w], width});
        if (next < 4096) {
            table[wc] = next++;
            if (next > (1 << width) && width < 12) ++width;
        } else if (!deferClear) {
            out.codes.push_back({clear, width});
            reset();
        }
        w = std::string(1, static_cast<char>(p));
    }
    if (!w.empty()) out.codes.push_back({table[w], width});
    out.codes.push_back({end, width});
    return out;
}

// The image data section: code size byte, sub-blocks of the given sizes
// (the last size repeats), terminator.
inline Bytes ImageData(const CodeStream& codes, std::vector<int> blockSizes = {255}, bool terminator = true) {
    BitPacker packer;
    for (auto [code, width] : codes.codes) packer.Put(code, width);
    Bytes out{static_cast<uint8_t>(codes.codeSize)};
    const Bytes& data = packer.Data();
    size_t pos = 0, block = 0;
    while (pos < data.size()) {
        const size_t size = std::min<size_t>(static_cast<size_t>(blockSizes[std::min(block, blockSizes.size() - 1)]),
                                             data.size() - pos);
        out.push_back(static_cast<uint8_t>(size));
        out.insert(out.end(), data.begin() + static_cast<long>(pos), data.begin() + static_cast<long>(pos + size));
        pos += size;
        ++block;
    }
    if (terminator) out.push_back(0);
    return out;
}

// A colour table of 2 << n entries holding at least colors entries.
inline Bytes ColorTable(int colors) {
    int bits = 0;
    while ((2 << bits) < colors) ++bits;
    Bytes out;
    for (int i = 0; i < (2 << bits); ++i) {
        out.push_back(static_cast<uint8_t>(i * 7));
        out.push_back(static_cast<uint8_t>(i * 13));
        out.push_back(static_cast<uint8_t>(i * 29));
    }
    return out;
}

inline Bytes Header(int width, int height, int globalColors = 0, const std::string& version = "89a") {
    Bytes out = Text("GIF" + version);
    uint8_t flags = 0;
    int bits = 0;
    if (globalColors > 0) {
        while ((2 << bits) < globalColors) ++bits;
        flags = static_cast<uint8_t>(0x80 | bits);
    }
    Bytes lsd{static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(height),
              static_cast<uint8_t>(height >> 8), flags, 0, 0};
    out.insert(out.end(), lsd.begin(), lsd.end());
    if (globalColors > 0) {
        const Bytes table = ColorTable(globalColors);
        out.insert(out.end(), table.begin(), table.end());
    }
    return out;
}

inline Bytes Descriptor(int left, int top, int width, int height, uint8_t flags = 0) {
    return {0x2C,
            static_cast<uint8_t>(left), static_cast<uint8_t>(left >> 8),
            static_cast<uint8_t>(top), static_cast<uint8_t>(top >> 8),
            static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
            static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8), flags};
}

// A one-frame picture of the given pixels with a global table.
inline Bytes SimpleGif(int width, int height, const Bytes& pixels, int colors, std::vector<int> blockSizes = {255}) {
    int codeSize = 2;
    while ((1 << codeSize) < colors) ++codeSize;
    return Concat({Header(width, height, colors), Descriptor(0, 0, width, height),
                   ImageData(ReferenceLZW(pixels, codeSize), blockSizes), {0x3B}});
}

struct Warning {
    gif::TGIFSeverity severity;
    std::string message;
};

// Records the warnings a picture reports.
struct WarningLog {
    std::vector<Warning> entries;
    void Attach(gif::TGIFImage& image) {
        image.SetOnGIFWarning([this](rtl::TObject*, gif::TGIFSeverity severity, const std::string& message) {
            entries.push_back({severity, message});
        });
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const auto& entry : entries) out.push_back(entry.message);
        return out;
    }
};

// A picture with one empty frame, its warnings logged.
struct OneFramePicture {
    gif::TGIFImage image;
    gif::TGIFSubImage* frame;
    WarningLog log;
    OneFramePicture() : frame(&image.GetImages().Adopt(std::make_unique<gif::TGIFSubImage>())) {
        log.Attach(image);
    }
};

inline Bytes FramePixels(const gif::TGIFSubImage& frame) {
    return Bytes(frame.GetData(), frame.GetData() + frame.GetDataSize());
}

inline Bytes SaveBytes(gif::TGIFImage& image) {
    rtl::TMemoryStream stream;
    image.SaveToStream(stream);
    return stream.Bytes();
}

// Pseudo-random pixels below colors, reproducible.
inline Bytes NoisePixels(size_t count, int colors, uint32_t seed = 1) {
    Bytes out(count);
    for (auto& p : out) {
        seed = seed * 1103515245u + 12345u;
        p = static_cast<uint8_t>((seed >> 16) % static_cast<uint32_t>(colors));
    }
    return out;
}

// A logical palette of the entries; the caller deletes it.
inline gif::HPALETTE PaletteOf(const std::vector<gif::TPaletteEntry>& entries) {
    gdi::LOGPALETTE log;
    for (const auto& e : entries) log.palPalEntry[log.palNumEntries++] = e;
    return gdi::CreatePalette(&log);
}

// Expects the action to raise the unit's exception with the text.
inline void ExpectGIFError(const std::function<void()>& action, const std::string& text) {
    try {
        action();
        ADD_FAILURE() << "no error, expected " << text;
    } catch (const gif::GIFException& e) {
        EXPECT_EQ(std::string(e.what()), text);
    }
}

}  // namespace giftest
