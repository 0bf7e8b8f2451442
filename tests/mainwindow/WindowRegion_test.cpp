#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "mainwindow/WindowRegion.h"

namespace {

constexpr uint32_t kMagenta = 0xFF00FF;
constexpr uint32_t kGrey = 0x808080;

struct Rect {
    int32_t left, top, right, bottom;
    bool operator==(const Rect& other) const {
        return left == other.left && top == other.top && right == other.right && bottom == other.bottom;
    }
};

std::ostream& operator<<(std::ostream& out, const Rect& r) {
    return out << "(" << r.left << "," << r.top << "," << r.right << "," << r.bottom << ")";
}

int32_t GetLe32(const unsigned char* at) {
    return int32_t(uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24);
}

// One batch as the store received it, decoded from the block.
struct Batch {
    size_t bytes;
    int32_t headerSize, type, count, sizeHint;
    Rect bounds;
    std::vector<Rect> rects;
};

// A store in ordinary memory that records every resize and batch; it can be told to refuse to grow.
class RecordingStore final : public RectangleStore {
  public:
    unsigned char* Resize(size_t bytes) override {
        resizes.push_back(bytes);
        if (refuseFrom != 0 && resizes.size() >= refuseFrom)
            return nullptr;
        block.resize(bytes);
        return block.data();
    }
    void TakeBatch(const unsigned char* data, size_t bytes) override {
        EXPECT_EQ(block.data(), data);
        Batch batch;
        batch.bytes = bytes;
        batch.headerSize = GetLe32(data);
        batch.type = GetLe32(data + 4);
        batch.count = GetLe32(data + 8);
        batch.sizeHint = GetLe32(data + 12);
        batch.bounds = {GetLe32(data + 16), GetLe32(data + 20), GetLe32(data + 24), GetLe32(data + 28)};
        for (int32_t i = 0; i < batch.count; ++i) {
            const unsigned char* r = data + kRegionHeaderSize + size_t(i) * kRegionRectSize;
            batch.rects.push_back({GetLe32(r), GetLe32(r + 4), GetLe32(r + 8), GetLe32(r + 12)});
        }
        batches.push_back(batch);
    }

    std::vector<Rect> AllRects() const {
        std::vector<Rect> all;
        for (const Batch& batch : batches)
            all.insert(all.end(), batch.rects.begin(), batch.rects.end());
        return all;
    }

    size_t refuseFrom = 0;  // 1-based resize call from which on the store fails; 0: never
    std::vector<unsigned char> block;
    std::vector<size_t> resizes;
    std::vector<Batch> batches;
};

// A picture in 32-bit pixels, stored bottom-up like the platform's working copy.
class Picture {
  public:
    Picture(int32_t width, int32_t height, uint32_t fill) : width_(width), height_(height) {
        bytes_.resize(size_t(width) * size_t(height) * 4);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x)
                Set(x, y, fill);
    }
    // colour is 0xRRGGBB; reserved goes into the fourth byte.
    void Set(int32_t x, int32_t y, uint32_t colour, unsigned char reserved = 0) {
        unsigned char* p = Pixel(x, y);
        p[0] = static_cast<unsigned char>(colour);
        p[1] = static_cast<unsigned char>(colour >> 8);
        p[2] = static_cast<unsigned char>(colour >> 16);
        p[3] = reserved;
    }
    PixelView View() const {
        PixelView view;
        view.topRow = bytes_.data() + RowOffset(0);
        view.rowStep = -ptrdiff_t(width_) * 4;
        view.width = width_;
        view.height = height_;
        return view;
    }

  private:
    size_t RowOffset(int32_t y) const { return size_t(height_ - 1 - y) * size_t(width_) * 4; }
    unsigned char* Pixel(int32_t x, int32_t y) { return bytes_.data() + RowOffset(y) + size_t(x) * 4; }

    int32_t width_, height_;
    std::vector<unsigned char> bytes_;
};

// A picture with exactly `runs` runs: one non-key pixel in column 0 of every row, key colour beside it.
Picture OneRunPerRow(int32_t runs) {
    Picture picture(2, runs, kMagenta);
    for (int32_t y = 0; y < runs; ++y)
        picture.Set(0, y, kGrey);
    return picture;
}

TEST(RegionScan, SingleKeyPixelGivesOneEmptyBatchWithResetHeader) {
    Picture picture(1, 1, kMagenta);
    RecordingStore store;
    RegionScanResult result = ScanRegionRuns(picture.View(), kMagenta, true, store);

    EXPECT_TRUE(result.ok);
    EXPECT_EQ(0u, result.rectangles);
    ASSERT_EQ(1u, store.batches.size());
    const Batch& batch = store.batches[0];
    EXPECT_EQ(1632u, batch.bytes);
    EXPECT_EQ(32, batch.headerSize);
    EXPECT_EQ(1, batch.type);
    EXPECT_EQ(0, batch.count);
    EXPECT_EQ(0, batch.sizeHint);
    EXPECT_EQ((Rect{0x7FFFFFFF, 0x7FFFFFFF, 0, 0}), batch.bounds);
}

TEST(RegionScan, SingleOtherPixelGivesTheUnitSquare) {
    Picture picture(1, 1, kGrey);
    RecordingStore store;
    ScanRegionRuns(picture.View(), kMagenta, true, store);

    ASSERT_EQ(1u, store.batches.size());
    EXPECT_EQ(std::vector<Rect>{(Rect{0, 0, 1, 1})}, store.batches[0].rects);
    EXPECT_EQ((Rect{0, 0, 1, 1}), store.batches[0].bounds);
}

