#include "vcl/Picture.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QRect>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

#include "vcl/Bitmap.h"
#include "vcl/Jpeg.h"

namespace vcl {

namespace {

std::string LowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string NormalExtension(const std::string& extension) {
    return LowerCase(!extension.empty() && extension.front() == '.' ? extension.substr(1) : extension);
}

// The extension of the last path component, without its dot ("" for none).
std::string ExtensionOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return path.substr(dot + 1);
}

struct ClipboardEntry {
    uint16_t Format;
    TGraphicClass GraphicClass;
};

class Registry {
public:
    Registry() {
        files_.push_back({"jpg", "JPEG picture", ClassOf<TJPEGImage>()});
        files_.push_back({"jpeg", "JPEG picture", ClassOf<TJPEGImage>()});
    }

    std::mutex mutex;
    // Latest registration first: lookups take the first match.
    std::vector<TFileFormat> files_;
    std::vector<ClipboardEntry> clipboard_;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

}  // namespace

// ---------------------------------------------------------------------------
// TGraphic

void TGraphic::LoadFromFile(const std::string& path) {
    if (path.rfind(":/", 0) == 0) {
        QFile file(QString::fromStdString(path));
        if (!file.open(QIODevice::ReadOnly)) throw EInvalidGraphic("Cannot open the picture \"" + path + "\".");
        const QByteArray bytes = file.readAll();
        std::istringstream stream(std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
        LoadFromStream(stream);
        return;
    }
    std::ifstream stream(path, std::ios::binary);
    if (!stream) throw EInvalidGraphic("Cannot open the picture \"" + path + "\".");
    LoadFromStream(stream);
}

void TGraphic::SaveToFile(const std::string& path) const {
    std::ofstream stream(path, std::ios::binary | std::ios::trunc);
    if (stream) SaveToStream(stream);
    if (!stream || !stream.flush()) throw EInvalidGraphic("Cannot write the picture \"" + path + "\".");
}

void TGraphic::Changed() {
    if (OnChange) OnChange(*this);
}

void TGraphic::AssignTo(rtl::TPersistent* dest) const {
    auto* bitmap = dynamic_cast<TBitmap*>(dest);
    if (bitmap == nullptr) {
        rtl::TPersistent::AssignTo(dest);
        return;
    }
    if (Empty()) {
        bitmap->Assign(nullptr);
        return;
    }
    QImage image(Width(), Height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter canvas(&image);
        Draw(canvas, QRect(0, 0, Width(), Height()));
    }
    TBitmap drawn;
    drawn.SetPixelFormat(pf24bit);
    drawn.SetSize(image.width(), image.height());
    for (int y = 0; y < image.height(); ++y) {
        const auto* from = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uint8_t* to = drawn.GetScanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            to[3 * x] = static_cast<uint8_t>(qBlue(from[x]));
            to[3 * x + 1] = static_cast<uint8_t>(qGreen(from[x]));
            to[3 * x + 2] = static_cast<uint8_t>(qRed(from[x]));
        }
    }
    bitmap->Assign(&drawn);
}

// ---------------------------------------------------------------------------
// TPicture

TPicture::~TPicture() = default;

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic) { graphic_ = std::move(graphic); }

int TPicture::Width() const { return graphic_ ? graphic_->Width() : 0; }

int TPicture::Height() const { return graphic_ ? graphic_->Height() : 0; }

void TPicture::LoadFromFile(const std::string& path) {
    const std::string extension = ExtensionOf(path);
    const TGraphicClass graphicClass = FileFormat(extension);
    if (graphicClass == nullptr)
        throw EInvalidGraphic("Unknown picture file extension (." + extension + ") of \"" + path + "\".");
    std::unique_ptr<TGraphic> graphic = graphicClass->Create();
    graphic->LoadFromFile(path);
    graphic_ = std::move(graphic);
}

void TPicture::SaveToFile(const std::string& path) const {
    if (!graphic_) throw EInvalidGraphic("The picture is empty; nothing to write to \"" + path + "\".");
    graphic_->SaveToFile(path);
}

void TPicture::RegisterFileFormat(const std::string& extension, const std::string& description,
                                  TGraphicClass graphicClass) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.files_.insert(registry.files_.begin(), {NormalExtension(extension), description, graphicClass});
}

void TPicture::RegisterClipboardFormat(uint16_t format, TGraphicClass graphicClass) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.clipboard_.insert(registry.clipboard_.begin(), {format, graphicClass});
}

void TPicture::UnregisterGraphicClass(TGraphicClass graphicClass) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    std::erase_if(registry.files_, [&](const TFileFormat& f) { return f.GraphicClass == graphicClass; });
    std::erase_if(registry.clipboard_, [&](const ClipboardEntry& c) { return c.GraphicClass == graphicClass; });
}

TGraphicClass TPicture::FileFormat(const std::string& extension) {
    const std::string wanted = NormalExtension(extension);
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (const TFileFormat& format : registry.files_)
        if (format.Extension == wanted) return format.GraphicClass;
    return nullptr;
}

TGraphicClass TPicture::ClipboardFormat(uint16_t format) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (const ClipboardEntry& entry : registry.clipboard_)
        if (entry.Format == format) return entry.GraphicClass;
    return nullptr;
}

std::string TPicture::GraphicExtension(TGraphicClass graphicClass) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    for (const TFileFormat& format : registry.files_)
        if (format.GraphicClass == graphicClass) return format.Extension;
    return "";
}

std::vector<TFileFormat> TPicture::FileFormats() {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    return registry.files_;
}

// ---------------------------------------------------------------------------

uint16_t RegisterClipboardFormat(const std::string& name) {
    static std::mutex mutex;
    static std::map<std::string, uint16_t> formats;
    if (name.empty()) return 0;
    std::lock_guard lock(mutex);
    // Window systems compare clipboard format names without regard to case.
    const auto [it, added] = formats.try_emplace(LowerCase(name), 0);
    if (added) {
        if (formats.size() > 0x4000) {  // the identifiers run out at 0xFFFF
            formats.erase(it);
            return 0;
        }
        it->second = static_cast<uint16_t>(0xC000 + formats.size() - 1);
    }
    return it->second;
}

void ShowPicture(QLabel* image, const TPicture& picture) {
    const TGraphic* graphic = picture.Graphic();
    if (graphic == nullptr || graphic->Empty()) {
        image->clear();
        return;
    }
    QPixmap pixmap(graphic->Width(), graphic->Height());
    pixmap.fill(Qt::transparent);
    {
        QPainter canvas(&pixmap);
        graphic->Draw(canvas, QRect(0, 0, graphic->Width(), graphic->Height()));
    }
    image->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    image->setPixmap(pixmap);
}

}  // namespace vcl
