#pragma once

#include <windows.h>

#include <cstdint>

// The outline of a picture as a region: the union of its pixel runs that do not have the key colour (keepNonKey
// true) or that do (false). key is read as blue in its lowest byte, then green, then red. The bitmap is only read;
// it may be of any format that can be copied to 32 bits per pixel and must not be selected into a device context.
// The caller owns the region. None when there is no bitmap or a working copy cannot be made; a picture without a
// single qualifying pixel gives an empty region.
HRGN RegionFromBitmap(HBITMAP bitmap, uint32_t key, bool keepNonKey);