TEST(RegionScan, RunsReachBothEdgesAndRowsCountFromTheTop) {
    // Row 0: N N K N N   row 1: K K K K K   row 2: K N N N K
    Picture picture(5, 3, kGrey);
    picture.Set(2, 0, kMagenta);
    for (int32_t x = 0; x < 5; ++x)
        picture.Set(x, 1, kMagenta);
    picture.Set(0, 2, kMagenta);
    picture.Set(4, 2, kMagenta);
    RecordingStore store;
    ScanRegionRuns(picture.View(), kMagenta, true, store);

    std::vector<Rect> expected = {{0, 0, 2, 1}, {3, 0, 5, 1}, {1, 2, 4, 3}};
    EXPECT_EQ(expected, store.AllRects());
    EXPECT_EQ((Rect{0, 0, 5, 3}), store.batches[0].bounds);
}

TEST(RegionScan, AlternatingPixelsGiveOneRectanglePerNonKeyPixel) {
    Picture picture(7, 1, kMagenta);
    for (int32_t x = 0; x < 7; x += 2)
        picture.Set(x, 0, kGrey);
    RecordingStore store;
    ScanRegionRuns(picture.View(), kMagenta, true, store);

    std::vector<Rect> expected = {{0, 0, 1, 1}, {2, 0, 3, 1}, {4, 0, 5, 1}, {6, 0, 7, 1}};
    EXPECT_EQ(expected, store.AllRects());
}

TEST(RegionScan, KeepingKeyPixelsGivesExactlyTheKeyArea) {
    Picture picture(4, 2, kGrey);
    picture.Set(0, 0, kMagenta);
    picture.Set(1, 0, kMagenta);
    picture.Set(3, 1, kMagenta);
    RecordingStore store;
    ScanRegionRuns(picture.View(), kMagenta, false, store);

    std::vector<Rect> expected = {{0, 0, 2, 1}, {3, 1, 4, 2}};
    EXPECT_EQ(expected, store.AllRects());
}

TEST(RegionScan, FourthBytesOfPixelAndKeyAreIgnored) {
    Picture picture(3, 1, kGrey);
    picture.Set(1, 0, kMagenta, 0xAB);
    RecordingStore store;
    ScanRegionRuns(picture.View(), 0x5AFF00FF, true, store);

    std::vector<Rect> expected = {{0, 0, 1, 1}, {2, 0, 3, 1}};
    EXPECT_EQ(expected, store.AllRects());
}

TEST(RegionScan, KeyBytesAreBlueGreenRedFromTheLowest) {
    // 0x0000FF is blue in the key's reading; a red pixel must not match it.
    Picture picture(2, 1, 0xFF0000);
    picture.Set(1, 0, 0x0000FF);
    RecordingStore store;
    ScanRegionRuns(picture.View(), 0x0000FF, false, store);
    EXPECT_EQ(std::vector<Rect>{(Rect{1, 0, 2, 1})}, store.AllRects());
}

TEST(RegionScan, HundredAndOneRunsGrowTheBlockOnceToTwoHundred) {
    RecordingStore store;
    RegionScanResult result = ScanRegionRuns(OneRunPerRow(101).View(), kMagenta, true, store);

    EXPECT_EQ((std::vector<size_t>{1632, 3232}), store.resizes);
    EXPECT_EQ(200u, result.capacity);
    ASSERT_EQ(1u, store.batches.size());
    EXPECT_EQ(101, store.batches[0].count);
    EXPECT_EQ(3232u, store.batches[0].bytes);
    EXPECT_EQ((Rect{0, 100, 1, 101}), store.batches[0].rects.back());
}

TEST(RegionScan, BatchesAreHandedOverEveryTwoThousandRectangles) {
    struct Case {
        int32_t runs;
        std::vector<int32_t> counts;
    };
    for (const Case& c : {Case{1999, {1999}}, Case{2000, {2000, 0}}, Case{2001, {2000, 1}}}) {
        SCOPED_TRACE(c.runs);
        RecordingStore store;
        RegionScanResult result = ScanRegionRuns(OneRunPerRow(c.runs).View(), kMagenta, true, store);

        std::vector<int32_t> counts;
        for (const Batch& batch : store.batches)
            counts.push_back(batch.count);
        EXPECT_EQ(c.counts, counts);
        EXPECT_EQ(uint32_t(c.counts.size()), result.batches);
        EXPECT_EQ(uint32_t(c.runs), result.rectangles);
        EXPECT_EQ(2000u, result.capacity);  // grown in steps of 100, never beyond the batch limit
        EXPECT_EQ(size_t(c.runs), store.AllRects().size());
        if (c.runs > 2000) {
            // The second batch starts with fresh bounds.
            EXPECT_EQ((Rect{0, 2000, 1, 2001}), store.batches[1].bounds);
        }
    }
}

TEST(RegionScan, BlockThatCannotGrowHandsItsRectanglesOverEarly) {
    RecordingStore store;
    store.refuseFrom = 2;  // the first allocation works, every growth fails
    RegionScanResult result = ScanRegionRuns(OneRunPerRow(250).View(), kMagenta, true, store);

    EXPECT_TRUE(result.ok);
    EXPECT_EQ(100u, result.capacity);
    std::vector<int32_t> counts;
    for (const Batch& batch : store.batches)
        counts.push_back(batch.count);
    EXPECT_EQ((std::vector<int32_t>{100, 100, 50}), counts);
    EXPECT_EQ(250u, store.AllRects().size());
}

TEST(RegionScan, NoBlockMeansNoRegion) {
    RecordingStore store;
    store.refuseFrom = 1;
    RegionScanResult result = ScanRegionRuns(OneRunPerRow(3).View(), kMagenta, true, store);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(store.batches.empty());
}

}  // namespace
