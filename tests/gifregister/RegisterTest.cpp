// The GIF unit's start-up and exit with the picture registry.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include <cstdio>
#include <sstream>

#include "gif/GIFGraphic.h"
#include "../gif/GifTestSupport.h"

using namespace giftest;

TEST(GifRegister, StartUpRegistersAndExitRemoves) {
    gif::GIFUnitInitialize();
    const vcl::TGraphicClass registered = vcl::TPicture::FileFormat("gif");
    ASSERT_NE(registered, nullptr);
    EXPECT_EQ(registered->ClassName, "TGIFImage");
    EXPECT_EQ(vcl::TPicture::FileFormat(".GIF"), registered);
    EXPECT_EQ(gif::CF_GIF, vcl::RegisterClipboardFormat("GIF Image"));
    EXPECT_GE(gif::CF_GIF, 0xC000);
    EXPECT_EQ(vcl::TPicture::ClipboardFormat(gif::CF_GIF), registered);
    bool described = false;
    for (const vcl::TFileFormat& format : vcl::TPicture::FileFormats())
        if (format.GraphicClass == registered) described = format.Description == "GIF Image";
    EXPECT_TRUE(described);
    // A true-colour screen: no palette device, so no automatic dithering.
    EXPECT_FALSE(gif::PaletteDevice);
    EXPECT_FALSE(gif::DoAutoDither);

    gif::GIFUnitFinalize();
    EXPECT_EQ(vcl::TPicture::FileFormat("gif"), nullptr);
    EXPECT_FALSE(vcl::TPicture::SupportsClipboardFormat(gif::CF_GIF));
    // The JPEG class is still there.
    EXPECT_NE(vcl::TPicture::FileFormat("jpg"), nullptr);
}

TEST(GifRegister, PictureLoadsAGifFileThroughTheRegistry) {
    gif::GIFUnitInitialize();
    // Two colours: index 0 black, 1 white; the right half is white.
    Bytes pixels(8 * 4, 0);
    for (int y = 0; y < 4; ++y)
        for (int x = 4; x < 8; ++x) pixels[static_cast<size_t>(y * 8 + x)] = 1;
    Bytes gifBytes = SimpleGif(8, 4, pixels, 2);
    gifBytes[13 + 3] = gifBytes[13 + 4] = gifBytes[13 + 5] = 0xFF;  // colour 1 white
    const std::string path = ::testing::TempDir() + "register_test.gif";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fwrite(gifBytes.data(), 1, gifBytes.size(), file);
    std::fclose(file);

    vcl::TPicture picture;
    picture.LoadFromFile(path);
    ASSERT_NE(picture.Graphic(), nullptr);
    EXPECT_EQ(picture.Width(), 8);
    EXPECT_EQ(picture.Height(), 4);
    QImage canvas(8, 4, QImage::Format_RGB32);
    canvas.fill(Qt::red);
    {
        QPainter painter(&canvas);
        picture.Graphic()->Draw(painter, QRect(0, 0, 8, 4));
    }
    EXPECT_EQ(canvas.pixel(1, 1), qRgb(0, 0, 0));
    EXPECT_EQ(canvas.pixel(6, 2), qRgb(255, 255, 255));

    // A damaged file is the framework's error with the unit's text.
    std::ostringstream saved;
    picture.Graphic()->SaveToStream(saved);
    std::istringstream broken(saved.str().substr(0, 20));
    gif::TGIFGraphic graphic;
    try {
        graphic.LoadFromStream(broken);
        ADD_FAILURE() << "loaded";
    } catch (const vcl::EInvalidGraphic& e) {
        EXPECT_STREQ(e.what(), "Premature end of data");
    }
    gif::GIFUnitFinalize();
    std::remove(path.c_str());
}

TEST(GifRegister, APictureHoldingAGifGivesBitmapsAndFramesThePictureItself) {
    // Index 0 red, 1 green; the left column red, the rest green.
    Bytes pixels(4 * 2, 1);
    pixels[0] = pixels[4] = 0;
    Bytes gifBytes = SimpleGif(4, 2, pixels, 2);
    gifBytes[13] = 0xFF, gifBytes[14] = gifBytes[15] = 0;
    gifBytes[16] = 0, gifBytes[17] = 0xFF, gifBytes[18] = 0;
    std::istringstream stream(std::string(gifBytes.begin(), gifBytes.end()));
    vcl::TPicture picture;
    auto graphic = std::make_unique<gif::TGIFGraphic>();
    graphic->LoadFromStream(stream);
    gif::TGIFGraphic* held = graphic.get();
    picture.SetGraphic(std::move(graphic));
    // A bitmap takes the GIF picture's own bitmap: its 8-bit rendering.
    vcl::TBitmap bitmap;
    bitmap.Assign(held);
    ASSERT_EQ(bitmap.GetWidth(), 4);
    EXPECT_EQ(bitmap.GetCanvas().GetPixel(0, 1), 0x0000FFu);
    EXPECT_EQ(bitmap.GetCanvas().GetPixel(3, 1), 0x00FF00u);
    // A frame made from the container shows the same.
    gif::TGIFImage image;
    image.SetColorReduction(gif::rmNone);
    image.Assign(&picture);
    ASSERT_EQ(image.GetImages().GetCount(), 1);
    gif::TGIFSubImage& frame = *image.GetImages().GetImage(0);
    for (int x = 0; x < 4; ++x) {
        const gif::TGIFColor c = frame.GetActiveColorMap().GetEntry(frame.GetPixel(x, 0));
        EXPECT_EQ(gif::TGIFColorMap::RGB2Color(c), x == 0 ? 0x0000FFu : 0x00FF00u) << x;
    }
}
