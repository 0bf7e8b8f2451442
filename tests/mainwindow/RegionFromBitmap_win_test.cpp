#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mainwindow/WindowRegion_win.h"
#include "tests/common/TestPictures_win.h"

namespace {

constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr uint32_t kKey = 0xFF00FF;

std::vector<RECT> RectanglesOf(HRGN region) {
    const DWORD size = GetRegionData(region, 0, nullptr);
    std::vector<unsigned char> data(size);
    RGNDATA* rgn = reinterpret_cast<RGNDATA*>(data.data());
    if (size == 0 || GetRegionData(region, size, rgn) != size)
        return {};
    const RECT* rects = reinterpret_cast<const RECT*>(rgn->Buffer);
    return std::vector<RECT>(rects, rects + rgn->rdh.nCount);
}

long long AreaOf(HRGN region) {
    long long area = 0;
    for (const RECT& r : RectanglesOf(region))
        area += (long long)(r.right - r.left) * (r.bottom - r.top);
    return area;
}

// Counts the pixels of a bitmap that do not have the key colour, read through GetPixel.
long long NonKeyPixels(HBITMAP bitmap, int width, int height) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    long long count = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            count += GetPixel(dc, x, y) != kMagenta;
    SelectObject(dc, previous);
    DeleteDC(dc);
    return count;
}

TEST(RegionFromBitmap, NoBitmapGivesNoRegion) {
    EXPECT_EQ(nullptr, RegionFromBitmap(nullptr, kKey, true));
}

TEST(RegionFromBitmap, SinglePixelOfKeyIsEmptyAndOtherwiseTheUnitSquare) {
    HBITMAP key = MakePicture(1, 1, [](int, int) { return kMagenta; });
    HRGN empty = RegionFromBitmap(key, kKey, true);
    ASSERT_NE(nullptr, empty);
    RECT box;
    EXPECT_EQ(NULLREGION, GetRgnBox(empty, &box));

    HBITMAP grey = MakePicture(1, 1, [](int, int) { return RGB(128, 128, 128); });
    HRGN unit = RegionFromBitmap(grey, kKey, true);
    ASSERT_NE(nullptr, unit);
    EXPECT_EQ(SIMPLEREGION, GetRgnBox(unit, &box));
    EXPECT_EQ(0, box.left);
    EXPECT_EQ(0, box.top);
    EXPECT_EQ(1, box.right);
    EXPECT_EQ(1, box.bottom);

    for (HGDIOBJ object : {(HGDIOBJ)empty, (HGDIOBJ)unit, (HGDIOBJ)key, (HGDIOBJ)grey})
        DeleteObject(object);
}

// A disc on a magenta square, like the shipped picture: the outline is the disc, top rows read from the top.
TEST(RegionFromBitmap, OutlineOfADiscLeavesOutTheCorners) {
    const int size = 60;
    auto inDisc = [](int x, int y) { return (x - 30) * (x - 30) + (y - 30) * (y - 30) < 28 * 28; };
    HBITMAP picture = MakePicture(size, size, [&](int x, int y) { return inDisc(x, y) ? RGB(x, y, 9) : kMagenta; });
    HRGN region = RegionFromBitmap(picture, kKey, true);
    ASSERT_NE(nullptr, region);

    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            ASSERT_EQ(inDisc(x, y), bool(PtInRegion(region, x, y))) << x << "," << y;
    EXPECT_EQ(NonKeyPixels(picture, size, size), AreaOf(region));

    HRGN inverse = RegionFromBitmap(picture, kKey, false);
    ASSERT_NE(nullptr, inverse);
    EXPECT_EQ(size * size - AreaOf(region), AreaOf(inverse));
    EXPECT_TRUE(PtInRegion(inverse, 0, 0));
    EXPECT_FALSE(PtInRegion(inverse, 30, 30));

    DeleteObject(inverse);
    DeleteObject(region);
    DeleteObject(picture);
}

TEST(RegionFromBitmap, TopRowOfThePictureIsRowZeroOfTheRegion) {
    HBITMAP picture = MakePicture(4, 3, [](int, int y) { return y == 0 ? RGB(1, 2, 3) : kMagenta; });
    HRGN region = RegionFromBitmap(picture, kKey, true);
    ASSERT_NE(nullptr, region);
    RECT box;
    GetRgnBox(region, &box);
    EXPECT_EQ(0, box.top);
    EXPECT_EQ(1, box.bottom);
    EXPECT_EQ(4, box.right);
    DeleteObject(region);
    DeleteObject(picture);
}

TEST(RegionFromBitmap, ManyBatchesAreMergedIntoOneRegion) {
    // 2001 rows with two runs each: 4002 rectangles, three batches.
    const int width = 5;
    const int height = 2001;
    HBITMAP picture = MakePicture(width, height, [](int x, int) { return x == 2 ? kMagenta : RGB(7, 7, 7); });
    HRGN region = RegionFromBitmap(picture, kKey, true);
    ASSERT_NE(nullptr, region);
    EXPECT_EQ(4LL * height, AreaOf(region));
    EXPECT_TRUE(PtInRegion(region, 0, 0));
    EXPECT_TRUE(PtInRegion(region, 4, height - 1));
    EXPECT_FALSE(PtInRegion(region, 2, 1000));
    DeleteObject(region);
    DeleteObject(picture);
}

TEST(RegionFromBitmap, DeviceDependentBitmapIsCopiedToo) {
    HDC screen = GetDC(nullptr);
    HBITMAP picture = CreateCompatibleBitmap(screen, 8, 8);
    ReleaseDC(nullptr, screen);
    ASSERT_NE(nullptr, picture);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, picture);
    RECT whole = {0, 0, 8, 8};
    HBRUSH key = CreateSolidBrush(kMagenta);
    FillRect(dc, &whole, key);
    DeleteObject(key);
    SetPixel(dc, 3, 5, RGB(0, 0, 0));
    SelectObject(dc, previous);
    DeleteDC(dc);

    HRGN region = RegionFromBitmap(picture, kKey, true);
    ASSERT_NE(nullptr, region);
    EXPECT_EQ(1, AreaOf(region));
    EXPECT_TRUE(PtInRegion(region, 3, 5));
    DeleteObject(region);
    DeleteObject(picture);
}

// The shipped artwork, when the resources' build has drawn it.
TEST(RegionFromBitmap, ShippedPictureOutlineCoversExactlyItsNonKeyPixels) {
#ifndef QV_ARTWORK_DIR
    GTEST_SKIP() << "this build draws no artwork";
#else
    const std::string path = WinePath(QV_ARTWORK_DIR "/window1.bmp");
    HBITMAP picture = static_cast<HBITMAP>(
        LoadImageA(nullptr, path.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
    if (!picture)
        GTEST_SKIP() << "no artwork at " << path;
    BITMAP info;
    GetObjectA(picture, sizeof info, &info);
    HRGN region = RegionFromBitmap(picture, kKey, true);
    ASSERT_NE(nullptr, region);
    EXPECT_EQ(NonKeyPixels(picture, info.bmWidth, info.bmHeight), AreaOf(region));
    EXPECT_FALSE(PtInRegion(region, 0, 0));
    EXPECT_TRUE(PtInRegion(region, info.bmWidth / 2, info.bmHeight / 2));
    DeleteObject(region);
    DeleteObject(picture);
#endif
}

}  // namespace
