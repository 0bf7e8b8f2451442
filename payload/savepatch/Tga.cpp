#include "payload/savepatch/Tga.h"

#include <cstring>

#include "support/LittleEndian.h"

namespace {

const char kFooterSignature[] = "TRUEVISION-XFILE.";  // followed by its terminator

}  // namespace

bool EncodeTga32(int width, int height, const std::vector<uint8_t>& bgra, std::vector<uint8_t>* out) {
    if (width < 1 || width > kTgaMaxSide || height < 1 || height > kTgaMaxSide)
        return false;
    const size_t pixelBytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
    if (bgra.size() != pixelBytes)
        return false;
    std::vector<uint8_t> file(kTgaHeaderSize + pixelBytes + kTgaFooterSize, 0);
    uint8_t* header = file.data();
    header[2] = 2;  // uncompressed true colour
    PutLe16(header + 12, static_cast<uint16_t>(width));
    PutLe16(header + 14, static_cast<uint16_t>(height));
    header[16] = 32;
    header[17] = 0x28;
    std::memcpy(file.data() + kTgaHeaderSize, bgra.data(), pixelBytes);
    // The footer: extension and developer offsets 0, then the signature with its terminator.
    std::memcpy(file.data() + kTgaHeaderSize + pixelBytes + 8, kFooterSignature, sizeof kFooterSignature);
    out->swap(file);
    return true;
}
