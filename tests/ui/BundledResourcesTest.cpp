// The program's bundled files served as a module's resources.
#include <gtest/gtest.h>

#include <QFile>

#include <cstring>

#include "vcl/Resources.h"

namespace {

TEST(BundledResources, AModuleServedFromTheBundleHandsOutItsFilesByName) {
    const rtl::HINSTANCE module = 0x7001;
    vcl::ServeBundledResources(module, "/pelmora");
    QFile file(":/pelmora/ImageMain.jpg");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << "the download program's bundle is linked in";
    const QByteArray expected = file.readAll();

    rtl::TResourceStream stream(module, "ImageMain.jpg", rtl::RT_RCDATA);
    ASSERT_EQ(stream.GetSize(), expected.size());
    EXPECT_EQ(0, std::memcmp(stream.Memory(), expected.constData(), static_cast<size_t>(expected.size())));
    EXPECT_THROW(rtl::TResourceStream(module, "NoSuchPicture.png", rtl::RT_RCDATA), rtl::EResNotFound);
    rtl::RemoveResources(module);
    EXPECT_THROW(rtl::TResourceStream(module, "ImageMain.jpg", rtl::RT_RCDATA), rtl::EResNotFound);
}

}  // namespace
