#include "GifUnitBridge.h"

#include <cstring>

namespace gifbridge {

namespace {

using giforacle::Picture;
using giforacle::Rgb;

std::vector<Rgb> FromMap(gif::TGIFColorMap& map) {
    std::vector<Rgb> palette;
    for (int i = 0; i < map.GetCount(); ++i) {
        gif::TGIFColor c = map.GetEntry(i);
        palette.push_back({c.Red, c.Green, c.Blue});
    }
    return palette;
}

void ToMap(const std::vector<Rgb>& palette, gif::TGIFColorMap& map) {
    gif::TColorMap colors{};
    for (size_t i = 0; i < palette.size() && i < colors.size(); ++i)
        colors[i] = {palette[i].R, palette[i].G, palette[i].B};
    map.ImportColorMap(colors, int(palette.size()));
}

Picture ToPicture(gif::TGIFImage& image) {
    Picture p;
    p.Width = image.GetWidth();
    p.Height = image.GetHeight();
    p.Background = image.GetBackgroundColorIndex();
    p.GlobalPalette = FromMap(image.GetGlobalColorMap());
    gif::TGIFImageList& frames = image.GetImages();
    for (int i = 0; i < frames.GetCount(); ++i) {
        gif::TGIFSubImage* s = frames.GetImage(i);
        gif::TGIFExtensionList& ext = s->GetExtensions();
        for (int e = 0; e < ext.GetCount(); ++e)
            if (auto* loop = dynamic_cast<gif::TGIFAppExtNSLoop*>(ext.GetExtension(e)); loop && p.LoopCount < 0) {
                p.LoopCount = loop->GetLoops();
                p.LoopFrame = int(p.Frames.size());
            }
        if (s->GetWidth() == 0 || s->GetHeight() == 0) continue;  // extensions only
        giforacle::Frame f;
        f.Left = s->GetLeft();
        f.Top = s->GetTop();
        f.Width = s->GetWidth();
        f.Height = s->GetHeight();
        f.Interlaced = s->GetInterlaced();
        f.LocalPalette = FromMap(s->GetColorMap());
        if (s->GetData()) f.Indices.assign(s->GetData(), s->GetData() + s->GetDataSize());
        if (gif::TGIFGraphicControlExtension* gce = s->GetGraphicControlExtension()) {
            f.HasControl = true;
            f.Disposal = gce->GetDisposal();
            f.Delay = gce->GetDelay();
            f.Transparent = gce->GetTransparent() ? gce->GetTransparentColorIndex() : -1;
        }
        p.Frames.push_back(std::move(f));
    }
    return p;
}

}  // namespace

Loaded Load(std::span<const uint8_t> bytes) {
    Loaded out;
    gif::TGIFImage image;
    image.SetOnGIFWarning([&](gif::TObject*, gif::TGIFSeverity, const std::string& message) {
        out.Warnings.push_back(message);
    });
    rtl::TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    try {
        image.LoadFromStream(stream);
        out.Ok = true;
    } catch (const std::exception& e) {
        out.Error = e.what();
    }
    out.Position = stream.GetPosition();
    out.Image = ToPicture(image);
    return out;
}

std::unique_ptr<gif::TGIFImage> Build(const Picture& p, bool rle) {
    auto image = std::make_unique<gif::TGIFImage>();
    image->SetCompression(rle ? gif::gcRLE : gif::gcLZW);
    image->SetWidth(p.Width);
    image->SetHeight(p.Height);
    ToMap(p.GlobalPalette, image->GetGlobalColorMap());
    image->SetBackgroundColorIndex(p.Background);
    for (size_t i = 0; i < p.Frames.size(); ++i) {
        const giforacle::Frame& f = p.Frames[i];
        auto* s = &image->GetImages().Adopt(std::make_unique<gif::TGIFSubImage>());
        if (i == size_t(p.LoopFrame) && p.LoopCount >= 0) {
            auto* loop = &s->GetExtensions().Adopt(std::make_unique<gif::TGIFAppExtNSLoop>());
            loop->SetLoops(p.LoopCount);
        }
        if (f.HasControl) {
            auto* gce = &s->GetExtensions().Adopt(std::make_unique<gif::TGIFGraphicControlExtension>());
            gce->SetDisposal(gif::TDisposalMethod(f.Disposal));
            gce->SetDelay(f.Delay);
            if (f.Transparent >= 0) {
                gce->SetTransparentColorIndex(f.Transparent);
                gce->SetTransparent(true);
            }
        }
        ToMap(f.LocalPalette, s->GetColorMap());
        s->DoSetBounds(f.Left, f.Top, f.Width, f.Height);
        s->SetInterlaced(f.Interlaced);
        if (!f.Indices.empty()) std::memcpy(s->GetData(), f.Indices.data(), f.Indices.size());
    }
    return image;
}

std::vector<uint8_t> Save(gif::TGIFImage& image) {
    rtl::TMemoryStream stream;
    image.SaveToStream(stream);
    return std::vector<uint8_t>(stream.Memory(), stream.Memory() + stream.GetSize());
}

std::vector<uint8_t> Save(const Picture& picture, bool rle) { return Save(*Build(picture, rle)); }

Encoder::Encoder(std::span<const uint8_t> indices, int width, int height, int bits, bool rle) {
    Picture p;
    p.Width = width;
    p.Height = height;
    p.GlobalPalette.resize(size_t{1} << bits);
    giforacle::Frame f;
    f.Width = width;
    f.Height = height;
    f.Indices.assign(indices.begin(), indices.end());
    p.Frames.push_back(std::move(f));
    Image = Build(p, rle);
}

std::vector<uint8_t> Encoder::Run() {
    rtl::TMemoryStream stream;
    Image->GetImages().GetImage(0)->Compress(stream);
    return std::vector<uint8_t>(stream.Memory(), stream.Memory() + stream.GetSize());
}

bool DecodeFirstFrame(std::span<const uint8_t> bytes, std::vector<uint8_t>& indices) {
    gif::TGIFImage image;
    rtl::TMemoryStream stream(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    try {
        image.LoadFromStream(stream);
    } catch (const std::exception&) {
        return false;
    }
    if (image.GetImages().GetCount() == 0) return false;
    gif::TGIFSubImage* s = image.GetImages().GetImage(0);
    indices.assign(s->GetData(), s->GetData() + s->GetDataSize());
    return true;
}

}  // namespace gifbridge
