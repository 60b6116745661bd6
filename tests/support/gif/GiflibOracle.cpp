#include "GiflibOracle.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <stdexcept>

namespace giforacle {

namespace {

// Frames beyond this are not decoded (no test needs them; a damaged
// descriptor can ask for 4 G pixels).
constexpr size_t kMaxFramePixels = size_t{1} << 26;

struct MemoryIn {
    std::span<const uint8_t> Bytes;
    size_t Pos = 0;
};

int ReadMemory(GifFileType* gif, GifByteType* out, int len) {
    auto* in = static_cast<MemoryIn*>(gif->UserData);
    size_t n = std::min(in->Bytes.size() - in->Pos, static_cast<size_t>(len));
    if (n) std::memcpy(out, in->Bytes.data() + in->Pos, n);
    in->Pos += n;
    return static_cast<int>(n);
}

int WriteMemory(GifFileType* gif, const GifByteType* data, int len) {
    auto* out = static_cast<std::vector<uint8_t>*>(gif->UserData);
    out->insert(out->end(), data, data + len);
    return len;
}

struct MapDeleter {
    void operator()(ColorMapObject* m) const { GifFreeMapObject(m); }
};
using MapPtr = std::unique_ptr<ColorMapObject, MapDeleter>;

MapPtr MakeMap(const std::vector<Rgb>& palette) {
    if (palette.empty()) return nullptr;
    int bits = TableBits(palette.size());
    std::vector<GifColorType> colors(size_t{1} << bits, GifColorType{0, 0, 0});
    for (size_t i = 0; i < palette.size(); ++i) colors[i] = {palette[i].R, palette[i].G, palette[i].B};
    return MapPtr(GifMakeMapObject(1 << bits, colors.data()));
}

std::vector<Rgb> FromMap(const ColorMapObject* map) {
    std::vector<Rgb> palette;
    if (!map) return palette;
    for (int i = 0; i < map->ColorCount; ++i)
        palette.push_back({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
    return palette;
}

[[noreturn]] void Fail(const char* step, int error) {
    throw std::runtime_error(std::string("giflib ") + step + ": " +
                             (GifErrorString(error) ? GifErrorString(error) : "unknown error"));
}

class Encoder {
public:
    explicit Encoder(std::vector<uint8_t>& out) {
        int error = 0;
        gif_ = EGifOpen(&out, WriteMemory, &error);
        if (!gif_) Fail("open", error);
    }
    ~Encoder() {
        if (gif_) EGifCloseFile(gif_, nullptr);
    }
    void Close() {
        int error = 0;
        GifFileType* gif = gif_;
        gif_ = nullptr;
        if (EGifCloseFile(gif, &error) != GIF_OK) Fail("close", error);
    }
    GifFileType* operator->() { return gif_; }
    GifFileType* get() { return gif_; }
    void Check(int rc, const char* step) {
        if (rc != GIF_OK) Fail(step, gif_->Error);
    }

private:
    GifFileType* gif_ = nullptr;
};

void PutFrameLines(Encoder& enc, const Frame& f) {
    std::vector<uint8_t> row(std::max(1, f.Width));
    if (f.Interlaced) {
        for (int y : InterlacedRowOrder(f.Height)) {
            std::copy_n(f.Indices.begin() + ptrdiff_t(y) * f.Width, f.Width, row.begin());
            enc.Check(EGifPutLine(enc.get(), row.data(), f.Width), "line");
        }
    } else {
        for (int y = 0; y < f.Height; ++y) {
            std::copy_n(f.Indices.begin() + ptrdiff_t(y) * f.Width, f.Width, row.begin());
            enc.Check(EGifPutLine(enc.get(), row.data(), f.Width), "line");
        }
    }
}

}  // namespace

std::vector<uint8_t> GiflibEncode(const Picture& p) {
    std::vector<uint8_t> out;
    Encoder enc(out);
    bool has89 = p.LoopCount >= 0 || !p.Comment.empty() ||
                 std::any_of(p.Frames.begin(), p.Frames.end(), [](const Frame& f) { return f.HasControl; });
    EGifSetGifVersion(enc.get(), has89);
    MapPtr global = MakeMap(p.GlobalPalette);
    int resolution = global ? global->BitsPerPixel : 8;
    enc.Check(EGifPutScreenDesc(enc.get(), p.Width, p.Height, resolution, p.Background, global.get()), "screen");
    auto putLoop = [&] {
        enc.Check(EGifPutExtensionLeader(enc.get(), APPLICATION_EXT_FUNC_CODE), "app leader");
        enc.Check(EGifPutExtensionBlock(enc.get(), 11, "NETSCAPE2.0"), "app id");
        const uint8_t loop[3] = {1, uint8_t(p.LoopCount & 0xFF), uint8_t(p.LoopCount >> 8)};
        enc.Check(EGifPutExtensionBlock(enc.get(), 3, loop), "loop");
        enc.Check(EGifPutExtensionTrailer(enc.get()), "app trailer");
    };
    if (p.LoopCount >= 0 && p.LoopFrame == 0) putLoop();
    if (!p.Comment.empty()) enc.Check(EGifPutComment(enc.get(), p.Comment.c_str()), "comment");
    for (size_t i = 0; i < p.Frames.size(); ++i) {
        const Frame& f = p.Frames[i];
        if (p.LoopCount >= 0 && p.LoopFrame > 0 && i == size_t(p.LoopFrame)) putLoop();
        if (f.HasControl) {
            GraphicsControlBlock gcb{f.Disposal, false, f.Delay, f.Transparent};
            uint8_t ext[4];
            size_t n = EGifGCBToExtension(&gcb, ext);
            enc.Check(EGifPutExtension(enc.get(), GRAPHICS_EXT_FUNC_CODE, int(n), ext), "control");
        }
        MapPtr local = MakeMap(f.LocalPalette);
        enc.Check(EGifPutImageDesc(enc.get(), f.Left, f.Top, f.Width, f.Height, f.Interlaced, local.get()),
                  "descriptor");
        PutFrameLines(enc, f);
        // giflib keeps its own copy of a local table and frees none but
        // the last one; drop each after its frame.
        if (enc->Image.ColorMap) {
            GifFreeMapObject(enc->Image.ColorMap);
            enc->Image.ColorMap = nullptr;
        }
    }
    enc.Close();
    return out;
}

std::vector<uint8_t> GiflibEncodeImageData(std::span<const uint8_t> indices, int width, int height, int bits,
                                           bool interlaced) {
    Picture p;
    p.Width = width;
    p.Height = height;
    p.GlobalPalette.resize(size_t{1} << bits);
    for (size_t i = 0; i < p.GlobalPalette.size(); ++i) p.GlobalPalette[i] = {uint8_t(i), uint8_t(i), uint8_t(i)};
    Frame f;
    f.Width = width;
    f.Height = height;
    f.Interlaced = interlaced;
    f.Indices.assign(indices.begin(), indices.end());
    p.Frames.push_back(std::move(f));
    std::vector<uint8_t> file = GiflibEncode(p);
    // Header 13 + global table 3 * 2^bits + descriptor 10, trailer 1.
    size_t start = 13 + 3 * (size_t{1} << bits) + 10;
    return std::vector<uint8_t>(file.begin() + ptrdiff_t(start), file.end() - 1);
}

GiflibResult GiflibDecode(std::span<const uint8_t> bytes) {
    GiflibResult result;
    MemoryIn in{bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&in, ReadMemory, &error);
    if (!gif) {
        result.Error = GifErrorString(error) ? GifErrorString(error) : "open failed";
        return result;
    }
    Picture& p = result.Image;
    p.Width = gif->SWidth;
    p.Height = gif->SHeight;
    p.Background = gif->SBackGroundColor;
    p.GlobalPalette = FromMap(gif->SColorMap);
    Frame pending;  // control extension waiting for its image
    auto fail = [&] {
        result.Error = GifErrorString(gif->Error) ? GifErrorString(gif->Error) : "error";
    };
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) != GIF_OK) {
            fail();
            break;
        }
        if (type == TERMINATE_RECORD_TYPE) {
            result.Ok = true;
            break;
        }
        if (type == EXTENSION_RECORD_TYPE) {
            int code = 0;
            GifByteType* block = nullptr;
            if (DGifGetExtension(gif, &code, &block) != GIF_OK) {
                fail();
                break;
            }
            bool netscape = false;
            bool first = true;
            bool ok = true;
            while (block) {
                if (code == GRAPHICS_EXT_FUNC_CODE && first) {
                    GraphicsControlBlock gcb;
                    if (DGifExtensionToGCB(block[0], block + 1, &gcb) == GIF_OK) {
                        pending.HasControl = true;
                        pending.Disposal = gcb.DisposalMode;
                        pending.Delay = gcb.DelayTime;
                        pending.Transparent = gcb.TransparentColor;
                    }
                } else if (code == APPLICATION_EXT_FUNC_CODE && first) {
                    netscape = block[0] == 11 && std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0;
                } else if (code == APPLICATION_EXT_FUNC_CODE && netscape && block[0] >= 3 && block[1] == 1) {
                    p.LoopCount = block[2] | (block[3] << 8);
                    p.LoopFrame = int(p.Frames.size());
                } else if (code == COMMENT_EXT_FUNC_CODE) {
                    p.Comment.append(reinterpret_cast<const char*>(block + 1), block[0]);
                }
                first = false;
                if (DGifGetExtensionNext(gif, &block) != GIF_OK) {
                    ok = false;
                    break;
                }
            }
            if (!ok) {
                fail();
                break;
            }
            continue;
        }
        if (type == IMAGE_DESC_RECORD_TYPE) {
            if (DGifGetImageDesc(gif) != GIF_OK) {
                fail();
                break;
            }
            Frame f = pending;
            pending = Frame{};
            f.Left = gif->Image.Left;
            f.Top = gif->Image.Top;
            f.Width = gif->Image.Width;
            f.Height = gif->Image.Height;
            f.Interlaced = gif->Image.Interlace;
            f.LocalPalette = FromMap(gif->Image.ColorMap);
            if (size_t(f.Width) * f.Height > kMaxFramePixels) {
                result.Error = "frame too large for the oracle";
                break;
            }
            f.Indices.assign(size_t(f.Width) * f.Height, 0);
            std::vector<bool> done(f.Height, false);
            std::vector<int> order = f.Interlaced ? InterlacedRowOrder(f.Height) : std::vector<int>();
            bool ok = true;
            for (int i = 0; i < f.Height && ok; ++i) {
                int y = f.Interlaced ? order[i] : i;
                if (DGifGetLine(gif, f.Indices.data() + size_t(y) * f.Width, f.Width) != GIF_OK)
                    ok = false;
                else
                    done[y] = true;
            }
            p.Frames.push_back(std::move(f));
            result.RowsDone.push_back(std::move(done));
            if (!ok) {
                fail();
                break;
            }
            continue;
        }
        result.Error = "unknown record";
        break;
    }
    DGifCloseFile(gif, nullptr);
    return result;
}

bool GiflibDecodeFirstFrame(std::span<const uint8_t> bytes, std::vector<uint8_t>& indices) {
    MemoryIn in{bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&in, ReadMemory, &error);
    if (!gif) return false;
    bool ok = false;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) != GIF_OK || type == TERMINATE_RECORD_TYPE) break;
        if (type == EXTENSION_RECORD_TYPE) {
            int code;
            GifByteType* block;
            if (DGifGetExtension(gif, &code, &block) != GIF_OK) break;
            while (block)
                if (DGifGetExtensionNext(gif, &block) != GIF_OK) break;
            continue;
        }
        if (type != IMAGE_DESC_RECORD_TYPE || DGifGetImageDesc(gif) != GIF_OK) break;
        size_t n = size_t(gif->Image.Width) * gif->Image.Height;
        indices.resize(n);
        ok = DGifGetLine(gif, indices.data(), int(n)) == GIF_OK;
        break;
    }
    DGifCloseFile(gif, nullptr);
    return ok;
}

}  // namespace giforacle
