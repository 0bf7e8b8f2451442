#include "tools/packtool/Branding.h"

#include "tools/packtool/ImageBytes.h"

// The skin pictures: BMP files checked as the window loads them, stored as bitmap resources.
//
// The file header (14 bytes): "BM", file size, two reserved words, offset of the pixels from the start of the file.
// Info header: its size (40 for BITMAPINFOHEADER, 108 and 124 for V4 and V5), width, height (negative: top-down),
// planes, bits per pixel, compression, image size, two resolutions, colours used, colours important.
namespace {

constexpr size_t kBmpFileHeader = 14;
constexpr size_t kBmpPixelOffset = 10;  // in the file header
constexpr size_t kBmpInfoHeader = 40;

}  // namespace

bool CheckSkinPicture(const std::vector<unsigned char>& file, int32_t* width, int32_t* height, std::string* why) {
    if (!Has(file, 0, kBmpFileHeader) || file[0] != 'B' || file[1] != 'M') {
        *why = "not a BMP file";
        return false;
    }
    if (!Has(file, kBmpFileHeader, kBmpInfoHeader)) {
        *why = "truncated: the file ends inside its header";
        return false;
    }
    uint32_t headerSize = Get32(file, kBmpFileHeader);
    if (headerSize != 40 && headerSize != 108 && headerSize != 124) {
        *why = "its header of " + std::to_string(headerSize) + " bytes is not a BITMAPINFOHEADER";
        return false;
    }
    if (!Has(file, kBmpFileHeader, headerSize)) {
        *why = "truncated: the file ends inside its header";
        return false;
    }
    int32_t w = static_cast<int32_t>(Get32(file, kBmpFileHeader + 4));
    int32_t h = static_cast<int32_t>(Get32(file, kBmpFileHeader + 8));
    uint16_t planes = Get16(file, kBmpFileHeader + 12);
    uint16_t bits = Get16(file, kBmpFileHeader + 14);
    uint32_t compression = Get32(file, kBmpFileHeader + 16);
    uint32_t coloursUsed = Get32(file, kBmpFileHeader + 32);
    if (bits != 24) {
        *why = std::to_string(bits) + " bits per pixel; the window loads 24-bit pictures";
        return false;
    }
    if (compression != 0) {
        *why = "compressed (compression " + std::to_string(compression) + "); the window loads uncompressed pictures";
        return false;
    }
    if (planes != 1) {
        *why = std::to_string(planes) + " colour planes; a BMP has one";
        return false;
    }
    if (h < 0) {
        *why = "its rows are stored top-down; save it bottom-up, as BMP files usually are";
        return false;
    }
    if (w < 1 || h < 1 || w > kMaxSkinSide || h > kMaxSkinSide) {
        *why = std::to_string(w) + " x " + std::to_string(h) + " pixels; a skin picture is 1 to " +
               std::to_string(kMaxSkinSide) + " pixels each way";
        return false;
    }
    if (coloursUsed > 256) {
        *why = "its colour table of " + std::to_string(coloursUsed) + " entries is not a BMP's";
        return false;
    }
    // The resource is the file without its file header, so the loader finds the pixels right after the header and
    // the colour table; a file that keeps them further on would show garbage.
    size_t pixels = kBmpFileHeader + headerSize + 4u * coloursUsed;
    if (Get32(file, kBmpPixelOffset) != pixels) {
        *why = "its pixels do not follow its header (pixel offset " + std::to_string(Get32(file, kBmpPixelOffset)) +
               ", expected " + std::to_string(pixels) + ")";
        return false;
    }
    size_t row = (static_cast<size_t>(w) * 3 + 3) & ~size_t(3);
    if (!Has(file, pixels, row * static_cast<size_t>(h))) {
        *why = "truncated: " + std::to_string(w) + " x " + std::to_string(h) + " pixels need " +
               std::to_string(pixels + row * h) + " bytes, the file has " + std::to_string(file.size());
        return false;
    }
    *width = w;
    *height = h;
    return true;
}

std::vector<unsigned char> SkinBitmapResource(const std::vector<unsigned char>& file) {
    return std::vector<unsigned char>(file.begin() + kBmpFileHeader, file.end());
}
