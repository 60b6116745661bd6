#include "Compare.h"

#include <sstream>

namespace giforacle {

namespace {

std::string Mismatch(const char* what, long long expected, long long actual) {
    std::ostringstream s;
    s << what << ": expected " << expected << ", got " << actual;
    return s.str();
}

// A file holds tables of 2^n entries: the expected colours, then padding.
std::string DiffPalette(const char* what, const std::vector<Rgb>& e, const std::vector<Rgb>& a) {
    size_t stored = e.empty() ? 0 : size_t{1} << TableBits(e.size());
    if (a.size() != stored && a.size() != e.size()) return Mismatch(what, (long long)stored, (long long)a.size());
    for (size_t i = 0; i < e.size(); ++i)
        if (!(e[i] == a[i])) return std::string(what) + ": entry " + std::to_string(i) + " differs";
    return {};
}

}  // namespace

std::string DiffFrame(const Frame& e, const Frame& a) {
    if (e.Left != a.Left) return Mismatch("left", e.Left, a.Left);
    if (e.Top != a.Top) return Mismatch("top", e.Top, a.Top);
    if (e.Width != a.Width) return Mismatch("width", e.Width, a.Width);
    if (e.Height != a.Height) return Mismatch("height", e.Height, a.Height);
    if (e.Interlaced != a.Interlaced) return Mismatch("interlaced", e.Interlaced, a.Interlaced);
    if (e.Indices.size() != a.Indices.size())
        return Mismatch("pixel count", (long long)e.Indices.size(), (long long)a.Indices.size());
    for (size_t i = 0; i < e.Indices.size(); ++i)
        if (e.Indices[i] != a.Indices[i]) {
            std::ostringstream s;
            s << "pixel (" << i % size_t(e.Width) << ", " << i / size_t(e.Width) << "): expected "
              << int(e.Indices[i]) << ", got " << int(a.Indices[i]);
            return s.str();
        }
    return {};
}

std::string DiffPictures(const Picture& e, const Picture& a) {
    if (e.Width != a.Width) return Mismatch("screen width", e.Width, a.Width);
    if (e.Height != a.Height) return Mismatch("screen height", e.Height, a.Height);
    if (auto d = DiffPalette("global table", e.GlobalPalette, a.GlobalPalette); !d.empty()) return d;
    if (e.LoopCount != a.LoopCount) return Mismatch("loop count", e.LoopCount, a.LoopCount);
    if (e.LoopCount >= 0 && e.LoopFrame != a.LoopFrame) return Mismatch("loop frame", e.LoopFrame, a.LoopFrame);
    if (e.Frames.size() != a.Frames.size())
        return Mismatch("frame count", (long long)e.Frames.size(), (long long)a.Frames.size());
    for (size_t i = 0; i < e.Frames.size(); ++i) {
        const Frame &fe = e.Frames[i], &fa = a.Frames[i];
        std::string where = "frame " + std::to_string(i) + ": ";
        if (auto d = DiffPalette("local table", fe.LocalPalette, fa.LocalPalette); !d.empty()) return where + d;
        if (fe.HasControl != fa.HasControl) return where + Mismatch("control", fe.HasControl, fa.HasControl);
        if (fe.HasControl) {
            if (fe.Disposal != fa.Disposal) return where + Mismatch("disposal", fe.Disposal, fa.Disposal);
            if (fe.Delay != fa.Delay) return where + Mismatch("delay", fe.Delay, fa.Delay);
            if (fe.Transparent != fa.Transparent)
                return where + Mismatch("transparent", fe.Transparent, fa.Transparent);
        }
        if (auto d = DiffFrame(fe, fa); !d.empty()) return where + d;
    }
    return {};
}

std::string DiffAgainstRgba(const Picture& p, const std::vector<RgbaFrame>& frames) {
    if (p.Frames.size() != frames.size())
        return Mismatch("frame count", (long long)p.Frames.size(), (long long)frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        const Frame& f = p.Frames[i];
        const RgbaFrame& r = frames[i];
        std::string where = "frame " + std::to_string(i) + ": ";
        if (f.Width != r.Width) return where + Mismatch("width", f.Width, r.Width);
        if (f.Height != r.Height) return where + Mismatch("height", f.Height, r.Height);
        if (f.Left != r.Left) return where + Mismatch("left", f.Left, r.Left);
        if (f.Top != r.Top) return where + Mismatch("top", f.Top, r.Top);
        const std::vector<Rgb>& palette = p.ActivePalette(f);
        for (size_t k = 0; k < f.Indices.size(); ++k) {
            int index = f.Indices[k];
            const uint8_t* px = &r.Rgba[k * 4];
            bool ok;
            if (index == f.Transparent)
                ok = px[3] == 0;
            else
                ok = px[3] == 255 && size_t(index) < palette.size() && palette[index] == Rgb{px[0], px[1], px[2]};
            if (!ok) {
                std::ostringstream s;
                s << where << "pixel (" << k % size_t(f.Width) << ", " << k / size_t(f.Width) << ") index "
                  << index << " came out as rgba " << int(px[0]) << "," << int(px[1]) << "," << int(px[2]) << ","
                  << int(px[3]);
                return s.str();
            }
        }
    }
    return {};
}

}  // namespace giforacle
