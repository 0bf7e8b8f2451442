#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "package/PeHeaders.h"

// The resources of a Windows program image (PE32 or PE32+), read and rewritten without the Windows API, the way an
// installer compiler edits its stub.
//
// The resource section (.rsrc) is a tree of directories three levels deep: type, name, language. A directory is
// 16 bytes (characteristics, time stamp, version, then the counts of named and of numbered entries) followed by
// its entries, 8 bytes each: the name or number (high bit set: offset of a length-prefixed UTF-16 string from the
// start of the section) and the target (high bit set: offset of a subdirectory; clear: offset of a 16-byte data
// entry). A data entry holds the RVA of the bytes (an address in the loaded image, not a file offset), their
// size, a code page and a reserved word. Named entries come before numbered ones; each kind is sorted.

struct ResourceId {
    uint16_t number = 0;
    std::u16string name;  // empty for a numbered resource
    bool IsName() const { return !name.empty(); }
    bool operator==(const ResourceId& other) const { return number == other.number && name == other.name; }
    bool operator!=(const ResourceId& other) const { return !(*this == other); }
};

ResourceId NumberedResource(uint16_t number);
ResourceId NamedResource(const std::string& ascii);

struct ResourceLeaf {
    ResourceId type;
    ResourceId name;
    uint16_t language = 0;
    uint32_t codePage = 0;
    std::vector<unsigned char> data;
};

// Numbered resource types (RT_CURSOR, RT_BITMAP, RT_ICON, RT_GROUP_CURSOR, RT_GROUP_ICON, RT_VERSION).
constexpr uint16_t kTypeCursor = 1;
constexpr uint16_t kTypeBitmap = 2;
constexpr uint16_t kTypeIcon = 3;
constexpr uint16_t kTypeGroupCursor = 12;
constexpr uint16_t kTypeGroupIcon = 14;
constexpr uint16_t kTypeVersion = 16;

// The parts of the headers the resource editor reads and writes.
struct PeSection {
    size_t headerOffset = 0;  // file offset of its 40-byte section header
    std::string name;         // the 8-byte field up to its first NUL
    uint32_t virtualSize = 0;
    uint32_t virtualAddress = 0;
    uint32_t rawSize = 0;
    uint32_t rawOffset = 0;
    uint32_t characteristics = 0;
};

struct PeLayout {
    bool is64 = false;            // PE32+ (x86_64) rather than PE32 (i686)
    size_t coffOffset = 0;        // the COFF file header, right after "PE\0\0"
    size_t optionalOffset = 0;    // the optional header
    size_t directoryOffset = 0;   // data directory entry 0
    uint32_t directoryCount = 0;  // NumberOfRvaAndSizes
    uint32_t sectionAlignment = 0;
    uint32_t fileAlignment = 0;
    std::vector<PeSection> sections;
};

// Reads the headers; false with the reason when the bytes are not a PE image this editor understands.
bool ReadPeLayout(const std::vector<unsigned char>& image, PeLayout* layout, std::string* why);
// Data directory entry `index` (RVA and size); zeros when the image has fewer entries.
void PeDirectory(const std::vector<unsigned char>& image,
                 const PeLayout& layout,
                 uint32_t index,
                 uint32_t* rva,
                 uint32_t* size);

// Every leaf of the resource tree, in tree order. An image without resources gives none. False with the reason
// when the tree is damaged (an offset outside the section, a loop, a level deeper than three).
bool ReadResources(const std::vector<unsigned char>& image, std::vector<ResourceLeaf>* leaves, std::string* why);

// The section's bytes for these leaves, as if placed at sectionRva. Of two leaves with the same type, name and
// language the later is kept.
std::vector<unsigned char> BuildResourceSection(const std::vector<ResourceLeaf>& leaves, uint32_t sectionRva);

// A copy of the image whose resource section holds exactly these leaves. What follows the section in memory and
// in the file (mingw's .reloc and .gnu_debuglink, the COFF string table) moves with it; the section headers,
// SizeOfImage, SizeOfInitializedData, the resource and base-relocation directory entries, PointerToSymbolTable and
// the checksum are fixed up; every other byte stays as it was. False with the reason when the layout cannot be
// moved safely (a section that code may address lies after the resources, a certificate table).
bool ReplaceResources(const std::vector<unsigned char>& image,
                      const std::vector<ResourceLeaf>& leaves,
                      std::vector<unsigned char>* out,
                      std::string* why);

// The PE checksum of the image (the optional header's CheckSum field counted as zero), as the loader of a driver
// and the Authenticode tools compute it.
uint32_t PeChecksum(const std::vector<unsigned char>& image, size_t checksumOffset);
// File offset of the CheckSum field.
size_t PeChecksumOffset(const PeLayout& layout);
