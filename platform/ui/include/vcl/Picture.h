// The picture framework as the class library has it: a graphic base class,
// a picture that holds one graphic, and the picture registry that maps file
// extensions and clipboard formats to graphic classes.
//
// A graphic class makes itself known with TPicture::RegisterFileFormat (and,
// when it has a clipboard form, TPicture::RegisterClipboardFormat) and goes
// again with TPicture::UnregisterGraphicClass.  The registry starts with the
// JPEG class under "jpg" and "jpeg".
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "rtl/Classes.h"

class QLabel;
class QPainter;
class QRect;

namespace vcl {

// A picture that cannot be read, or a picture file of no registered kind.
class EInvalidGraphic : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TGraphic;

// A class reference: one per graphic class, compared by address.
struct TGraphicClassInfo {
    std::string ClassName;
    std::function<std::unique_ptr<TGraphic>()> Create;
};
using TGraphicClass = const TGraphicClassInfo*;

// The class reference of T (T has a default constructor and kClassName).
template <class T>
TGraphicClass ClassOf() {
    static const TGraphicClassInfo info{T::kClassName, [] { return std::unique_ptr<TGraphic>(new T()); }};
    return &info;
}

// A graphic can be assigned to a bitmap of the graphics stand-in
// (vcl/Bitmap.h): the bitmap becomes a 24-bit picture of the graphic's size
// with the graphic drawn on white; any other destination raises the
// framework's "Cannot assign" error.
class TGraphic : public rtl::TPersistent {
public:
    TGraphic() = default;
    TGraphic(const TGraphic&) = delete;
    TGraphic& operator=(const TGraphic&) = delete;

    virtual TGraphicClass ClassType() const = 0;
    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    // Paints the picture stretched over rect.
    virtual void Draw(QPainter& canvas, const QRect& rect) const = 0;
    // Reads the picture from the stream's current position; on failure the
    // graphic keeps what it held and the error is raised.
    virtual void LoadFromStream(std::istream& stream) = 0;
    virtual void SaveToStream(std::ostream& stream) const = 0;
    // A file path, or a resource path ":/...".  EInvalidGraphic when the file
    // cannot be opened or written.
    virtual void LoadFromFile(const std::string& path);
    virtual void SaveToFile(const std::string& path) const;

    // Called after the picture changed.
    std::function<void(TGraphic&)> OnChange;
    std::string ClassName() const override { return ClassType()->ClassName; }

protected:
    void Changed();
    void AssignTo(rtl::TPersistent* dest) const override;
};

struct TFileFormat {
    std::string Extension;  // lower case, without the dot
    std::string Description;
    TGraphicClass GraphicClass = nullptr;
};

class TPicture : public rtl::TPersistent {
public:
    TPicture() = default;
    ~TPicture() override;
    TPicture(const TPicture&) = delete;
    TPicture& operator=(const TPicture&) = delete;

    // nullptr while the picture is empty.
    TGraphic* Graphic() const { return graphic_.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic);
    int Width() const;
    int Height() const;

    // A graphic of the class registered for the file's extension, loaded
    // from the file.  EInvalidGraphic for an extension nobody registered; the
    // graphic's own error when the file cannot be read.  On failure the
    // picture keeps what it held.
    void LoadFromFile(const std::string& path);
    // The graphic's own stream form; EInvalidGraphic when the picture is empty.
    void SaveToFile(const std::string& path) const;

    // ---- the registry (any thread) ---------------------------------------
    // The extension in any case, with or without its dot.  The latest
    // registration of an extension or a clipboard format wins; unregistering
    // a class brings back what it covered.
    static void RegisterFileFormat(const std::string& extension, const std::string& description,
                                   TGraphicClass graphicClass);
    static void RegisterClipboardFormat(uint16_t format, TGraphicClass graphicClass);
    // Removes every file format and clipboard format of the class.
    static void UnregisterGraphicClass(TGraphicClass graphicClass);
    // nullptr when nothing is registered for it.
    static TGraphicClass FileFormat(const std::string& extension);
    static TGraphicClass ClipboardFormat(uint16_t format);
    // The extension a class was last registered for ("" when none).
    static std::string GraphicExtension(TGraphicClass graphicClass);
    static bool SupportsClipboardFormat(uint16_t format) { return ClipboardFormat(format) != nullptr; }
    // Every registered file format, the one that wins first.
    static std::vector<TFileFormat> FileFormats();

    std::string ClassName() const override { return "TPicture"; }

private:
    std::unique_ptr<TGraphic> graphic_;
};

// The identifier of a clipboard format name: the same name always gives the
// same identifier (from 0xC000 on, as the window system numbers them); the
// name stays known for the life of the process.  0 for an empty name.
uint16_t RegisterClipboardFormat(const std::string& name);

// Shows the picture on an image component at its own size from the top left
// corner, as an image that neither stretches nor centres does; an empty
// picture clears it.
void ShowPicture(QLabel* image, const TPicture& picture);

}  // namespace vcl
