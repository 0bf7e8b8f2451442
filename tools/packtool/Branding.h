#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/packtool/PeResources.h"

// What "packtool brand" puts into a program image: a pack maintainer's skin pictures, icon, cursor and version
// texts in place of ours. Everything here works on bytes; the command reads and writes the files. One file a
// format: BrandBitmap.cpp (BMP), BrandIcon.cpp (ICO and CUR), BrandVersion.cpp (VS_VERSIONINFO); Branding.cpp
// puts them together (ApplyBrand).

constexpr uint16_t kBrandIconGroup = 106;    // the program's icon (resources/resource.h: IDI_APP)
constexpr uint16_t kBrandCursorGroup = 102;  // the hand over the skin controls (IDR_HAND_CURSOR)
constexpr int32_t kMaxSkinSide = 2048;

// A skin picture as the window loads it: a BMP file with a BITMAPINFOHEADER (or its V4/V5 successors), one plane,
// 24 bits per pixel, uncompressed, rows bottom-up, 1 to 2048 pixels each way, its pixels right after its header
// and colour table and all of them in the file. False with the reason otherwise.
bool CheckSkinPicture(const std::vector<unsigned char>& file, int32_t* width, int32_t* height, std::string* why);
// The bitmap resource of a checked skin picture: the file without its 14-byte file header.
std::vector<unsigned char> SkinBitmapResource(const std::vector<unsigned char>& file);

// One image of an .ico or .cur file. For an icon `a` and `b` are the planes and bits per pixel of its directory
// entry; for a cursor they are its hot spot's column and row.
struct IconImage {
    uint8_t width = 0;
    uint8_t height = 0;
    uint8_t colours = 0;
    uint8_t reserved = 0;
    uint16_t a = 0;
    uint16_t b = 0;
    std::vector<unsigned char> data;
};

// Reads an icon (cursor false, file type 1) or cursor (type 2) file; false with the reason when it is not one
// or is cut short.
bool ReadIconFile(const std::vector<unsigned char>& file,
                  bool cursor,
                  std::vector<IconImage>* images,
                  std::string* why);

// Replaces the icon (cursor false) or cursor group `group` and its images: the old group's images go unless another
// group shares them; the new images take the lowest free numbers from 1, as windres numbers them. The group keeps
// its language; a new one takes fallbackLanguage.
void ReplaceIconGroup(std::vector<ResourceLeaf>* leaves,
                      bool cursor,
                      uint16_t group,
                      const std::vector<IconImage>& images,
                      uint16_t fallbackLanguage);

// The version texts that --set may change.
bool IsBrandVersionName(const std::string& name);
extern const char* const kBrandVersionNames[6];

// UTF-8 to UTF-16; false when the bytes are not well-formed UTF-8.
bool Utf8ToUtf16(const std::string& utf8, std::u16string* utf16);

// "a.b.c.d" with four decimal numbers from 0 to 65535: the fixed version's two 32-bit halves.
bool ParseFixedVersion(const std::string& text, uint32_t* high, uint32_t* low);

// Sets the strings of every string table of a VS_VERSIONINFO resource (replacing a string of the same name, or
// adding it at the table's end), and the fixed file or product version when a FileVersion or ProductVersion of
// the form a.b.c.d is among them. False with the reason when the resource is damaged.
bool SetVersionStrings(std::vector<unsigned char>* resource,
                       const std::vector<std::pair<std::string, std::u16string>>& strings,
                       std::string* why);

struct BrandRequest {
    std::vector<unsigned char> normal;  // checked BMP files
    std::vector<unsigned char> hot;
    bool withIcon = false;
    std::vector<IconImage> icon;
    bool withCursor = false;
    std::vector<IconImage> cursor;
    std::vector<std::pair<std::string, std::u16string>> strings;  // names checked by IsBrandVersionName
};

// Puts the request into the resource leaves: the two skin bitmaps, the icon group with its images, the cursor
// group with its image (laid out as windres lays out a .cur) and the version texts. A replaced resource keeps its
// language; a new one takes the skin picture's. False with the reason when the version texts cannot be set.
bool ApplyBrand(const BrandRequest& request, std::vector<ResourceLeaf>* leaves, std::string* why);
