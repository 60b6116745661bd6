#include "vcl/Jpeg.h"

#include <QPainter>
#include <QRect>

#include <csetjmp>
#include <cstdio>
#include <string>

// jpeglib.h needs FILE and size_t declared before it.
#include <jerror.h>
#include <jpeglib.h>

namespace vcl {

namespace {

// libjpeg reports through this manager: an error, and also a warning (which
// means the data is damaged), jump back to the step that called libjpeg with
// the text kept; nothing is written to stderr and the process never exits.
struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
    auto* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}

void EmitMessage(j_common_ptr cinfo, int level) {
    if (level < 0) ErrorExit(cinfo);
}

void OutputMessage(j_common_ptr) {}

// The source: the stream read in pieces of kSourceBufferSize bytes, each
// piece also kept as the picture's data.
struct StreamSource {
    jpeg_source_mgr pub;
    std::istream* stream;
    std::vector<uint8_t>* data;
    bool anyRead;
    JOCTET buffer[TJPEGImage::kSourceBufferSize];
};

void InitSource(j_decompress_ptr) {}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<StreamSource*>(cinfo->src);
    std::streamsize got = -1;
    try {
        source->stream->read(reinterpret_cast<char*>(source->buffer),
                             static_cast<std::streamsize>(sizeof source->buffer));
        if (!source->stream->bad()) got = source->stream->gcount();
        if (got > 0) source->data->insert(source->data->end(), source->buffer, source->buffer + got);
    } catch (...) {
        got = -1;  // no exception may cross libjpeg's frames
    }
    if (got < 0) ERREXIT(cinfo, JERR_FILE_READ);
    // A stream that ends before the end-of-image marker is refused rather
    // than shown padded with grey.
    if (got == 0) ERREXIT(cinfo, source->anyRead ? JERR_INPUT_EOF : JERR_INPUT_EMPTY);
    source->anyRead = true;
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = static_cast<size_t>(got);
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    jpeg_source_mgr* source = cinfo->src;
    auto left = static_cast<size_t>(count);
    while (left > source->bytes_in_buffer) {
        left -= source->bytes_in_buffer;
        FillInputBuffer(cinfo);  // fills or leaves through the error manager
    }
    source->next_input_byte += left;
    source->bytes_in_buffer -= left;
}

void TermSource(j_decompress_ptr) {}

// One decode.  Each step below that calls libjpeg returns false when libjpeg
// reported an error (the text in error.message); they hold no object with a
// destructor, so the jump back skips nothing.
struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorManager error;
    StreamSource source;
};

bool Create(Decoder& d) {
    d.cinfo.err = jpeg_std_error(&d.error.pub);
    d.error.pub.error_exit = ErrorExit;
    d.error.pub.emit_message = EmitMessage;
    d.error.pub.output_message = OutputMessage;
    if (setjmp(d.error.jump)) return false;
    jpeg_create_decompress(&d.cinfo);
    d.source.pub.init_source = InitSource;
    d.source.pub.fill_input_buffer = FillInputBuffer;
    d.source.pub.skip_input_data = SkipInputData;
    d.source.pub.resync_to_restart = jpeg_resync_to_restart;
    d.source.pub.term_source = TermSource;
    d.source.pub.next_input_byte = nullptr;
    d.source.pub.bytes_in_buffer = 0;
    d.cinfo.src = &d.source.pub;
    return true;
}

bool Start(Decoder& d) {
    if (setjmp(d.error.jump)) return false;
    jpeg_read_header(&d.cinfo, TRUE);
    d.cinfo.out_color_space = JCS_RGB;  // grey pictures too; CMYK is refused
    jpeg_start_decompress(&d.cinfo);
    return true;
}

bool ReadScanlines(Decoder& d, QImage& image) {
    if (setjmp(d.error.jump)) return false;
    while (d.cinfo.output_scanline < d.cinfo.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(d.cinfo.output_scanline));
        jpeg_read_scanlines(&d.cinfo, &row, 1);
    }
    return true;
}

bool Finish(Decoder& d) {
    if (setjmp(d.error.jump)) return false;
    jpeg_finish_decompress(&d.cinfo);
    return true;
}

[[noreturn]] void Refuse(const std::string& cause) {
    throw EJPEG("The JPEG picture cannot be decoded: " + cause);
}

}  // namespace

void TJPEGImage::Draw(QPainter& canvas, const QRect& rect) const {
    if (!image_.isNull()) canvas.drawImage(rect, image_);
}

void TJPEGImage::LoadFromStream(std::istream& stream) {
    auto decoder = std::make_unique<Decoder>();
    Decoder& d = *decoder;
    std::vector<uint8_t> data;
    d.source.stream = &stream;
    d.source.data = &data;
    d.source.anyRead = false;

    if (!Create(d)) Refuse(d.error.message);
    QImage image;
    bool ok = Start(d);
    if (ok) {
        if (d.cinfo.output_components != 3) {
            jpeg_destroy_decompress(&d.cinfo);
            Refuse("unexpected colour components");
        }
        image = QImage(static_cast<int>(d.cinfo.output_width), static_cast<int>(d.cinfo.output_height),
                       QImage::Format_RGB888);
        if (image.isNull()) {
            jpeg_destroy_decompress(&d.cinfo);
            Refuse("the picture (" + std::to_string(d.cinfo.output_width) + " by " +
                   std::to_string(d.cinfo.output_height) + " pixels) does not fit in memory");
        }
        ok = ReadScanlines(d, image) && Finish(d);
    }
    // Bytes read past the end-of-image marker are not part of the picture.
    const size_t unread = d.cinfo.src != nullptr ? d.cinfo.src->bytes_in_buffer : 0;
    jpeg_destroy_decompress(&d.cinfo);
    if (!ok) Refuse(d.error.message);
    data.resize(data.size() - std::min(unread, data.size()));

    image_ = std::move(image);
    data_ = std::move(data);
    Changed();
}

void TJPEGImage::SaveToStream(std::ostream& stream) const {
    stream.write(reinterpret_cast<const char*>(data_.data()), static_cast<std::streamsize>(data_.size()));
}

}  // namespace vcl
