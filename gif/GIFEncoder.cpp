// Encoding of a frame's pixels as table-based image data: the codec core
// codes, the frame writes and reports.
#include "gif/GIFImage.h"
#include "gif/codec/Encoder.h"

namespace gif {

void TGIFSubImage::Compress(TStream& stream) {
    int bitsPerPixel;
    int colorCount;
    if (FColorMap->GetCount() > 0) {
        colorCount = FColorMap->GetCount();
        bitsPerPixel = FColorMap->GetBitsPerPixel();
    } else {
        // A frame on its own has no table to size its codes by: 8 bits hold
        // any index.
        bitsPerPixel = FImage != nullptr ? FImage->GetBitsPerPixel() : 8;
        colorCount = 1 << bitsPerPixel;
    }
    const codec::EncodeSource source{std::span<const uint8_t>(FData.get(), FData ? FDataSize : 0),
                                     GetWidth(),
                                     GetHeight(),
                                     GetInterlaced(),
                                     bitsPerPixel,
                                     colorCount};
    const TGIFCompression compression = FImage != nullptr ? FImage->GetCompression() : GIFImageDefaultCompression;
    std::vector<uint8_t> data;
    const codec::EncodeResult result = codec::EncodeImageData(
        source, compression == gcRLE ? codec::Compression::Rle : codec::Compression::Lzw, data);
    // Before a refused pixel, the codes sent so far still go out.
    stream.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    if (result.Status == codec::EncodeStatus::BadColor) RaiseGIFError(_sInvalidColor);
}

}  // namespace gif
