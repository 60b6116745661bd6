// The JPEG picture class: decodes with libjpeg's decompression interface
// through a source that reads the bytes in pieces of 4096.
#pragma once

#include <QImage>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "vcl/Picture.h"

namespace vcl {

// A JPEG stream libjpeg refuses: its error text, never its default exit.
class EJPEG : public EInvalidGraphic {
public:
    using EInvalidGraphic::EInvalidGraphic;
};

class TJPEGImage : public TGraphic {
public:
    static constexpr const char* kClassName = "TJPEGImage";
    // The source reads the stream in pieces of at most this many bytes.
    static constexpr size_t kSourceBufferSize = 4096;

    TGraphicClass ClassType() const override { return ClassOf<TJPEGImage>(); }
    bool Empty() const override { return image_.isNull(); }
    int Width() const override { return image_.width(); }
    int Height() const override { return image_.height(); }
    void Draw(QPainter& canvas, const QRect& rect) const override;
    // Decodes one JPEG stream (to its end-of-image marker).  A damaged or
    // truncated stream, and one libjpeg only warns about, raise EJPEG with
    // libjpeg's text; the picture then keeps what it held.
    void LoadFromStream(std::istream& stream) override;
    // The JPEG bytes as they were read.
    void SaveToStream(std::ostream& stream) const override;

    // The decoded picture (RGB), null while empty.
    const QImage& Bitmap() const { return image_; }

private:
    QImage image_;
    std::vector<uint8_t> data_;
};

}  // namespace vcl
