// Global memory blocks, the clipboard, icons, metafiles and the bitmap's
// clipboard form.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "gdi/Clipboard.h"
#include "rtl/SysUtils.h"
#include "vcl/Bitmap.h"
#include "vcl/Icon.h"

using namespace gdi;

namespace {

// Opens the clipboard empty and leaves it empty and closed.
struct OpenClipboardScope {
    OpenClipboardScope() {
        EXPECT_TRUE(OpenClipboard(0));
        EmptyClipboard();
    }
    ~OpenClipboardScope() {
        EmptyClipboard();
        CloseClipboard();
    }
};

HGLOBAL BlockOf(const char* text) {
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, std::strlen(text));
    std::memcpy(GlobalLock(block), text, std::strlen(text));
    GlobalUnlock(block);
    return block;
}

TEST(GlobalMemory, BlocksLockFreeAndDeadHandlesAreRefused) {
    const int before = LiveGlobalBlocks();
    const HGLOBAL block = GlobalAlloc(GHND, 5);
    ASSERT_NE(block, 0u);
    EXPECT_EQ(GlobalSize(block), 5u);
    auto* bytes = static_cast<uint8_t*>(GlobalLock(block));
    ASSERT_NE(bytes, nullptr);
    EXPECT_EQ(bytes[4], 0);  // zero-filled
    EXPECT_EQ(GlobalLock(block), bytes);
    EXPECT_TRUE(GlobalUnlock(block));   // still locked once
    EXPECT_FALSE(GlobalUnlock(block));  // now unlocked
    EXPECT_FALSE(GlobalUnlock(block));  // not locked at all
    EXPECT_EQ(LiveGlobalBlocks(), before + 1);
    EXPECT_EQ(GlobalFree(block), 0u);
    EXPECT_EQ(LiveGlobalBlocks(), before);
    // A freed block and a handle that never was one.
    for (const HGLOBAL dead : {block, HGLOBAL{12345}}) {
        EXPECT_EQ(GlobalSize(dead), 0u);
        EXPECT_EQ(GlobalLock(dead), nullptr);
        EXPECT_EQ(GlobalFree(dead), dead);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
}

TEST(GlobalMemory, ABlockBeyondTheLimitIsRefused) {
    const size_t limit = GlobalMemoryLimit();
    SetGlobalMemoryLimit(100);
    const HGLOBAL first = GlobalAlloc(GMEM_MOVEABLE, 60);
    EXPECT_NE(first, 0u);
    EXPECT_EQ(GlobalAlloc(GMEM_MOVEABLE, 60), 0u);  // the two together are too many
    EXPECT_EQ(GetLastError(), ERROR_NOT_ENOUGH_MEMORY);
    GlobalFree(first);
    const HGLOBAL second = GlobalAlloc(GMEM_MOVEABLE, 60);
    EXPECT_NE(second, 0u);
    GlobalFree(second);
    SetGlobalMemoryLimit(limit);
}

TEST(Clipboard, HoldsOneHandlePerFormatAndFreesWhatItHeld) {
    const int blocks = LiveGlobalBlocks();
    const ObjectCounts objects = LiveObjects();
    {
        OpenClipboardScope open;
        const unsigned text = 0xC123;
        const HGLOBAL first = BlockOf("first");
        EXPECT_EQ(SetClipboardData(text, first), first);
        EXPECT_EQ(GetClipboardData(text), first);
        // Setting the format again frees the block it held.
        const HGLOBAL second = BlockOf("second");
        EXPECT_EQ(SetClipboardData(text, second), second);
        EXPECT_EQ(GlobalSize(first), 0u);
        EXPECT_EQ(GetClipboardData(text), second);
        const HBITMAP bitmap = CreateBitmap(2, 2, 1, 32, nullptr);
        EXPECT_EQ(SetClipboardData(CF_BITMAP, bitmap), bitmap);
        EXPECT_TRUE(IsClipboardFormatAvailable(CF_BITMAP));
        EXPECT_EQ(GetClipboardData(CF_DIB), 0u);
    }
    // Emptied: the block and the bitmap are gone.
    EXPECT_EQ(LiveGlobalBlocks(), blocks);
    EXPECT_EQ(LiveObjects().Bitmaps, objects.Bitmaps);
}

TEST(Clipboard, RefusesDataItCannotHoldAndTakesNothingOver) {
    const HGLOBAL block = BlockOf("data");
    const HBITMAP bitmap = CreateBitmap(1, 1, 1, 32, nullptr);
    // Not open: nothing is placed or read.
    EXPECT_EQ(SetClipboardData(0xC123, block), 0u);
    EXPECT_EQ(GetLastError(), ERROR_CLIPBOARD_NOT_OPEN);
    EXPECT_EQ(GetClipboardData(0xC123), 0u);
    {
        OpenClipboardScope open;
        struct Case {
            const char* name;
            unsigned format;
            HANDLE data;
        };
        for (const Case& c : {Case{"format 0", 0, block}, Case{"no data", 0xC123, 0},
                              Case{"a bitmap as a block", 0xC123, bitmap}, Case{"a block as a bitmap", CF_BITMAP, block},
                              Case{"a bitmap as a palette", CF_PALETTE, bitmap}}) {
            SCOPED_TRACE(c.name);
            EXPECT_EQ(SetClipboardData(c.format, c.data), 0u);
            EXPECT_FALSE(IsClipboardFormatAvailable(c.format));
        }
        // Another thread cannot open it meanwhile.
        bool opened = true;
        std::thread([&] { opened = OpenClipboard(0); }).join();
        EXPECT_FALSE(opened);
    }
    // Still the caller's.
    EXPECT_EQ(GlobalSize(block), 4u);
    EXPECT_EQ(GetObjectType(bitmap), OBJ_BITMAP);
    GlobalFree(block);
    DeleteObject(bitmap);
}

// A 2 × 2 icon: top row red and blue, bottom row let through (mask 1).
HICON TestIcon() {
    const uint8_t maskBits[4] = {0x00, 0x00, 0xC0, 0x00};
    const HBITMAP mask = CreateBitmap(2, 2, 1, 1, maskBits);
    const uint8_t colorBits[16] = {0, 0, 255, 0, 255, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    const HBITMAP color = CreateBitmap(2, 2, 1, 32, colorBits);
    ICONINFO info;
    info.hbmMask = mask;
    info.hbmColor = color;
    const HICON icon = CreateIconIndirect(&info);
    DeleteObject(mask);
    DeleteObject(color);
    return icon;
}

TEST(Icons, DrawLetsTheDestinationThroughWhereTheMaskIsSet) {
    const int icons = LiveObjects().Icons;
    const HICON icon = TestIcon();
    ASSERT_NE(icon, 0u);
    EXPECT_EQ(LiveObjects().Icons, icons + 1);
    EXPECT_EQ(GetObjectType(icon), 0u);
    EXPECT_FALSE(DeleteObject(icon));
    vcl::TBitmap target;
    target.SetPixelFormat(vcl::pf24bit);
    target.SetSize(4, 4);
    target.GetCanvas().Brush.Color = RGB(0, 200, 0);
    target.GetCanvas().FillRect({0, 0, 4, 4});
    const HDC dc = target.GetCanvas().GetHandle();
    SetTextColor(dc, RGB(1, 2, 3));
    SetBkColor(dc, RGB(4, 5, 6));
    // At its size, and stretched to twice its size.
    ASSERT_TRUE(DrawIconEx(dc, 0, 0, icon, 0, 0, 0, 0, DI_NORMAL));
    EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(dc, 1, 0), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, 0, 1), RGB(0, 200, 0));
    EXPECT_EQ(GetPixel(dc, 2, 0), RGB(0, 200, 0));  // outside the icon
    ASSERT_TRUE(DrawIconEx(dc, 0, 0, icon, 4, 4, 0, 0, DI_NORMAL));
    EXPECT_EQ(GetPixel(dc, 3, 1), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, 3, 3), RGB(0, 200, 0));
    EXPECT_EQ(GetTextColor(dc), RGB(1, 2, 3));
    EXPECT_EQ(GetBkColor(dc), RGB(4, 5, 6));
    // Its information is copies the caller frees.
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(icon, &info));
    EXPECT_TRUE(DeleteObject(info.hbmMask));
    EXPECT_TRUE(DeleteObject(info.hbmColor));
    EXPECT_TRUE(DestroyIcon(icon));
    EXPECT_FALSE(DestroyIcon(icon));
    EXPECT_EQ(LiveObjects().Icons, icons);
}

