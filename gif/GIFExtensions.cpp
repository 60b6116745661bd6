// Extension blocks, the label and application-identifier registries, and the
// loader of a frame's extension list.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "gif/GIFImage.h"
#include "gif/GIFImpl.h"
#include "gif/codec/SubBlocks.h"

namespace gif {

namespace {

struct ExtensionEntry {
    TGIFExtensionClass Class;
    uint8_t Label;
};
struct AppExtensionEntry {
    TGIFAppExtensionClass Class;
    TGIFApplicationRec Ident;
};

std::mutex registryLock;
std::unique_ptr<std::vector<ExtensionEntry>> extensionList;
std::unique_ptr<std::vector<AppExtensionEntry>> appExtensionList;

TGIFApplicationRec MakeIdent(const char* text) {
    TGIFApplicationRec ident;
    std::memcpy(&ident, text, 11);
    return ident;
}

std::vector<ExtensionEntry>& ExtensionList() {
    if (!extensionList)
        extensionList.reset(new std::vector<ExtensionEntry>{{&TGIFTextExtension::Class, 0x01},
                                                            {&TGIFGraphicControlExtension::Class, 0xF9},
                                                            {&TGIFCommentExtension::Class, 0xFE},
                                                            {&TGIFApplicationExtension::Class, 0xFF}});
    return *extensionList;
}

std::vector<AppExtensionEntry>& AppExtensionList() {
    if (!appExtensionList)
        appExtensionList.reset(new std::vector<AppExtensionEntry>{{&TGIFAppExtNSLoop::Class, MakeIdent("NETSCAPE2.0")},
                                                                  {&TGIFAppExtNSLoop::Class, MakeIdent("ANIMEXTS1.0")}});
    return *appExtensionList;
}

TGIFExtensionClass FindExtensionClass(uint8_t label) {
    std::lock_guard<std::mutex> lock(registryLock);
    const auto& list = ExtensionList();
    for (auto entry = list.rbegin(); entry != list.rend(); ++entry)
        if (entry->Label == label) return entry->Class;
    return nullptr;
}

TGIFAppExtensionClass FindAppExtensionClass(const TGIFApplicationRec& ident) {
    std::lock_guard<std::mutex> lock(registryLock);
    const auto& list = AppExtensionList();
    for (auto entry = list.rbegin(); entry != list.rend(); ++entry)
        if (entry->Ident == ident) return entry->Class;
    return nullptr;
}

const TGIFExtensionClassInfo* SameClass(const TGIFExtensionClassInfo* self, TStream&) { return self; }

template <class T>
std::unique_ptr<TGIFExtension> Create() {
    return std::make_unique<T>();
}

// Skips count bytes that must be there.
void SkipExact(TStream& stream, int64_t count) {
    uint8_t scratch[256];
    while (count > 0) {
        const int64_t n = std::min<int64_t>(count, sizeof scratch);
        ReadExact(stream, scratch, n);
        count -= n;
    }
}

// Reads a block whose size byte comes first: up to fields.size() bytes land in
// fields (after the size byte at fields[0]); what the block holds beyond them
// is skipped.  Returns how many of the block's bytes arrived.
template <size_t N>
int ReadSizedBlock(TStream& stream, std::array<uint8_t, N>& fields, size_t fieldBytes) {
    uint8_t size = 0;
    if (stream.Read(&size, 1) != 1) return -1;
    const size_t wanted = std::min<size_t>(size, fieldBytes);
    const int arrived = static_cast<int>(stream.Read(fields.data() + 1, static_cast<int64_t>(wanted)));
    if (static_cast<size_t>(arrived) == wanted) SkipExact(stream, size - static_cast<int64_t>(wanted));
    return arrived == static_cast<int>(wanted) ? size : -1;
}

}  // namespace

void FreeExtensionRegistries() {
    std::lock_guard<std::mutex> lock(registryLock);
    extensionList.reset();
    appExtensionList.reset();
}

// ---------------------------------------------------------------------------

const TGIFExtensionClassInfo TGIFExtension::Class{"TGIFExtension", nullptr, &SameClass};

TGIFImage* TGIFExtension::GetImage() const { return FSubImage != nullptr ? FSubImage->GetImage() : nullptr; }

TGIFColorMap& TGIFExtension::GetActiveColorMap() const {
    if (FSubImage == nullptr) RaiseGIFError(_sNoColorTable);
    return FSubImage->GetActiveColorMap();
}

TGIFImage* TGIFExtensionList::GetImage() const { return FSubImage != nullptr ? FSubImage->GetImage() : nullptr; }

void TGIFExtensionList::Attach(TGIFItem& item) { static_cast<TGIFExtension&>(item).FSubImage = FSubImage; }

void TGIFExtensionList::Detach(TGIFItem& item) noexcept { static_cast<TGIFExtension&>(item).FSubImage = nullptr; }

uint8_t TGIFExtension::GetExtensionType() const { throw rtl::EAbstractError(); }

void TGIFExtension::SaveToStream(TStream& stream) {
    WriteByteToStream(stream, 0x21);
    WriteByteToStream(stream, GetExtensionType());
}

uint8_t TGIFExtension::DoReadFromStream(TStream& stream) {
    uint8_t bytes[2];
    ReadExact(stream, bytes, 2);
    if (bytes[0] != 0x21) RaiseGIFError(_sBadExtensionLabel);
    return bytes[1];
}

void TGIFExtension::LoadFromStream(TStream& stream) {
    if (DoReadFromStream(stream) != GetExtensionType()) RaiseGIFError(_sBadExtensionInstance);
}

void TGIFExtension::RegisterExtension(uint8_t label, TGIFExtensionClass extensionClass) {
    std::lock_guard<std::mutex> lock(registryLock);
    ExtensionList().push_back({extensionClass, label});
}

TGIFExtensionClass TGIFExtension::FindExtension(TStream& stream) {
    const int64_t position = stream.GetPosition();
    uint8_t label = 0;
    if (stream.Read(&label, 1) != 1) return nullptr;
    TGIFExtensionClass current = FindExtensionClass(label);
    while (current != nullptr) {
        TGIFExtensionClass next = current->FindSubExtension(current, stream);
        if (next == current) break;
        current = next;
    }
    stream.SetPosition(position);
    return current;
}

// ---------------------------------------------------------------------------
// Graphic control

const TGIFExtensionClassInfo TGIFGraphicControlExtension::Class{"TGIFGraphicControlExtension",
                                                                &Create<TGIFGraphicControlExtension>, &SameClass};

void TGIFGraphicControlExtension::SetTransparent(bool value) {
    FGCExtension[1] = static_cast<uint8_t>(value ? FGCExtension[1] | 0x01 : FGCExtension[1] & ~0x01);
}

void TGIFGraphicControlExtension::SetTransparentColorIndex(int index) {
    // On its own the extension has no table to check the index against.
    const int count = FSubImage != nullptr ? FSubImage->GetActiveColorMap().GetCount() : 0;
    if (count > 0 && (index < 0 || index >= count)) {
        Warning(gsWarning, _sBadColorIndex);
        index = 0;
    }
    FGCExtension[4] = static_cast<uint8_t>(index);
}

TColor TGIFGraphicControlExtension::GetTransparentColor() const {
    return GetActiveColorMap().GetColor(GetTransparentColorIndex());
}

void TGIFGraphicControlExtension::SetTransparentColor(TColor color) {
    FGCExtension[4] = static_cast<uint8_t>(GetActiveColorMap().AddUnique(color));
}

void TGIFGraphicControlExtension::SetDelay(int value) {
    FGCExtension[2] = static_cast<uint8_t>(value);
    FGCExtension[3] = static_cast<uint8_t>(value >> 8);
}

void TGIFGraphicControlExtension::SetUserInput(bool value) {
    FGCExtension[1] = static_cast<uint8_t>(value ? FGCExtension[1] | 0x02 : FGCExtension[1] & ~0x02);
}

void TGIFGraphicControlExtension::SetDisposal(TDisposalMethod method) {
    FGCExtension[1] = static_cast<uint8_t>((FGCExtension[1] & ~0x1C) | ((method * 4) & 0x1C));
}

void TGIFGraphicControlExtension::SaveToStream(TStream& stream) {
    TGIFExtension::SaveToStream(stream);
    stream.WriteBuffer(FGCExtension.data(), 6);
}

void TGIFGraphicControlExtension::LoadFromStream(TStream& stream) {
    TGIFExtension::LoadFromStream(stream);
    // The block size is honoured: a block longer than the four fields is
    // skipped, and sub-blocks up to the terminator are passed over, so the
    // blocks after it are read where they begin.
    std::array<uint8_t, 5> fields{};
    const int size = ReadSizedBlock(stream, fields, 4);
    FGCExtension = {4, fields[1], fields[2], fields[3], fields[4], 0};
    std::vector<uint8_t> rest;
    if (size >= 0) ReadSubBlockRun(stream, rest);
    if (rest.empty()) {
        // Cut short: keep what arrived, but a transparency flag whose index
        // may never have come does not make the frame transparent.
        FGCExtension[1] &= static_cast<uint8_t>(~0x01);
        Warning(gsWarning, _sOutOfData);
        return;
    }
    if (codec::SubBlockReader(rest).Skip() == codec::SubBlockEnd::Cut) RaiseGIFError(_sOutOfData);
}

// ---------------------------------------------------------------------------
// Plain text and comment

const TGIFExtensionClassInfo TGIFTextExtension::Class{"TGIFTextExtension", &Create<TGIFTextExtension>, &SameClass};

int TGIFTextExtension::GetBounds(int index) const {
    if (index < 1 || index > 4) return 0;
    return FPlainTextExtension[static_cast<size_t>(2 * index - 1)] | FPlainTextExtension[static_cast<size_t>(2 * index)] << 8;
}

void TGIFTextExtension::SetBounds(int index, int value) {
    if (index < 1 || index > 4) return;
    FPlainTextExtension[static_cast<size_t>(2 * index - 1)] = static_cast<uint8_t>(value);
    FPlainTextExtension[static_cast<size_t>(2 * index)] = static_cast<uint8_t>(value >> 8);
}

int TGIFTextExtension::GetCharWidthHeight(int index) const {
    return index == 1 || index == 2 ? FPlainTextExtension[static_cast<size_t>(8 + index)] : 0;
}

void TGIFTextExtension::SetCharWidthHeight(int index, int value) {
    if (index == 1 || index == 2) FPlainTextExtension[static_cast<size_t>(8 + index)] = static_cast<uint8_t>(value);
}

int TGIFTextExtension::GetColorIndex(int index) const {
    return index == 1 || index == 2 ? FPlainTextExtension[static_cast<size_t>(10 + index)] : 0;
}

void TGIFTextExtension::SetColorIndex(int index, int value) {
    if (index == 1 || index == 2) FPlainTextExtension[static_cast<size_t>(10 + index)] = static_cast<uint8_t>(value);
}

TColor TGIFTextExtension::GetForegroundColor() const { return GetActiveColorMap().GetColor(GetColorIndex(1)); }
TColor TGIFTextExtension::GetBackgroundColor() const { return GetActiveColorMap().GetColor(GetColorIndex(2)); }
void TGIFTextExtension::SetForegroundColor(TColor color) { SetColorIndex(1, GetActiveColorMap().AddUnique(color)); }
void TGIFTextExtension::SetBackgroundColor(TColor color) { SetColorIndex(2, GetActiveColorMap().AddUnique(color)); }

void TGIFTextExtension::SaveToStream(TStream& stream) {
    TGIFExtension::SaveToStream(stream);
    stream.WriteBuffer(FPlainTextExtension.data(), 13);
    WriteTextAsSubBlocks(stream, FText);
}

void TGIFTextExtension::LoadFromStream(TStream& stream) {
    TGIFExtension::LoadFromStream(stream);
    std::array<uint8_t, 13> fields{};
    if (ReadSizedBlock(stream, fields, 12) < 0) RaiseGIFError(_sOutOfData);
    fields[0] = 12;
    FPlainTextExtension = fields;
    ReadSubBlocksAsText(stream, FText);
}

const TGIFExtensionClassInfo TGIFCommentExtension::Class{"TGIFCommentExtension", &Create<TGIFCommentExtension>,
                                                         &SameClass};

void TGIFCommentExtension::SaveToStream(TStream& stream) {
    TGIFExtension::SaveToStream(stream);
    WriteTextAsSubBlocks(stream, FComment);
}

void TGIFCommentExtension::LoadFromStream(TStream& stream) {
    TGIFExtension::LoadFromStream(stream);
    ReadSubBlocksAsText(stream, FComment);
}

// ---------------------------------------------------------------------------
// Application extensions

namespace {

const TGIFExtensionClassInfo* FindApplicationSubExtension(const TGIFExtensionClassInfo* self, TStream& stream) {
    const int64_t position = stream.GetPosition();
    // Asked on the base class, a block that is cut short or longer than an
    // identifier goes to the reader that keeps unknown data (which reports a
    // short stream); asked again on a subclass, the subclass stays.
    const bool base = self == &TGIFApplicationExtension::Class;
    const TGIFExtensionClassInfo* unreadable = base ? &TGIFUnknownAppExtension::Class : self;
    uint8_t size = 0;
    if (stream.Read(&size, 1) != 1) return unreadable;
    uint8_t bytes[11];
    if (size == 10) {
        if (stream.Read(bytes, 10) == 10) return &TGIFUnknownAppExtension::Class;
        stream.SetPosition(position);
        return unreadable;
    }
    if (size == 11) {
        if (stream.Read(bytes, 11) != 11) {
            stream.SetPosition(position);
            return unreadable;
        }
        TGIFApplicationRec ident;
        std::memcpy(&ident, bytes, 11);
        const TGIFAppExtensionClass found = FindAppExtensionClass(ident);
        return found != nullptr ? found : &TGIFUnknownAppExtension::Class;
    }
    stream.SetPosition(position);
    return size > 11 ? unreadable : self;
}

}  // namespace

// The base class has no data reader of its own; what reaches it (a block size
// below 10) is read by the unknown-data reader, which rejects that size.
const TGIFExtensionClassInfo TGIFApplicationExtension::Class{"TGIFApplicationExtension",
                                                             &Create<TGIFUnknownAppExtension>, &FindApplicationSubExtension};

void TGIFApplicationExtension::RegisterExtension(const TGIFApplicationRec& ident, TGIFAppExtensionClass extensionClass) {
    std::lock_guard<std::mutex> lock(registryLock);
    AppExtensionList().push_back({extensionClass, ident});
}

std::string TGIFApplicationExtension::GetIdentifier() const { return std::string(FIdent.Identifier.data(), 8); }

void TGIFApplicationExtension::SetIdentifier(const std::string& text) {
    for (size_t i = 0; i < 8; ++i) FIdent.Identifier[i] = i < text.size() ? text[i] : ' ';
}

std::string TGIFApplicationExtension::GetAuthentication() const { return std::string(FIdent.Authentication.data(), 3); }

void TGIFApplicationExtension::SetAuthentication(const std::string& text) {
    for (size_t i = 0; i < 3; ++i) FIdent.Authentication[i] = i < text.size() ? text[i] : ' ';
}

void TGIFApplicationExtension::SaveData(TStream&) { throw rtl::EAbstractError(); }
void TGIFApplicationExtension::LoadData(TStream&) { throw rtl::EAbstractError(); }

void TGIFApplicationExtension::SaveToStream(TStream& stream) {
    TGIFExtension::SaveToStream(stream);
    // The block goes out as it came in: a block of 10 bytes has no third
    // authentication byte, one longer than 11 keeps its further bytes.  A
    // block cut to 11 bytes could name a registered extension and reload as
    // something else.
    WriteByteToStream(stream, FBlockSize);
    stream.WriteBuffer(&FIdent, std::min<int64_t>(FBlockSize, 11));
    stream.WriteBuffer(FBlockRest.data(), static_cast<int64_t>(FBlockRest.size()));
    SaveData(stream);
}

void TGIFApplicationExtension::LoadFromStream(TStream& stream) {
    TGIFExtension::LoadFromStream(stream);
    uint8_t size = 0;
    ReadExact(stream, &size, 1);
    if (size < 10) RaiseGIFError(_sBadBlockSize);
    std::vector<uint8_t> block(size);
    ReadExact(stream, block.data(), size);
    FIdent = TGIFApplicationRec{};
    std::memcpy(&FIdent, block.data(), std::min<size_t>(size, 11));
    FBlockSize = size;
    FBlockRest.assign(block.begin() + std::min<ptrdiff_t>(size, 11), block.end());
    LoadData(stream);
}

void TGIFBlock::SaveToStream(TStream& stream) const {
    WriteByteToStream(stream, static_cast<uint8_t>(FData.size()));
    stream.WriteBuffer(FData.data(), static_cast<int64_t>(FData.size()));
}

void TGIFBlock::LoadFromStream(TStream& stream) { ReadExact(stream, FData.data(), static_cast<int64_t>(FData.size())); }

const TGIFExtensionClassInfo TGIFUnknownAppExtension::Class{"TGIFUnknownAppExtension", &Create<TGIFUnknownAppExtension>,
                                                            &FindApplicationSubExtension};

void TGIFUnknownAppExtension::SaveData(TStream& stream) {
    std::vector<std::span<const uint8_t>> pieces;
    for (const auto& block : FBlocks) pieces.emplace_back(block->GetData());
    WriteSubBlocks(stream, pieces);
}

void TGIFUnknownAppExtension::LoadData(TStream& stream) {
    FBlocks.clear();
    ReadSubBlocks(stream, [&](std::span<const uint8_t> data) {
        auto block = std::make_unique<TGIFBlock>(static_cast<int>(data.size()));
        std::copy(data.begin(), data.end(), block->GetData().begin());
        FBlocks.push_back(std::move(block));
    });
}

const TGIFExtensionClassInfo TGIFAppExtNSLoop::Class{"TGIFAppExtNSLoop", &Create<TGIFAppExtNSLoop>,
                                                     &FindApplicationSubExtension};

TGIFAppExtNSLoop::TGIFAppExtNSLoop() { FIdent = MakeIdent("NETSCAPE2.0"); }

void TGIFAppExtNSLoop::SaveData(TStream& stream) {
    const uint8_t loop[3] = {1, static_cast<uint8_t>(FLoops), static_cast<uint8_t>(FLoops >> 8)};
    const uint8_t buffer[5] = {2, static_cast<uint8_t>(FBufferSize), static_cast<uint8_t>(FBufferSize >> 8),
                               static_cast<uint8_t>(FBufferSize >> 16), static_cast<uint8_t>(FBufferSize >> 24)};
    WriteSubBlocks(stream, {loop, FBufferSize != 0 ? std::span<const uint8_t>(buffer) : std::span<const uint8_t>()});
}

void TGIFAppExtNSLoop::LoadData(TStream& stream) {
    // Each sub-block starts with its identifier; the end of the stream reads
    // as the terminator.
    ReadSubBlocks(stream, [&](std::span<const uint8_t> block) {
        const int id = block[0];
        const std::span<const uint8_t> fields = block.subspan(1);
        if ((id & 7) == 1) {
            if (fields.size() < 2) RaiseGIFError(_sInvalidData);
            FLoops = static_cast<uint16_t>(fields[0] | fields[1] << 8);
        } else if ((id & 7) == 2) {
            if (fields.size() < 4) RaiseGIFError(_sInvalidData);
            FBufferSize = static_cast<uint32_t>(fields[0] | fields[1] << 8 | fields[2] << 16) |
                          static_cast<uint32_t>(fields[3]) << 24;
        }
    });
}

// ---------------------------------------------------------------------------

void TGIFExtensionList::LoadFromStream(TStream& stream, TObject*) {
    uint8_t b = 0;
    if (stream.Read(&b, 1) != 1) return;
    while (b != 0x2C && b != 0x3B) {
        if (b != 0x21) {
            Warning(gsWarning, _sBadExtensionLabel);
            break;
        }
        const TGIFExtensionClass extensionClass = TGIFExtension::FindExtension(stream);
        if (extensionClass == nullptr || extensionClass->Create == nullptr) RaiseGIFError(_sUnknownExtension);
        stream.Seek(-1, rtl::soCurrent);
        // Adopted before it loads, so that its warnings reach the picture.
        TGIFExtension& extension = Adopt(extensionClass->Create());
        try {
            extension.LoadFromStream(stream);
        } catch (...) {
            Delete(IndexOf(&extension));
            throw;
        }
        if (stream.Read(&b, 1) != 1) return;
    }
    stream.Seek(-1, rtl::soCurrent);
}

}  // namespace gif

