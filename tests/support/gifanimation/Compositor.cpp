#include "Compositor.h"

#include <algorithm>
#include <sstream>

namespace gifopt {

namespace {

int ShownDelay(const gif::TGIFSubImage& frame) {
    const gif::TGIFGraphicControlExtension* gce = frame.GetGraphicControlExtension();
    if (gce == nullptr || gce->GetDelay() == 0) return gif::GIFDefaultDelay;
    return std::max(gce->GetDelay(), gif::GIFMinimumDelay);
}

int Disposal(const gif::TGIFSubImage& frame) {
    const gif::TGIFGraphicControlExtension* gce = frame.GetGraphicControlExtension();
    return gce != nullptr ? gce->GetDisposal() : gif::dmNoDisposal;
}

class Screen {
public:
    Screen(gif::TGIFImage& image, uint32_t start, uint32_t background)
        : width_(image.GetWidth()), height_(image.GetHeight()), background_(background),
          pixels_(static_cast<size_t>(width_) * static_cast<size_t>(height_), start) {}

    void Draw(gif::TGIFSubImage& frame) {
        const gif::TGIFColorMap& map = frame.GetActiveColorMap();
        const gif::TGIFGraphicControlExtension* gce = frame.GetGraphicControlExtension();
        const int t = frame.GetTransparent() && gce != nullptr ? gce->GetTransparentColorIndex() : -1;
        ForEach(frame, [&](int x, int y, uint32_t& pixel) {
            const int index = frame.GetData()[static_cast<size_t>(y) * static_cast<size_t>(frame.GetWidth()) + static_cast<size_t>(x)];
            if (index == t) return;
            if (index >= map.GetCount()) {
                pixel = 0x01000000u | static_cast<uint32_t>(index);
                return;
            }
            const gif::TGIFColor c = map.GetEntry(index);
            pixel = 0xFF000000u | static_cast<uint32_t>(c.Red) << 16 | static_cast<uint32_t>(c.Green) << 8 | c.Blue;
        });
    }

    void Clear(const gif::TGIFSubImage& frame) {
        ForEach(frame, [&](int, int, uint32_t& pixel) { pixel = background_; });
    }

    const Canvas& Pixels() const { return pixels_; }
    void Set(const Canvas& pixels) { pixels_ = pixels; }

private:
    // Visits the frame's pixels that lie on the screen.
    template <typename Visit>
    void ForEach(const gif::TGIFSubImage& frame, Visit visit) {
        for (int y = 0; y < frame.GetHeight(); ++y) {
            const int sy = frame.GetTop() + y;
            if (sy >= height_) break;
            for (int x = 0; x < frame.GetWidth(); ++x) {
                const int sx = frame.GetLeft() + x;
                if (sx >= width_) break;
                visit(x, y, pixels_[static_cast<size_t>(sy) * static_cast<size_t>(width_) + static_cast<size_t>(sx)]);
            }
        }
    }

    int width_, height_;
    uint32_t background_;
    Canvas pixels_;
};

}  // namespace

Timeline Compose(gif::TGIFImage& image, const ComposeOptions& options) {
    Timeline out;
    out.Width = image.GetWidth();
    out.Height = image.GetHeight();
    uint32_t color = 0;
    gif::TGIFColorMap& global = image.GetGlobalColorMap();
    if (global.GetCount() > 0) {
        const int index = image.GetBackgroundColorIndex() < global.GetCount() ? image.GetBackgroundColorIndex() : 0;
        const gif::TGIFColor c = global.GetEntry(index);
        color = 0xFF000000u | static_cast<uint32_t>(c.Red) << 16 | static_cast<uint32_t>(c.Green) << 8 | c.Blue;
    }
    const uint32_t background = options.BackgroundColor ? color : 0;
    gif::TGIFImageList& frames = image.GetImages();
    int loopPoint = 0;
    for (int i = 0; i < frames.GetCount() && out.Loops < 0; ++i) {
        gif::TGIFExtensionList& extensions = frames.GetImage(i)->GetExtensions();
        for (int e = 0; e < extensions.GetCount() && out.Loops < 0; ++e)
            if (auto* loop = dynamic_cast<gif::TGIFAppExtNSLoop*>(extensions.GetExtension(e))) {
                out.Loops = loop->GetLoops();
                loopPoint = i;
            }
    }
    const int passes = out.Loops < 0 || out.Loops == 1 ? 1 : 2;
    Screen screen(image, options.BackgroundColorAroundFirstFrame ? color : background, background);
    if (options.BackgroundColorAroundFirstFrame && frames.GetCount() > 0) screen.Clear(*frames.GetImage(0));
    Canvas shown = screen.Pixels();
    for (int pass = 0; pass < passes; ++pass) {
        for (int k = pass == 0 ? 0 : loopPoint; k < frames.GetCount(); ++k) {
            gif::TGIFSubImage& frame = *frames.GetImage(k);
            if (frame.GetEmpty()) continue;
            const int disposal = Disposal(frame);
            if (disposal <= gif::dmPrevious) {
                if (k == frames.FirstWithPixels() && pass > 0) screen.Clear(frame);
                const Canvas before = screen.Pixels();
                screen.Draw(frame);
                shown = screen.Pixels();
                if (disposal == gif::dmBackground) screen.Clear(frame);
                if (disposal == gif::dmPrevious) screen.Set(before);
            }
            out.Frames.push_back({shown, ShownDelay(frame)});
        }
        if (pass == 0) out.PassOneFrames = static_cast<int>(out.Frames.size());
    }
    return out;
}

Timeline Collapse(const Timeline& timeline) {
    Timeline out = timeline;
    out.Frames.clear();
    for (const Shown& shown : timeline.Frames) {
        if (!out.Frames.empty() && out.Frames.back().Pixels == shown.Pixels)
            out.Frames.back().Delay += shown.Delay;
        else
            out.Frames.push_back(shown);
    }
    return out;
}

std::string DiffShown(const Timeline& before, const Timeline& after) {
    std::ostringstream out;
    if (before.Width != after.Width || before.Height != after.Height) {
        out << "screen " << before.Width << "x" << before.Height << " became " << after.Width << "x" << after.Height;
        return out.str();
    }
    if (before.Loops != after.Loops) {
        out << "loop count " << before.Loops << " became " << after.Loops;
        return out.str();
    }
    const Timeline a = Collapse(before), b = Collapse(after);
    for (size_t i = 0; i < std::min(a.Frames.size(), b.Frames.size()); ++i) {
        const Canvas& pa = a.Frames[i].Pixels;
        const Canvas& pb = b.Frames[i].Pixels;
        for (size_t p = 0; p < pa.size(); ++p)
            if (pa[p] != pb[p]) {
                out << "screen " << i << " differs at (" << p % static_cast<size_t>(a.Width) << ", "
                    << p / static_cast<size_t>(a.Width) << "): " << std::hex << pa[p] << " became " << pb[p];
                return out.str();
            }
        if (a.Frames[i].Delay != b.Frames[i].Delay) {
            out << "screen " << i << " was shown for " << a.Frames[i].Delay << ", now " << b.Frames[i].Delay;
            return out.str();
        }
    }
    if (a.Frames.size() != b.Frames.size())
        out << a.Frames.size() << " distinct screens became " << b.Frames.size();
    return out.str();
}

}  // namespace gifopt
