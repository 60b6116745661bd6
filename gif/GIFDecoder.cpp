// Decoding of a frame's table-based image data into its pixel store: the
// codec core decodes, the frame reports.
#include <algorithm>
#include <cstring>
#include <memory>

#include "gif/GIFImage.h"
#include "gif/GIFImpl.h"
#include "gif/codec/Decoder.h"

namespace gif {

void TGIFSubImage::Decompress(TStream& stream) {
    NewImage();
    const auto fill = static_cast<uint8_t>(std::max(GetTransparentIndex(), 0));
    // The new store is all zeros already.
    if (FData && fill != 0) std::memset(FData.get(), fill, FDataSize);
    // The code size byte and the sub-blocks up to the terminator; the stream
    // is left after them whatever the decoder makes of them.  Without a code
    // size byte there is nothing to decode: the pixels keep the fill, and
    // that is not reported.  A memory stream's bytes are decoded where they
    // stand, any other stream's are read in first.
    auto* memory = dynamic_cast<rtl::TMemoryStream*>(&stream);
    const int64_t position = stream.GetPosition();
    std::vector<uint8_t> read;
    std::span<const uint8_t> data;
    if (memory != nullptr) {
        if (position < memory->GetSize())
            data = std::span(memory->Memory() + position, static_cast<size_t>(memory->GetSize() - position));
    } else {
        read.resize(1);
        if (stream.Read(read.data(), 1) == 1)
            ReadSubBlockRun(stream, read);
        else
            read.clear();
        data = read;
    }
    auto decoder = std::make_unique<codec::ImageDataDecoder>();
    const codec::PixelTarget target{std::span(FData.get(), FData ? FDataSize : 0), GetWidth(), GetHeight(),
                                    GetInterlaced(), fill};
    const codec::DecodeResult result = decoder->Decode(data, target);
    if (memory != nullptr) stream.SetPosition(position + static_cast<int64_t>(result.Consumed));
    switch (result.Status) {
    case codec::DecodeStatus::OutOfData:
        // The file ends inside the data: the frame's remaining pixels are
        // missing, which the caller must hear.
        Warning(gsWarning, _sOutOfData);
        break;
    case codec::DecodeStatus::UnderRun: Warning(gsWarning, _sDecodeTooFewBits); break;
    case codec::DecodeStatus::Circular: RaiseGIFError(_sDecodeCircular);
    case codec::DecodeStatus::Done:
    case codec::DecodeStatus::NoCodeSize:
    case codec::DecodeStatus::DataEnded: break;
    }
}

}  // namespace gif
