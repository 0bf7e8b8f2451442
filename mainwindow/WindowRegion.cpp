#include "mainwindow/WindowRegion.h"

#include <algorithm>

#include "support/LittleEndian.h"

namespace {

// The rectangle block of one scan: its capacity, the batch being filled and the batch's bounds.
class RectangleBuffer {
  public:
    explicit RectangleBuffer(RectangleStore& store) : store_(store) {}
    RectangleBuffer(const RectangleBuffer&) = delete;
    RectangleBuffer& operator=(const RectangleBuffer&) = delete;

    bool Start() {
        block_ = store_.Resize(BlockSize(kRegionGrowStep));
        if (!block_)
            return false;
        capacity_ = kRegionGrowStep;
        ResetBatch();
        return true;
    }

    void Add(int32_t left, int32_t top, int32_t right, int32_t bottom) {
        if (count_ == capacity_ && !Grow())
            Flush();  // no room to grow: hand over what we have and go on in the emptied block
        unsigned char* at = block_ + kRegionHeaderSize + size_t(count_) * kRegionRectSize;
        PutLe32(at, uint32_t(left));
        PutLe32(at + 4, uint32_t(top));
        PutLe32(at + 8, uint32_t(right));
        PutLe32(at + 12, uint32_t(bottom));
        boundsLeft_ = std::min(boundsLeft_, left);
        boundsTop_ = std::min(boundsTop_, top);
        boundsRight_ = std::max(boundsRight_, right);
        boundsBottom_ = std::max(boundsBottom_, bottom);
        ++count_;
        ++total_;
        if (count_ == kRegionBatchLimit)
            Flush();
    }

    // Writes the header and hands the batch to the store, then empties the block.
    void Flush() {
        PutLe32(block_, kRegionHeaderSize);
        PutLe32(block_ + 4, kRegionTypeRectangles);
        PutLe32(block_ + 8, count_);
        PutLe32(block_ + 12, 0);
        PutLe32(block_ + 16, uint32_t(boundsLeft_));
        PutLe32(block_ + 20, uint32_t(boundsTop_));
        PutLe32(block_ + 24, uint32_t(boundsRight_));
        PutLe32(block_ + 28, uint32_t(boundsBottom_));
        store_.TakeBatch(block_, BlockSize(capacity_));
        ++batches_;
        ResetBatch();
    }

    uint32_t total() const { return total_; }
    uint32_t batches() const { return batches_; }
    uint32_t capacity() const { return capacity_; }

  private:
    static size_t BlockSize(uint32_t capacity) { return kRegionHeaderSize + size_t(capacity) * kRegionRectSize; }

    bool Grow() {
        unsigned char* grown = store_.Resize(BlockSize(capacity_ + kRegionGrowStep));
        if (!grown)
            return false;
        block_ = grown;
        capacity_ += kRegionGrowStep;
        return true;
    }

    void ResetBatch() {
        count_ = 0;
        boundsLeft_ = kRegionBoundsReset;
        boundsTop_ = kRegionBoundsReset;
        boundsRight_ = 0;
        boundsBottom_ = 0;
    }

    RectangleStore& store_;
    unsigned char* block_ = nullptr;
    uint32_t capacity_ = 0;
    uint32_t count_ = 0;
    uint32_t total_ = 0;
    uint32_t batches_ = 0;
    int32_t boundsLeft_ = kRegionBoundsReset;
    int32_t boundsTop_ = kRegionBoundsReset;
    int32_t boundsRight_ = 0;
    int32_t boundsBottom_ = 0;
};

}  // namespace

bool PixelMatchesKey(const unsigned char* pixel, uint32_t key) {
    return pixel[0] == (key & 0xFFu) && pixel[1] == ((key >> 8) & 0xFFu) && pixel[2] == ((key >> 16) & 0xFFu);
}

RegionScanResult ScanRegionRuns(const PixelView& pixels, uint32_t key, bool keepNonKey, RectangleStore& store) {
    RegionScanResult result;
    RectangleBuffer buffer(store);
    if (!buffer.Start())
        return result;

    for (int32_t y = 0; y < pixels.height; ++y) {
        const unsigned char* row = pixels.topRow + ptrdiff_t(y) * pixels.rowStep;
        int32_t x = 0;
        while (x < pixels.width) {
            const int32_t x0 = x;
            while (x < pixels.width && PixelMatchesKey(row + size_t(x) * 4, key) != keepNonKey)
                ++x;
            if (x > x0)
                buffer.Add(x0, y, x, y + 1);
            ++x;  // the pixel that ended the run is not part of any run
        }
    }
    buffer.Flush();

    result.ok = true;
    result.rectangles = buffer.total();
    result.batches = buffer.batches();
    result.capacity = buffer.capacity();
    return result;
}
