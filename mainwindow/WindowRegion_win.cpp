#include <windows.h>

#include "support/GdiHandles_win.h"
#include "mainwindow/WindowRegion.h"
#include "mainwindow/WindowRegion_win.h"

namespace {

// Keeps the rectangle block in one movable global memory block and turns each finished batch into a region,
// merged into the result.
class GlobalRectangleStore final : public RectangleStore {
  public:
    GlobalRectangleStore() = default;
    GlobalRectangleStore(const GlobalRectangleStore&) = delete;
    GlobalRectangleStore& operator=(const GlobalRectangleStore&) = delete;
    ~GlobalRectangleStore() override {
        if (memory_) {
            if (block_)
                GlobalUnlock(memory_);
            GlobalFree(memory_);
        }
        if (result_)
            DeleteObject(result_);
    }

    unsigned char* Resize(size_t bytes) override {
        if (!memory_) {
            memory_ = GlobalAlloc(GMEM_MOVEABLE, bytes);
            if (!memory_)
                return nullptr;
            block_ = static_cast<unsigned char*>(GlobalLock(memory_));
            return block_;
        }
        GlobalUnlock(memory_);
        HGLOBAL grown = GlobalReAlloc(memory_, bytes, GMEM_MOVEABLE);
        if (grown)
            memory_ = grown;
        // Locked again whether or not it grew: a failed re-allocation leaves the old block as it was.
        block_ = static_cast<unsigned char*>(GlobalLock(memory_));
        return grown ? block_ : nullptr;
    }

    void TakeBatch(const unsigned char* block, size_t bytes) override {
        HRGN batch = ExtCreateRegion(nullptr, DWORD(bytes), reinterpret_cast<const RGNDATA*>(block));
        if (!batch)
            return;  // this batch is left out; the scan goes on
        if (!result_) {
            result_ = batch;
            return;
        }
        CombineRgn(result_, result_, batch, RGN_OR);
        DeleteObject(batch);
    }

    // Hands the merged region to the caller.
    HRGN TakeResult() {
        HRGN result = result_;
        result_ = nullptr;
        return result;
    }

  private:
    HGLOBAL memory_ = nullptr;
    unsigned char* block_ = nullptr;
    HRGN result_ = nullptr;
};

}  // namespace

HRGN RegionFromBitmap(HBITMAP bitmap, uint32_t key, bool keepNonKey) {
    if (!bitmap)
        return nullptr;
    OwnedDc copyDc(CreateCompatibleDC(nullptr));
    if (!copyDc.get())
        return nullptr;
    BITMAP source = {};
    if (!GetObjectW(bitmap, sizeof source, &source))
        return nullptr;

    BITMAPINFOHEADER header = {};
    header.biSize = sizeof header;
    header.biWidth = source.bmWidth;
    header.biHeight = source.bmHeight;  // positive: bottom-up
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    void* bits = nullptr;
    OwnedGdiObject<HBITMAP> copy(
        CreateDIBSection(copyDc.get(), reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!copy.get() || !bits)
        return nullptr;
    ScopedSelectObject selectCopy(copyDc.get(), copy.get());

    OwnedDc sourceDc(CreateCompatibleDC(copyDc.get()));
    if (!sourceDc.get())
        return nullptr;
    BITMAP copyInfo = {};
    GetObjectW(copy.get(), sizeof copyInfo, &copyInfo);
    const ptrdiff_t rowBytes = (ptrdiff_t(copyInfo.bmWidthBytes) + 3) & ~ptrdiff_t(3);
    ScopedSelectObject selectSource(sourceDc.get(), bitmap);
    if (!selectCopy.ok() || !selectSource.ok())
        return nullptr;  // a copy we cannot make would give a wrong outline; stay rectangular instead
    BitBlt(copyDc.get(), 0, 0, source.bmWidth, source.bmHeight, sourceDc.get(), 0, 0, SRCCOPY);
    GdiFlush();  // the pixels are read directly below

    // The copy is bottom-up: image row 0 is the last row in memory.
    PixelView pixels;
    pixels.topRow = static_cast<const unsigned char*>(bits) + ptrdiff_t(source.bmHeight - 1) * rowBytes;
    pixels.rowStep = -rowBytes;
    pixels.width = source.bmWidth;
    pixels.height = source.bmHeight;
    GlobalRectangleStore store;
    ScanRegionRuns(pixels, key, keepNonKey, store);
    return store.TakeResult();
}