TEST(Icons, MadeOnlyOfAMonochromeMaskAndColoursOfItsSize) {
    const HBITMAP mono = CreateBitmap(2, 2, 1, 1, nullptr);
    const HBITMAP color = CreateBitmap(2, 2, 1, 32, nullptr);
    const HBITMAP wide = CreateBitmap(3, 2, 1, 32, nullptr);
    ICONINFO notMono{true, 0, 0, color, color};
    ICONINFO otherSize{true, 0, 0, mono, wide};
    ICONINFO noColour{true, 0, 0, mono, 0};
    for (const ICONINFO* info : {&notMono, &otherSize, &noColour, static_cast<ICONINFO*>(nullptr)})
        EXPECT_EQ(CreateIconIndirect(info), 0u);
    for (HBITMAP b : {mono, color, wide}) DeleteObject(b);
    vcl::TIcon icon;
    EXPECT_THROW(icon.SetHandle(777), rtl::EInvalidGraphic);
    EXPECT_TRUE(icon.GetEmpty());
    icon.SetHandle(TestIcon());
    EXPECT_EQ(icon.GetWidth(), 2);
    EXPECT_EQ(icon.GetHeight(), 2);
}

TEST(Metafile, ReplaysItsRectanglesScaledAndLeavesTheRestAlone) {
    vcl::TMetafile metafile;
    metafile.SetSize(10, 10);
    metafile.FillRect({0, 0, 5, 10}, RGB(255, 0, 0));
    metafile.FillRect({2, 2, 4, 4}, RGB(0, 0, 255));
    vcl::TBitmap target;
    target.SetPixelFormat(vcl::pf24bit);
    target.SetSize(20, 20);
    target.GetCanvas().Brush.Color = RGB(9, 9, 9);
    target.GetCanvas().FillRect({0, 0, 20, 20});
    metafile.Draw(target.GetCanvas(), {0, 0, 20, 20});
    vcl::TCanvas& canvas = target.GetCanvas();
    EXPECT_EQ(canvas.GetPixel(9, 19), RGB(255, 0, 0));
    EXPECT_EQ(canvas.GetPixel(10, 0), RGB(9, 9, 9));
    EXPECT_EQ(canvas.GetPixel(4, 4), RGB(0, 0, 255));
    EXPECT_EQ(canvas.GetPixel(7, 7), RGB(0, 0, 255));
    EXPECT_EQ(canvas.GetPixel(8, 8), RGB(255, 0, 0));
}

