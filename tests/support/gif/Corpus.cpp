#include "Corpus.h"

#include <algorithm>

#include <stdexcept>

#include "CraftedStream.h"

namespace giforacle {

namespace {

enum class Kind { Photo, Line, Noise };

std::vector<uint8_t> Pixels(Kind kind, int w, int h, int colors, uint32_t seed) {
    switch (kind) {
    case Kind::Photo: return PhotoLike(w, h, colors, seed);
    case Kind::Line: return LineArt(w, h, colors, seed);
    default: return Noise(w, h, colors, seed);
    }
}

Frame MakeFrame(int left, int top, int w, int h, std::vector<uint8_t> px, bool interlaced = false) {
    Frame f;
    f.Left = left;
    f.Top = top;
    f.Width = w;
    f.Height = h;
    f.Interlaced = interlaced;
    f.Indices = std::move(px);
    return f;
}

Picture Still(int w, int h, int colors, Kind kind, uint32_t seed, bool interlaced = false) {
    Picture p;
    p.Width = w;
    p.Height = h;
    p.GlobalPalette = DistinctPalette(size_t(colors), seed);
    p.Frames.push_back(MakeFrame(0, 0, w, h, Pixels(kind, w, h, colors, seed), interlaced));
    return p;
}

Picture Animation(int frames, bool localTables, uint32_t seed) {
    Picture p;
    p.Width = 90;
    p.Height = 70;
    p.Background = 3;
    if (!localTables) p.GlobalPalette = DistinctPalette(32, seed);
    const int sizes[] = {2, 16, 256, 5, 64};
    for (int i = 0; i < frames; ++i) {
        int colors = localTables ? sizes[i % 5] : 32;
        int w = 20 + 13 * i % 70, h = 10 + 7 * i % 60;
        int left = (p.Width - w) * i / frames, top = (p.Height - h) * (frames - 1 - i) / frames;
        Frame f = MakeFrame(left, top, w, h, Pixels(Kind(i % 3), w, h, colors, seed + i), i % 2 == 1);
        if (localTables) f.LocalPalette = DistinctPalette(size_t(colors), seed * 7 + i);
        Control(f, i % 4, i * 10, i % 3 == 0 ? -1 : i % colors);
        p.Frames.push_back(std::move(f));
    }
    return p;
}

CraftedCase Single(std::string name, int w, int h, const std::vector<uint8_t>& px, int bits,
                   const LzwOptions& options, const std::function<int(size_t)>& framing,
                   Damage kind = Damage::None, LzwCodes* codesOut = nullptr) {
    CraftedCase c;
    c.Name = std::move(name);
    c.Kind = kind;
    c.Expected.Width = w;
    c.Expected.Height = h;
    c.Expected.GlobalPalette = DistinctPalette(size_t{1} << bits, 99);
    c.Expected.Frames.push_back(MakeFrame(0, 0, w, h, px));
    LzwCodes codes = LzwEncode(px, options);
    if (codesOut) *codesOut = codes;
    c.Bytes = GifBuilder()
                  .Screen(w, h, c.Expected.GlobalPalette)
                  .Image(0, 0, w, h, false, {}, ImageData(options.MinCodeSize, SubBlocks(codes.Bytes, framing)))
                  .Trailer()
                  .Bytes();
    return c;
}

CraftedCase Crafted(std::string name, Damage kind, Picture expected, std::vector<uint8_t> bytes) {
    CraftedCase c;
    c.Name = std::move(name);
    c.Kind = kind;
    c.Expected = std::move(expected);
    c.Bytes = std::move(bytes);
    return c;
}

auto Fixed(int n) {
    return [n](size_t) { return n; };
}

// A valid three-frame file for the damage cases.
Picture SmallAnimation() {
    Picture p = Animation(3, false, 5);
    for (Frame& f : p.Frames) {
        f.Width = std::min(f.Width, 24);
        f.Height = std::min(f.Height, 12);
        f.Indices = Noise(f.Width, f.Height, 32, 11);
        f.Interlaced = false;
    }
    return p;
}

}  // namespace

std::vector<GeneratedCase> GeneratedCorpus() {
    std::vector<GeneratedCase> cases;
    auto add = [&](std::string name, Picture p) { cases.push_back({std::move(name), std::move(p)}); };
    const int colorCounts[] = {2, 3, 4, 5, 8, 16, 17, 32, 64, 128, 200, 256};
    for (int colors : colorCounts) add("photo_" + std::to_string(colors), Still(61, 47, colors, Kind::Photo, colors));
    add("line_16", Still(160, 120, 16, Kind::Line, 3));
    add("line_2", Still(97, 33, 2, Kind::Line, 4));
    add("noise_256", Still(128, 96, 256, Kind::Noise, 5));
    add("noise_2", Still(100, 100, 2, Kind::Noise, 6));
    add("noise_4_fills_table", Still(300, 200, 4, Kind::Noise, 7));
    add("photo_512", Still(512, 512, 256, Kind::Photo, 8));
    add("pixel_1x1", Still(1, 1, 2, Kind::Noise, 9));
    add("column_1x257", Still(1, 257, 64, Kind::Photo, 10));
    add("row_300x1", Still(300, 1, 64, Kind::Noise, 11));
    for (int h : {1, 2, 3, 4, 5, 7, 8, 9, 17, 100})
        add("interlaced_h" + std::to_string(h), Still(13, h, 64, Kind::Photo, 20 + h, true));
    add("local_tables", Animation(5, true, 30));
    add("animation_global", Animation(6, false, 31));
    {
        Picture p = Animation(3, false, 32);
        p.Frames[1].LocalPalette = DistinctPalette(4, 77);
        for (auto& px : p.Frames[1].Indices) px %= 4;
        p.Frames[1].Transparent = 3;
        add("local_and_global", std::move(p));
    }
    for (int loop : {0, 1, 65535}) {
        Picture p = Animation(2, false, 40 + loop);
        p.LoopCount = loop;
        add("loop_" + std::to_string(loop), std::move(p));
    }
    {
        Picture p = Still(40, 30, 16, Kind::Photo, 50);
        Control(p.Frames[0], 1, 0, 0);
        p.Comment = "made for the decoder tests";
        add("transparent_comment", std::move(p));
    }
    {
        Picture p = Still(40, 30, 256, Kind::Photo, 51);
        Control(p.Frames[0], 2, 65535, 255);
        p.Background = 255;
        add("transparent_255", std::move(p));
    }
    return cases;
}

std::vector<CraftedCase> CraftedCorpus() {
    std::vector<CraftedCase> cases;
    const std::vector<uint8_t> noise256 = Noise(40, 30, 256, 1);
    cases.push_back(Single("subblocks_1_byte", 40, 30, noise256, 8, LzwSize(8), Fixed(1)));
    cases.push_back(Single("subblocks_2_bytes", 40, 30, noise256, 8, LzwSize(8), Fixed(2)));
    cases.push_back(Single("subblocks_mixed", 40, 30, noise256, 8, LzwSize(8),
                           [](size_t i) { return int(i * 37 % 255) + 1; }));
    cases.push_back(Single("subblocks_1_then_255", 40, 30, noise256, 8, LzwSize(8),
                           [](size_t i) { return i % 2 ? 255 : 1; }));
    {
        std::vector<uint8_t> runs(5000, 7);
        for (size_t i = 2500; i < runs.size(); i += 3) runs[i] = 9;
        LzwCodes codes;
        cases.push_back(Single("kwkwk_runs", 100, 50, runs, 8, LzwSize(8), Fixed(255), Damage::None, &codes));
        if (codes.KwKwK == 0) throw std::logic_error("kwkwk case sends no KwKwK code");
    }
    {
        LzwCodes codes;
        cases.push_back(Single("deferred_clear", 200, 150, Noise(200, 150, 256, 2), 8,
                               LzwSize(8, ClearPolicy::Deferred), Fixed(255), Damage::None, &codes));
        if (codes.FullTableCodes < 1000) throw std::logic_error("deferred clear case never fills the table");
    }
    cases.push_back(Single("deferred_clear_small_codes", 300, 120, Noise(300, 120, 4, 3), 2,
                           LzwSize(2, ClearPolicy::Deferred), Fixed(200)));
    cases.push_back(
        Single("early_clear", 80, 60, PhotoLike(80, 60, 64, 4), 6, LzwSize(6, ClearPolicy::Early, 100), Fixed(255)));
    cases.push_back(Single("clear_after_every_code", 20, 10, Noise(20, 10, 16, 5), 4,
                           LzwSize(4, ClearPolicy::Early, 1), Fixed(255)));
    {
        LzwCodes codes;
        LzwOptions o = LzwSize(1);
        o.WidenAfterFirstCode = true;
        // The format asks for at least 2; giflib takes 1 and widens the
        // codes one code earlier than a decoder that widens only after it
        // tables an entry, ImageMagick refuses it.  Neither reading is wrong.
        for (bool early : {true, false}) {
            o.WidenAfterFirstCode = early;
            cases.push_back(Single(early ? "code_size_1" : "code_size_1_late_widening", 64, 40,
                                   Noise(64, 40, 2, 6), 1, o, Fixed(255), Damage::Malformed, &codes));
            cases.back().MustReport = false;
            cases.back().GiflibDefines = false;
        }
    }
    {
        LzwCodes codes;
        cases.push_back(Single("width_12_from_size_2", 300, 300, Noise(300, 300, 4, 7), 2, LzwSize(2), Fixed(255),
                               Damage::None, &codes));
        if (codes.MaxWidth != 12) throw std::logic_error("code width never reaches 12");
    }
    {
        LzwOptions o = LzwSize(8);
        o.LeadingClear = false;
        cases.push_back(Single("no_leading_clear", 30, 20, Noise(30, 20, 256, 8), 8, o, Fixed(255)));
    }
    // The end code finishing exactly on the last bit of the data: a decoder
    // fetching it meets the terminator first.
    for (int w = 8; w < 400; ++w) {
        std::vector<uint8_t> px = Noise(w, 1, 16, 9);
        if (LzwEncode(px, LzwSize(4)).Bits % 8 != 0) continue;
        cases.push_back(Single("end_code_on_last_bit", w, 1, px, 4, LzwSize(4), Fixed(255)));
        break;
    }
    {
        LzwOptions o = LzwSize(8);
        o.EndCode = false;
        cases.push_back(Single("no_end_code", 30, 20, Noise(30, 20, 256, 10), 8, o, Fixed(255), Damage::Lenient));
    }
    {
        // Indices beyond a 4-entry table, in 8-bit codes.
        CraftedCase c = Single("index_beyond_table", 30, 20, Noise(30, 20, 256, 11), 8, LzwSize(8), Fixed(255),
                               Damage::Lenient);
        std::vector<Rgb> small = DistinctPalette(4, 12);
        c.Expected.GlobalPalette = small;
        LzwCodes codes = LzwEncode(c.Expected.Frames[0].Indices, LzwSize(8));
        c.Bytes = GifBuilder()
                      .Screen(30, 20, small)
                      .Image(0, 0, 30, 20, false, {}, ImageData(8, SubBlocks(codes.Bytes)))
                      .Trailer()
                      .Bytes();
        cases.push_back(std::move(c));
    }
    {
        // Frame 0 carries codes for more pixels than it holds: the next frame
        // must still be read from the right place.
        Picture p;
        p.Width = 20;
        p.Height = 10;
        p.GlobalPalette = DistinctPalette(16, 13);
        std::vector<uint8_t> more = Noise(20, 20, 16, 14);
        p.Frames.push_back(MakeFrame(0, 0, 20, 10, std::vector<uint8_t>(more.begin(), more.begin() + 200)));
        p.Frames.push_back(MakeFrame(0, 0, 20, 10, Noise(20, 10, 16, 15)));
        LzwCodes extra = LzwEncode(more, LzwSize(4));
        cases.push_back(Crafted("codes_past_last_pixel", Damage::Lenient, p,
                                GifBuilder()
                                    .Screen(20, 10, p.GlobalPalette)
                                    .Image(0, 0, 20, 10, false, {}, ImageData(4, SubBlocks(extra.Bytes, Fixed(7))))
                                    .Image(0, 0, 20, 10, false, {}, ReferenceImageData(p.Frames[1].Indices, 4))
                                    .Trailer()
                                    .Bytes()));
    }
    {
        // A control extension whose block is longer than the usual 4 bytes.
        Picture p;
        p.Width = 12;
        p.Height = 6;
        p.GlobalPalette = DistinctPalette(8, 16);
        p.Frames.push_back(MakeFrame(0, 0, 12, 6, Noise(12, 6, 8, 17)));
        cases.push_back(Crafted("control_block_size_6", Damage::Lenient, p,
                                GifBuilder()
                                    .Screen(12, 6, p.GlobalPalette)
                                    .Control(0, 5, 2, 6)
                                    .Image(0, 0, 12, 6, false, {}, ReferenceImageData(p.Frames[0].Indices, 3))
                                    .Trailer()
                                    .Bytes()));
    }

    // Damaged streams.
    const std::vector<uint8_t> good = ReferenceEncode(SmallAnimation());
    auto malformed = [&](std::string name, std::vector<uint8_t> bytes, bool mustReport = true) {
        CraftedCase c;
        c.Name = std::move(name);
        c.Kind = Damage::Malformed;
        c.Bytes = std::move(bytes);
        c.MustReport = mustReport;
        cases.push_back(std::move(c));
    };
    std::vector<size_t> codeSizeBytes;
    const std::vector<size_t> framingBytes = ImageDataFramingBytes(good, &codeSizeBytes);
    for (size_t cut = 0; cut < good.size(); ++cut) {
        malformed("truncated_at_" + std::to_string(cut),
                  std::vector<uint8_t>(good.begin(), good.begin() + ptrdiff_t(cut)), false);
        cases.back().Cut = true;
        cases.back().Expected = SmallAnimation();
        const auto codeSize = std::find(codeSizeBytes.begin(), codeSizeBytes.end(), cut);
        if (codeSize != codeSizeBytes.end()) {
            // Cut right after a descriptor: that frame has no data at all, so
            // it is the fill value throughout, and nothing is said.
            std::vector<Frame>& frames = cases.back().Expected.Frames;
            frames.resize(size_t(codeSize - codeSizeBytes.begin()) + 1);
            Frame& blank = frames.back();
            std::fill(blank.Indices.begin(), blank.Indices.end(), uint8_t(std::max(blank.Transparent, 0)));
        } else if (std::find(framingBytes.begin(), framingBytes.end(), cut) != framingBytes.end()) {
            // Cut where a sub-block length should come: the frame's remaining
            // pixels are missing, so the load must say so.
            cases.back().MustReport = true;
        }
    }
    {
        // Garbage where the second frame's block should start.
        Picture p = SmallAnimation();
        GifBuilder b;
        b.Screen(p.Width, p.Height, p.GlobalPalette);
        for (size_t i = 0; i < p.Frames.size(); ++i) {
            const Frame& f = p.Frames[i];
            if (i == 1) b.Raw({0x00, 0x55, 0xAA, 0x13});
            b.Image(f.Left, f.Top, f.Width, f.Height, false, {}, ReferenceImageData(f.Indices, 5));
        }
        malformed("garbage_between_frames", b.Trailer().Bytes());
        // The trailer byte becomes garbage.
        std::vector<uint8_t> tail(good.begin(), good.end() - 1);
        tail.push_back(0x99);
        tail.insert(tail.end(), {0x12, 0x34});
        malformed("garbage_for_trailer", tail);
        std::vector<uint8_t> noTrailer(good.begin(), good.end() - 1);
        malformed("no_trailer", noTrailer, false);
        cases.back().Cut = true;
        cases.back().Expected = SmallAnimation();
    }
    const std::vector<uint8_t> px = Noise(16, 8, 256, 18);
    for (int codeSize : {0, 9, 12, 255}) {
        LzwCodes codes = LzwEncode(px, LzwSize(8));
        // Sizes above 8 are read as 8 without a word.
        malformed("code_size_byte_" + std::to_string(codeSize),
                  GifBuilder()
                      .Screen(16, 8, DistinctPalette(256, 19))
                      .Image(0, 0, 16, 8, false, {}, ImageData(codeSize, SubBlocks(codes.Bytes)))
                      .Trailer()
                      .Bytes(),
                  false);
    }
    // Code sequences no encoder writes.  Only the endless chain is an error;
    // a code beyond the table is read as the repeated string, and an end
    // code before the last pixel ends the frame quietly.
    auto codeStream = [&](std::string name, std::initializer_list<unsigned> codes, bool mustReport = false) {
        CodePacker packer;
        for (unsigned code : codes) packer.Put(code, 9);
        std::vector<uint8_t> bytes = packer.Finish();
        malformed(std::move(name), GifBuilder()
                                       .Screen(16, 8, DistinctPalette(256, 20))
                                       .Image(0, 0, 16, 8, false, {}, ImageData(8, SubBlocks(bytes)))
                                       .Trailer()
                                       .Bytes(),
                  mustReport);
    };
    // Two table entries made each other's prefix: walking either never ends.
    codeStream("table_cycle", {256, 259, 258, 260, 258, 258, 258, 257}, true);
    codeStream("first_code_past_table", {256, 300, 1, 2, 257});
    codeStream("code_past_next_free", {256, 1, 2, 400, 3, 257});
    codeStream("only_end_code", {257});
    codeStream("only_clear_codes", {256, 256, 256, 256});
    malformed("empty_image_data", GifBuilder()
                                      .Screen(16, 8, DistinctPalette(256, 21))
                                      .Image(0, 0, 16, 8, false, {}, std::vector<uint8_t>{8, 0})
                                      .Trailer()
                                      .Bytes());
    malformed("huge_frame", GifBuilder()
                                .Screen(10, 10, DistinctPalette(4, 22))
                                .Image(0, 0, 65535, 65535, false, {}, ReferenceImageData(px, 8))
                                .Trailer()
                                .Bytes());
    malformed("zero_size_frame", GifBuilder()
                                     .Screen(16, 8, DistinctPalette(256, 23))
                                     .Image(0, 0, 0, 0, false, {}, ReferenceImageData(px, 8))
                                     .Trailer()
                                     .Bytes());
    // The screen grows to hold the frame.
    malformed("frame_past_screen",
              GifBuilder()
                  .Screen(4, 4, DistinctPalette(256, 24))
                  .Image(60000, 60000, 16, 8, false, {}, ReferenceImageData(px, 8))
                  .Trailer()
                  .Bytes(),
              false);
    malformed("extension_cut", GifBuilder().Screen(4, 4, DistinctPalette(4, 25)).Raw({0x21, 0xFF, 11, 'N'}).Bytes());
    malformed("not_a_gif", std::vector<uint8_t>{'G', 'I', 'F', '8', '9'});
    return cases;
}

std::vector<size_t> ImageDataFramingBytes(const std::vector<uint8_t>& b, std::vector<size_t>* codeSizeBytes) {
    std::vector<size_t> offsets;
    size_t i = 13;
    auto skipBlocks = [&](size_t j, bool record) {
        while (j < b.size() && b[j] != 0) {
            if (record) offsets.push_back(j);
            j += size_t(b[j]) + 1;
        }
        return j + 1;
    };
    if (b.size() > 10 && (b[10] & 0x80)) i += 3 * (size_t{2} << (b[10] & 7));
    while (i < b.size()) {
        if (b[i] == 0x21) {
            i = skipBlocks(i + 2, false);
        } else if (b[i] == 0x2C && i + 10 < b.size()) {
            size_t j = i + 10;
            if (b[i + 9] & 0x80) j += 3 * (size_t{2} << (b[i + 9] & 7));
            offsets.push_back(j);
            if (codeSizeBytes) codeSizeBytes->push_back(j);
            i = skipBlocks(j + 1, true);
        } else {
            break;
        }
    }
    return offsets;
}

}  // namespace giforacle
