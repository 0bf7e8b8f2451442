#pragma once

#include <cstddef>
#include <cstdint>

// The window outline is the union of the horizontal runs of a picture's pixels that do not have the key colour (or,
// with keepNonKey false, of the runs that do). Every run becomes one rectangle one pixel high; runs are never merged
// across rows.
//
// The rectangles are collected in one memory block laid out as the platform's region data, ready for the call that
// turns it into a region object (all fields 32-bit little-endian, right and bottom exclusive):
//
//   +0    header size: 32
//   +4    type: 1 (rectangles)
//   +8    count: rectangles stored in this batch
//   +12   size hint: 0
//   +16   bounds: left, top, right, bottom; reset to 0x7FFFFFFF, 0x7FFFFFFF, 0, 0
//   +32   count rectangles of 16 bytes each: left, top, right, bottom
//
// The block starts with room for 100 rectangles and grows by 100 whenever it is full. After 2000 rectangles the batch
// is handed over and the block emptied, so one region object never holds more than 2000 rectangles.

constexpr uint32_t kRegionHeaderSize = 32;
constexpr uint32_t kRegionRectSize = 16;
constexpr uint32_t kRegionTypeRectangles = 1;
constexpr uint32_t kRegionGrowStep = 100;
constexpr uint32_t kRegionBatchLimit = 2000;
constexpr int32_t kRegionBoundsReset = 0x7FFFFFFF;

// 32-bit pixels, four bytes each in the order blue, green, red, reserved. topRow is image row 0; rowStep is the
// distance in bytes from one image row to the next below it (negative for a bottom-up surface).
struct PixelView {
    const unsigned char* topRow = nullptr;
    ptrdiff_t rowStep = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// The platform side of a scan: the memory block that holds the rectangles, and what becomes of a finished batch.
class RectangleStore {
  public:
    virtual ~RectangleStore() = default;
    // Makes the block bytes long, keeping its content; the first call allocates it. Null on failure, in which case
    // the previous block stays valid and unchanged.
    virtual unsigned char* Resize(size_t bytes) = 0;
    // A batch is complete: block holds the header and its rectangles; bytes is the block's whole size.
    virtual void TakeBatch(const unsigned char* block, size_t bytes) = 0;
};

struct RegionScanResult {
    bool ok = false;          // false only when the first block could not be allocated; nothing was handed over then
    uint32_t rectangles = 0;  // rectangles found in the whole picture
    uint32_t batches = 0;     // TakeBatch calls
    uint32_t capacity = 0;    // rectangles the block could hold at the end
};

// True when the pixel's blue, green and red bytes equal the key's bytes 0, 1 and 2; the fourth bytes of both are
// ignored.
bool PixelMatchesKey(const unsigned char* pixel, uint32_t key);

// Scans the picture row by row from the top and hands the rectangles to store in batches of at most 2000, followed
// by one final batch with whatever is left (possibly none). If the block cannot grow, the rectangles gathered so far
// are handed over early as a batch of their own and the scan goes on in the emptied block.
RegionScanResult ScanRegionRuns(const PixelView& pixels, uint32_t key, bool keepNonKey, RectangleStore& store);