TEST(BitmapClipboardForm, CopiesOutAndInAndRefusesWhatIsNoBitmap) {
    vcl::TBitmap bitmap;
    bitmap.SetPixelFormat(vcl::pf8bit);
    bitmap.SetSize(3, 2);
    bitmap.GetCanvas().SetPixel(2, 1, RGB(255, 0, 0));
    // An empty bitmap hands out nothing.
    uint16_t format = 77;
    HANDLE data = 88;
    HPALETTE palette = 99;
    vcl::TBitmap().SaveToClipboardFormat(format, data, palette);
    EXPECT_EQ(format, 77);
    EXPECT_EQ(data, 88u);
    EXPECT_EQ(palette, 99u);
    bitmap.SaveToClipboardFormat(format, data, palette);
    EXPECT_EQ(format, CF_BITMAP);
    EXPECT_NE(data, bitmap.GetHandle());
    EXPECT_NE(palette, 0u);
    vcl::TBitmap copy;
    copy.LoadFromClipboardFormat(format, data, palette);
    EXPECT_EQ(copy.GetWidth(), 3);
    EXPECT_EQ(copy.GetCanvas().GetPixel(2, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetObjectType(data), OBJ_BITMAP);  // the caller's copies stay the caller's
    struct Case {
        const char* name;
        uint16_t format;
        HANDLE data;
        const char* error;
    };
    for (const Case& c : {Case{"another format", CF_DIB, data, "Unsupported clipboard format"},
                          Case{"no data", CF_BITMAP, 0, "Unsupported clipboard format"},
                          Case{"a palette", CF_BITMAP, palette, "Bitmap image is not valid"}}) {
        SCOPED_TRACE(c.name);
        try {
            copy.LoadFromClipboardFormat(c.format, c.data, 0);
            ADD_FAILURE() << "no exception";
        } catch (const rtl::EInvalidGraphic& e) {
            EXPECT_STREQ(e.what(), c.error);
        }
        EXPECT_EQ(copy.GetWidth(), 3);
    }
    DeleteObject(data);
    DeleteObject(palette);
}

}  // namespace
