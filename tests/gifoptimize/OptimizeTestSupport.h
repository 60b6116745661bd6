// Small builders for the optimiser's tests: pictures in the oracles' plain
// model, turned into TGIFImage by the bridge, and readers of what a frame
// holds.
#pragma once

#include <string>
#include <vector>

#include "AnimationCorpus.h"
#include "GifUnitBridge.h"

namespace gifopttest {

// A screen with a global table of distinct colours (none of them black).
inline giforacle::Picture Screen(int width, int height, int colors) {
    giforacle::Picture p;
    p.Width = width;
    p.Height = height;
    p.GlobalPalette = gifopt::Palette(colors, 1);
    return p;
}

// A frame; a disposal of -1 gives it no control extension.
inline giforacle::Frame Pixels(int left, int top, int width, int height, std::vector<uint8_t> indices, int disposal = -1,
                               int delay = 0, int transparent = -1) {
    giforacle::Frame f;
    f.Left = left;
    f.Top = top;
    f.Width = width;
    f.Height = height;
    f.Indices = std::move(indices);
    if (disposal >= 0) giforacle::Control(f, disposal, delay, transparent);
    return f;
}

inline std::vector<uint8_t> Indices(const gif::TGIFSubImage& frame) {
    return std::vector<uint8_t>(frame.GetData(), frame.GetData() + frame.GetDataSize());
}

inline void AddComment(gif::TGIFSubImage& frame, const std::string& text) {
    auto* comment = &frame.GetExtensions().Adopt(std::make_unique<gif::TGIFCommentExtension>());
    comment->GetText().push_back(text);
}

inline std::vector<std::string> Comments(const gif::TGIFSubImage& frame) {
    std::vector<std::string> out;
    for (int i = 0; i < frame.GetExtensions().GetCount(); ++i)
        if (auto* comment = dynamic_cast<gif::TGIFCommentExtension*>(frame.GetExtensions().GetExtension(i)))
            out.insert(out.end(), comment->GetText().begin(), comment->GetText().end());
    return out;
}

inline void AddLoop(gif::TGIFSubImage& frame, int loops) {
    auto* loop = &frame.GetExtensions().Adopt(std::make_unique<gif::TGIFAppExtNSLoop>());
    loop->SetLoops(loops);
}

inline std::vector<int> Loops(const gif::TGIFSubImage& frame) {
    std::vector<int> out;
    for (int i = 0; i < frame.GetExtensions().GetCount(); ++i)
        if (auto* loop = dynamic_cast<gif::TGIFAppExtNSLoop*>(frame.GetExtensions().GetExtension(i)))
            out.push_back(loop->GetLoops());
    return out;
}

inline gif::TGIFColor ColorOf(const giforacle::Rgb& c) { return {c.R, c.G, c.B}; }

// The colour a frame shows at a pixel, through its active table.
inline gif::TGIFColor ShownColor(const gif::TGIFSubImage& frame, int pixel) {
    return frame.GetActiveColorMap().GetEntry(frame.GetData()[pixel]);
}

}  // namespace gifopttest
