#pragma once

#include <cstddef>
#include <cstdint>

// The headers of a Windows program image (PE32 or PE32+) as far as the package reader (the certificate table of a
// signed installer) and the package tool's resource editor read and write them. Offsets in bytes, fields
// little-endian:
//
//   0      2   "MZ"
//   0x3C   4   e_lfanew: file offset of the PE signature
//   e_lfanew:
//   +0     4   "PE\0\0"
//   +4     20  COFF header: NumberOfSections at its offset 2, PointerToSymbolTable at 8, SizeOfOptionalHeader at 16
//   +24        optional header: Magic (0x10B PE32, 0x20B PE32+), the sizes, alignments and checksum below, then
//              NumberOfRvaAndSizes and the data directories at offsets that depend on the magic; each directory
//              entry is 8 bytes (address, size)
//   then       the section table, right after the optional header: 40 bytes a section (name, VirtualSize,
//              VirtualAddress, SizeOfRawData, PointerToRawData, ..., Characteristics at its offset 36)
namespace pe {

// The DOS header, and the signature its e_lfanew points to.
constexpr uint16_t kDosMagic = 0x5A4D;
constexpr size_t kDosHeaderSize = 64;
constexpr size_t kHeaderOffsetField = 0x3C;
constexpr uint32_t kSignature = 0x00004550;
constexpr size_t kSignatureSize = 4;

// The COFF header, right after the signature.
constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kCoffSectionCount = 2;
constexpr size_t kCoffSymbolTable = 8;
constexpr size_t kCoffOptionalHeaderSize = 16;

// Fields of the optional header that both shapes keep at the same offset.
constexpr size_t kOptSizeOfInitializedData = 8;
constexpr size_t kOptSectionAlignment = 32;
constexpr size_t kOptFileAlignment = 36;
constexpr size_t kOptSizeOfImage = 56;
constexpr size_t kOptCheckSum = 64;

constexpr uint16_t kMagic32 = 0x10B;  // PE32: the shipped i686 program
constexpr uint16_t kMagic64 = 0x20B;  // PE32+: the x86_64 build

// Where an optional header of one magic keeps its data directory.
struct OptionalHeaderShape {
    uint16_t magic;
    size_t directoryCountField;  // NumberOfRvaAndSizes
    size_t directories;          // the first data directory entry, right after the count
};
inline constexpr OptionalHeaderShape kOptionalHeaderShapes[] = {
    {kMagic32, 92, 96},
    {kMagic64, 108, 112},
};

// The shape of the optional header that starts with magic; null when it is neither PE32 nor PE32+.
inline const OptionalHeaderShape* OptionalHeaderShapeOf(uint16_t magic) {
    for (const OptionalHeaderShape& shape : kOptionalHeaderShapes) {
        if (shape.magic == magic)
            return &shape;
    }
    return nullptr;
}

// The data directory's entries.
constexpr size_t kDataDirectoryEntrySize = 8;
constexpr uint32_t kDirectoryResources = 2;
constexpr uint32_t kDirectorySecurity = 4;  // the certificate table; its "RVA" is a file offset
constexpr uint32_t kDirectoryRelocations = 5;

// The data directory entry's fields: the RVA (for the certificate table a file offset), then the size.
constexpr size_t kDataDirectoryAddress = 0;
constexpr size_t kDataDirectorySize = 4;

// The section table: a header a section, its fields, and the bits of its Characteristics field that the editor
// reads. The name is 8 bytes, NUL-padded (not terminated when it is 8 long).
constexpr size_t kSectionHeaderSize = 40;
constexpr size_t kSectionName = 0;
constexpr size_t kSectionNameSize = 8;
constexpr size_t kSectionVirtualSize = 8;
constexpr size_t kSectionVirtualAddress = 12;
constexpr size_t kSectionRawSize = 16;    // SizeOfRawData
constexpr size_t kSectionRawOffset = 20;  // PointerToRawData
constexpr size_t kSectionCharacteristics = 36;
constexpr uint32_t kScnInitializedData = 0x00000040;
constexpr uint32_t kScnDiscardable = 0x02000000;

}  // namespace pe
