// Shared routines of the GIF unit: errors, settings, byte and sub-block I/O.
#include <algorithm>

#include "gif/GIFImage.h"
#include "gif/GIFImpl.h"
#include "gif/codec/SubBlocks.h"

namespace gif {

const TGIFVersionRec GIFVersions[3] = {{0, 0, 0}, {'8', '7', 'a'}, {'8', '9', 'a'}};

int GIFDelayExp = GIFDelayUnitMilliseconds;
int GIFDefaultDelay = 10;
int GIFMinimumDelay = 3;
int GIFMaximumDelay = 1000;
TGIFDrawOptions GIFImageDefaultDrawOptions = 0x068F;
TColorReduction GIFImageDefaultColorReduction = rmNetscape;
int GIFImageDefaultColorReductionBits = 8;
TDitherMode GIFImageDefaultDitherMode = dmNearest;
TGIFCompression GIFImageDefaultCompression = gcLZW;
TThreadPriority GIFImageDefaultThreadPriority = tpNormal;
int GIFImageDefaultAnimationSpeed = 100;
bool GIFImageRenderOnLoad = false;
bool GIFImageOptimizeOnStream = false;
bool PaletteDevice = false;
bool DoAutoDither = false;
uint16_t CF_GIF = 0;
uint64_t GIFImageMaxFramePixels = uint64_t{1} << 28;
uint64_t GIFImageMaxPicturePixels = uint64_t{1} << 30;

void Register() { GIFImageDefaultDrawOptions &= static_cast<TGIFDrawOptions>(~DrawOption(goLoop)); }

void RaiseGIFError(const std::string& message) { throw GIFException(message); }

int ScanlineBytes(int width, int bitsPerPixel, int alignmentBits) {
    const long long bits = static_cast<long long>(width) * bitsPerPixel + alignmentBits - 1;
    return static_cast<int>((bits & ~static_cast<long long>(alignmentBits - 1)) / 8);
}

int ColorCountToBits(int count) {
    int bits = 0;
    while (count > (1 << bits)) ++bits;
    return count == 0 ? 0 : std::max(bits, 1);
}

void WriteByteToStream(TStream& stream, uint8_t value) { stream.WriteBuffer(&value, 1); }

uint8_t ReadByteFromStream(TStream& stream) {
    uint8_t value = 0;
    if (stream.Read(&value, 1) != 1) return 0;
    return value;
}

void ReadExact(TStream& stream, void* buffer, int64_t count) {
    if (count > 0 && stream.Read(buffer, count) != count) RaiseGIFError(_sOutOfData);
}

void WriteTextAsSubBlocks(TStream& stream, const std::vector<std::string>& lines) {
    std::vector<std::span<const uint8_t>> pieces;
    for (const std::string& line : lines)
        pieces.emplace_back(reinterpret_cast<const uint8_t*>(line.data()), line.size());
    WriteSubBlocks(stream, pieces);
}

void WriteSubBlocks(TStream& stream, const std::vector<std::span<const uint8_t>>& pieces) {
    std::vector<uint8_t> bytes;
    codec::SubBlockWriter blocks(bytes);
    for (const auto& piece : pieces) {
        blocks.Write(piece);
        blocks.EndBlock();
    }
    blocks.Terminate();
    stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
}

void ReadSubBlocksAsText(TStream& stream, std::vector<std::string>& lines) {
    lines.clear();
    ReadSubBlocks(stream, [&](std::span<const uint8_t> block) { lines.emplace_back(block.begin(), block.end()); });
}

void ReadSubBlockRun(TStream& stream, std::vector<uint8_t>& run) {
    const size_t start = run.size();
    codec::SubBlockReader blocks;
    for (;;) {
        blocks.Skip();
        const size_t missing = blocks.Missing();
        if (missing == 0) return;
        const size_t have = run.size();
        run.resize(have + missing);
        const int64_t got = std::max<int64_t>(stream.Read(run.data() + have, static_cast<int64_t>(missing)), 0);
        run.resize(have + static_cast<size_t>(got));
        if (static_cast<size_t>(got) < missing) return;
        blocks.Extend(std::span<const uint8_t>(run).subspan(start));
    }
}

std::vector<TPaletteEntry> WebPaletteEntries() {
    std::vector<TPaletteEntry> entries;
    entries.reserve(216);
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                entries.push_back({static_cast<uint8_t>(r * 51), static_cast<uint8_t>(g * 51),
                                   static_cast<uint8_t>(b * 51), 0});
    return entries;
}

HPALETTE WebPalette() {
    gdi::LOGPALETTE palette;
    const std::vector<TPaletteEntry> entries = WebPaletteEntries();
    palette.palNumEntries = static_cast<uint16_t>(entries.size());
    std::copy(entries.begin(), entries.end(), palette.palPalEntry);
    return gdi::CreatePalette(&palette);
}

uintptr_t CheckGDIHandle(uintptr_t value) {
    if (value != 0) return value;
    const uint32_t error = gdi::GetLastError();
    const std::string text = error != 0 ? gdi::FormatMessageText(error).substr(0, 255) : std::string();
    if (!text.empty()) throw rtl::EOutOfResources(text);
    throw rtl::EOutOfResources();
}

vcl::TPixelFormat BitmapPixelFormat(vcl::TBitmap& bitmap) { return bitmap.GetPixelFormat(); }

void SetBitmapPixelFormat(vcl::TBitmap& bitmap, vcl::TPixelFormat pixelFormat) { bitmap.SetPixelFormat(pixelFormat); }

// ---------------------------------------------------------------------------
// Items and lists

void TGIFItem::Warning(TGIFSeverity severity, const std::string& message) {
    if (TGIFImage* image = GetImage()) image->Warning(this, severity, message);
}

void TGIFItem::SaveToStream(TStream&) { throw rtl::EAbstractError(); }
void TGIFItem::LoadFromStream(TStream&) { throw rtl::EAbstractError(); }

void TGIFItem::SaveToFile(const std::string& fileName) {
    rtl::TFileStream stream(fileName, rtl::fmCreate);
    SaveToStream(stream);
}

void TGIFItem::LoadFromFile(const std::string& fileName) {
    rtl::TFileStream stream(fileName, rtl::fmOpenRead | rtl::fmShareDenyWrite);
    LoadFromStream(stream);
}

TGIFList::~TGIFList() = default;

void TGIFList::CheckIndex(int index) const {
    if (index < 0 || index >= GetCount()) throw rtl::EListError(index);
}

TGIFItem* TGIFList::GetItem(int index) const {
    CheckIndex(index);
    return FItems[static_cast<size_t>(index)].get();
}

void TGIFList::InsertItem(int index, TGIFItem& item) {
    if (index < 0 || index > GetCount()) throw rtl::EListError(index);
    // Room first, so that nothing can fail once the item is attached.
    FItems.reserve(FItems.size() + 1);
    Attach(item);
    FItems.insert(FItems.begin() + index, std::unique_ptr<TGIFItem>(&item));
}

std::unique_ptr<TGIFItem> TGIFList::ReleaseItem(int index) {
    CheckIndex(index);
    std::unique_ptr<TGIFItem> item = std::move(FItems[static_cast<size_t>(index)]);
    FItems.erase(FItems.begin() + index);
    Detach(*item);
    return item;
}

std::unique_ptr<TGIFItem> TGIFList::ReplaceItem(int index, TGIFItem& item) {
    CheckIndex(index);
    Attach(item);
    std::unique_ptr<TGIFItem> replaced = std::move(FItems[static_cast<size_t>(index)]);
    FItems[static_cast<size_t>(index)].reset(&item);
    Detach(*replaced);
    return replaced;
}

void TGIFList::Delete(int index) { ReleaseItem(index); }

void TGIFList::Clear() {
    while (!FItems.empty()) Delete(0);
}

int TGIFList::IndexOf(const TGIFItem* item) const {
    const auto found =
        std::find_if(FItems.begin(), FItems.end(), [item](const std::unique_ptr<TGIFItem>& p) { return p.get() == item; });
    return found == FItems.end() ? -1 : static_cast<int>(found - FItems.begin());
}

void TGIFList::Exchange(int index1, int index2) {
    CheckIndex(index1);
    CheckIndex(index2);
    std::swap(FItems[static_cast<size_t>(index1)], FItems[static_cast<size_t>(index2)]);
}

void TGIFList::Move(int curIndex, int newIndex) {
    if (curIndex == newIndex) return;
    CheckIndex(curIndex);
    CheckIndex(newIndex);
    std::unique_ptr<TGIFItem> item = std::move(FItems[static_cast<size_t>(curIndex)]);
    FItems.erase(FItems.begin() + curIndex);
    FItems.insert(FItems.begin() + newIndex, std::move(item));
}

void TGIFList::Warning(TGIFSeverity severity, const std::string& message) {
    if (TGIFImage* image = GetImage()) image->Warning(this, severity, message);
}

void TGIFList::SaveToStream(TStream& stream) {
    for (const auto& item : FItems) item->SaveToStream(stream);
}

void TGIFList::LoadFromStream(TStream&, TObject*) { throw rtl::EAbstractError(); }

}  // namespace gif
