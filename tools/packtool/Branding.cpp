#include "tools/packtool/Branding.h"

#include <algorithm>
#include <set>

namespace {

uint16_t Get16(const std::vector<unsigned char>& bytes, size_t offset) {
    return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}
uint32_t Get32(const std::vector<unsigned char>& bytes, size_t offset) {
    return static_cast<uint32_t>(bytes[offset]) | static_cast<uint32_t>(bytes[offset + 1]) << 8 |
           static_cast<uint32_t>(bytes[offset + 2]) << 16 | static_cast<uint32_t>(bytes[offset + 3]) << 24;
}
void Put16(std::vector<unsigned char>& bytes, size_t offset, uint16_t value) {
    bytes[offset] = static_cast<unsigned char>(value);
    bytes[offset + 1] = static_cast<unsigned char>(value >> 8);
}
void Put32(std::vector<unsigned char>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
}
void Append16(std::vector<unsigned char>& bytes, uint16_t value) {
    bytes.push_back(static_cast<unsigned char>(value));
    bytes.push_back(static_cast<unsigned char>(value >> 8));
}
void Append32(std::vector<unsigned char>& bytes, uint32_t value) {
    Append16(bytes, static_cast<uint16_t>(value));
    Append16(bytes, static_cast<uint16_t>(value >> 16));
}
bool Has(const std::vector<unsigned char>& bytes, size_t offset, size_t count) {
    return offset <= bytes.size() && count <= bytes.size() - offset;
}
size_t Align4(size_t value) {
    return (value + 3) & ~size_t(3);
}

// --- BMP ---------------------------------------------------------------------------------------------------------
// File header (14 bytes): "BM", file size, two reserved words, offset of the pixels from the start of the file.
// Info header: its size (40 for BITMAPINFOHEADER, 108 and 124 for V4 and V5), width, height (negative: top-down),
// planes, bits per pixel, compression, image size, two resolutions, colours used, colours important.
constexpr size_t kBmpFileHeader = 14;
constexpr size_t kBmpInfoHeader = 40;

// --- VS_VERSIONINFO ----------------------------------------------------------------------------------------------
// Every node: length (of the node, without the padding after it), value length (in UTF-16 units for a text value,
// type 1; in bytes for a binary one, type 0), type, the key as NUL-terminated UTF-16, padding to 4 bytes, the
// value, then the children, each on a 4-byte boundary. The root's value is VS_FIXEDFILEINFO.
constexpr uint32_t kFixedSignature = 0xFEEF04BDu;
constexpr size_t kFixedInfoSize = 52;
constexpr size_t kFixedFileVersion = 8;
constexpr size_t kFixedProductVersion = 16;
constexpr int kVersionDepth = 4;  // root, StringFileInfo, table, string

struct VersionNode {
    std::u16string key;
    uint16_t type = 0;
    std::vector<unsigned char> value;
    std::vector<VersionNode> children;
};

bool ParseVersionNode(const std::vector<unsigned char>& bytes,
                      size_t offset,
                      size_t limit,
                      int depth,
                      VersionNode* node,
                      size_t* length,
                      std::string* why) {
    *why = "its version resource is damaged";
    if (depth > kVersionDepth || offset + 6 > limit)
        return false;
    *length = Get16(bytes, offset);
    if (*length < 6 || offset + *length > limit)
        return false;
    size_t end = offset + *length;
    uint16_t valueLength = Get16(bytes, offset + 2);
    node->type = Get16(bytes, offset + 4);
    size_t at = offset + 6;
    for (;;) {
        if (at + 2 > end)
            return false;
        uint16_t unit = Get16(bytes, at);
        at += 2;
        if (unit == 0)
            break;
        node->key.push_back(static_cast<char16_t>(unit));
    }
    at = Align4(at);
    size_t valueBytes = node->type == 1 ? 2u * valueLength : valueLength;
    if (valueBytes > 0) {
        if (at + valueBytes > end)
            return false;
        node->value.assign(bytes.begin() + at, bytes.begin() + at + valueBytes);
        at += valueBytes;
    }
    for (at = Align4(at); at < end; at = Align4(at)) {
        VersionNode child;
        size_t childLength;
        if (!ParseVersionNode(bytes, at, end, depth + 1, &child, &childLength, why))
            return false;
        node->children.push_back(std::move(child));
        at += childLength;
    }
    return true;
}

void WriteVersionNode(const VersionNode& node, std::vector<unsigned char>* out) {
    size_t start = out->size();
    out->resize(start + 6, 0);
    for (char16_t unit : node.key)
        Append16(*out, static_cast<uint16_t>(unit));
    Append16(*out, 0);
    out->resize(Align4(out->size()), 0);
    out->insert(out->end(), node.value.begin(), node.value.end());
    for (const VersionNode& child : node.children) {
        out->resize(Align4(out->size()), 0);
        WriteVersionNode(child, out);
    }
    size_t valueLength = node.type == 1 ? node.value.size() / 2 : node.value.size();
    Put16(*out, start, static_cast<uint16_t>(out->size() - start));
    Put16(*out, start + 2, static_cast<uint16_t>(valueLength));
    Put16(*out, start + 4, node.type);
}

std::u16string Ascii16(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// --- resources -----------------------------------------------------------------------------------------------------
char16_t UpperAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

// Resource names match without regard to ASCII case, as the loader matches them.
bool SameId(const ResourceId& a, const ResourceId& b) {
    if (a.IsName() != b.IsName())
        return false;
    if (!a.IsName())
        return a.number == b.number;
    if (a.name.size() != b.name.size())
        return false;
    for (size_t i = 0; i < a.name.size(); ++i) {
        if (UpperAscii(a.name[i]) != UpperAscii(b.name[i]))
            return false;
    }
    return true;
}

bool Is(const ResourceLeaf& leaf, uint16_t type, const ResourceId& name) {
    return !leaf.type.IsName() && leaf.type.number == type && SameId(leaf.name, name);
}

uint16_t DefaultLanguage(const std::vector<ResourceLeaf>& leaves) {
    for (const ResourceLeaf& leaf : leaves) {
        if (Is(leaf, kTypeBitmap, NamedResource("WINDOW1.BMP")))
            return leaf.language;
    }
    return leaves.empty() ? 0x0804 : leaves.front().language;  // LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED
}

// Removes every leaf of this type and name; returns the language of the first one (or the fallback).
uint16_t RemoveLeaves(std::vector<ResourceLeaf>* leaves, uint16_t type, const ResourceId& name, uint16_t fallback) {
    uint16_t language = fallback;
    bool found = false;
    for (const ResourceLeaf& leaf : *leaves) {
        if (!found && Is(leaf, type, name)) {
            language = leaf.language;
            found = true;
        }
    }
    leaves->erase(
        std::remove_if(leaves->begin(), leaves->end(), [&](const ResourceLeaf& leaf) { return Is(leaf, type, name); }),
        leaves->end());
    return language;
}

void AddLeaf(std::vector<ResourceLeaf>* leaves,
             uint16_t type,
             const ResourceId& name,
             uint16_t language,
             std::vector<unsigned char> data) {
    ResourceLeaf leaf;
    leaf.type = NumberedResource(type);
    leaf.name = name;
    leaf.language = language;
    leaf.data = std::move(data);
    leaves->push_back(std::move(leaf));
}

// The image numbers that the groups of this type name (each group entry is 14 bytes after a 6-byte header, its
// last word the image's number).
std::set<uint16_t> GroupMembers(const std::vector<ResourceLeaf>& leaves, uint16_t groupType, const ResourceId* only) {
    std::set<uint16_t> members;
    for (const ResourceLeaf& leaf : leaves) {
        if (leaf.type.IsName() || leaf.type.number != groupType || (only && !SameId(leaf.name, *only)))
            continue;
        if (!Has(leaf.data, 0, 6))
            continue;
        size_t count = Get16(leaf.data, 4);
        for (size_t i = 0; i < count && Has(leaf.data, 6 + 14 * i, 14); ++i)
            members.insert(Get16(leaf.data, 6 + 14 * i + 12));
    }
    return members;
}

// Replaces the group and its images: the old group's images go unless another group shares them; the new images
// take the lowest free numbers from 1, as windres numbers them.
void ReplaceGroup(std::vector<ResourceLeaf>* leaves,
                  bool cursor,
                  uint16_t group,
                  const std::vector<IconImage>& images,
                  uint16_t fallbackLanguage) {
    uint16_t groupType = cursor ? kTypeGroupCursor : kTypeGroupIcon;
    uint16_t imageType = cursor ? kTypeCursor : kTypeIcon;
    ResourceId groupId = NumberedResource(group);
    std::set<uint16_t> old = GroupMembers(*leaves, groupType, &groupId);
    uint16_t language = RemoveLeaves(leaves, groupType, groupId, fallbackLanguage);
    std::set<uint16_t> kept = GroupMembers(*leaves, groupType, nullptr);
    for (uint16_t number : old) {
        if (!kept.count(number))
            RemoveLeaves(leaves, imageType, NumberedResource(number), language);
    }
    std::set<uint16_t> used;
    for (const ResourceLeaf& leaf : *leaves) {
        if (!leaf.type.IsName() && leaf.type.number == imageType && !leaf.name.IsName())
            used.insert(leaf.name.number);
    }

    std::vector<unsigned char> directory;
    Append16(directory, 0);
    Append16(directory, cursor ? 2 : 1);
    Append16(directory, static_cast<uint16_t>(images.size()));
    uint16_t next = 1;
    for (const IconImage& image : images) {
        while (used.count(next))
            ++next;
        used.insert(next);
        std::vector<unsigned char> data;
        if (cursor) {
            // A cursor image starts with its hot spot; its group entry holds the width, twice the height (the
            // XOR and AND masks), one plane, one bit per pixel and the size with the hot spot.
            Append16(data, image.a);
            Append16(data, image.b);
            Append16(directory, image.width);
            Append16(directory, static_cast<uint16_t>(image.height * 2));
            Append16(directory, 1);
            Append16(directory, 1);
        } else {
            directory.push_back(image.width);
            directory.push_back(image.height);
            directory.push_back(image.colours);
            directory.push_back(image.reserved);
            Append16(directory, image.a);
            Append16(directory, image.b);
        }
        data.insert(data.end(), image.data.begin(), image.data.end());
        Append32(directory, static_cast<uint32_t>(data.size()));
        Append16(directory, next);
        AddLeaf(leaves, imageType, NumberedResource(next), language, std::move(data));
    }
    AddLeaf(leaves, groupType, groupId, language, std::move(directory));
}

}  // namespace

const char* const kBrandVersionNames[6] = {"ProductName",     "ProductVersion", "FileVersion",
                                           "FileDescription", "CompanyName",    "LegalCopyright"};

bool IsBrandVersionName(const std::string& name) {
    for (const char* known : kBrandVersionNames) {
        if (name == known)
            return true;
    }
    return false;
}

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
    if (Get32(file, 10) != pixels) {
        *why = "its pixels do not follow its header (pixel offset " + std::to_string(Get32(file, 10)) + ", expected " +
               std::to_string(pixels) + ")";
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

bool ReadIconFile(const std::vector<unsigned char>& file,
                  bool cursor,
                  std::vector<IconImage>* images,
                  std::string* why) {
    // Header: reserved 0, type (1 icon, 2 cursor), count; then 16-byte entries: width, height, colours, reserved,
    // two words (planes and bits, or the hot spot), the image's size and its offset in the file.
    images->clear();
    const char* kind = cursor ? "cursor" : "icon";
    if (!Has(file, 0, 6) || Get16(file, 0) != 0 || Get16(file, 2) != (cursor ? 2 : 1)) {
        *why = cursor ? "not a cursor (.cur) file" : "not an icon (.ico) file";
        return false;
    }
    size_t count = Get16(file, 4);
    if (count == 0) {
        *why = std::string("the ") + kind + " file holds no image";
        return false;
    }
    if (cursor && count != 1) {
        *why = "the cursor file holds " + std::to_string(count) + " images; the program's cursor is one";
        return false;
    }
    if (!Has(file, 6, 16 * count)) {
        *why = "truncated: the file ends inside its directory";
        return false;
    }
    for (size_t i = 0; i < count; ++i) {
        size_t entry = 6 + 16 * i;
        IconImage image;
        image.width = file[entry];
        image.height = file[entry + 1];
        image.colours = file[entry + 2];
        image.reserved = file[entry + 3];
        image.a = Get16(file, entry + 4);
        image.b = Get16(file, entry + 6);
        uint32_t size = Get32(file, entry + 8);
        uint32_t offset = Get32(file, entry + 12);
        if (size == 0 || !Has(file, offset, size)) {
            *why = "truncated: image " + std::to_string(i + 1) + " lies past the end of the file";
            return false;
        }
        image.data.assign(file.begin() + offset, file.begin() + offset + size);
        images->push_back(std::move(image));
    }
    return true;
}

bool Utf8ToUtf16(const std::string& utf8, std::u16string* utf16) {
    utf16->clear();
    for (size_t i = 0; i < utf8.size();) {
        unsigned char lead = static_cast<unsigned char>(utf8[i]);
        uint32_t code;
        size_t extra;
        uint32_t minimum;
        if (lead < 0x80) {
            code = lead, extra = 0, minimum = 0;
        } else if ((lead & 0xE0) == 0xC0) {
            code = lead & 0x1F, extra = 1, minimum = 0x80;
        } else if ((lead & 0xF0) == 0xE0) {
            code = lead & 0x0F, extra = 2, minimum = 0x800;
        } else if ((lead & 0xF8) == 0xF0) {
            code = lead & 0x07, extra = 3, minimum = 0x10000;
        } else {
            return false;
        }
        if (extra > utf8.size() - i - 1)
            return false;
        for (size_t k = 1; k <= extra; ++k) {
            unsigned char next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            code = code << 6 | (next & 0x3F);
        }
        if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        if (code >= 0x10000) {
            code -= 0x10000;
            utf16->push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
            utf16->push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
        } else {
            utf16->push_back(static_cast<char16_t>(code));
        }
        i += extra + 1;
    }
    return true;
}

bool ParseFixedVersion(const std::string& text, uint32_t* high, uint32_t* low) {
    uint32_t parts[4] = {};
    size_t part = 0;
    size_t digits = 0;
    for (char c : text) {
        if (c == '.') {
            if (digits == 0 || ++part == 4)
                return false;
            digits = 0;
        } else if (c >= '0' && c <= '9') {
            parts[part] = parts[part] * 10 + static_cast<uint32_t>(c - '0');
            if (++digits > 5 || parts[part] > 0xFFFF)
                return false;
        } else {
            return false;
        }
    }
    if (part != 3 || digits == 0)
        return false;
    *high = parts[0] << 16 | parts[1];
    *low = parts[2] << 16 | parts[3];
    return true;
}

bool SetVersionStrings(std::vector<unsigned char>* resource,
                       const std::vector<std::pair<std::string, std::u16string>>& strings,
                       std::string* why) {
    VersionNode root;
    size_t length;
    if (!ParseVersionNode(*resource, 0, resource->size(), 1, &root, &length, why))
        return false;
    if (root.key != u"VS_VERSION_INFO" || root.value.size() < kFixedInfoSize ||
        Get32(root.value, 0) != kFixedSignature) {
        *why = "its version resource is damaged";
        return false;
    }
    size_t tables = 0;
    for (VersionNode& block : root.children) {
        if (block.key != u"StringFileInfo")
            continue;
        for (VersionNode& table : block.children) {
            ++tables;
            for (const auto& item : strings) {
                std::u16string key = Ascii16(item.first);
                std::vector<unsigned char> value;
                for (char16_t unit : item.second)
                    Append16(value, static_cast<uint16_t>(unit));
                Append16(value, 0);
                auto found = std::find_if(table.children.begin(), table.children.end(),
                                          [&](const VersionNode& node) { return node.key == key; });
                if (found == table.children.end()) {
                    table.children.emplace_back();
                    found = table.children.end() - 1;
                    found->key = key;
                }
                found->type = 1;
                found->value = value;
            }
        }
    }
    if (tables == 0 && !strings.empty()) {
        *why = "its version resource has no string table";
        return false;
    }
    for (const auto& item : strings) {
        std::string narrow;
        for (char16_t unit : item.second)
            narrow.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
        uint32_t high, low;
        if (!ParseFixedVersion(narrow, &high, &low))
            continue;
        size_t at = item.first == "FileVersion"      ? kFixedFileVersion
                    : item.first == "ProductVersion" ? kFixedProductVersion
                                                     : 0;
        if (at != 0) {
            Put32(root.value, at, high);
            Put32(root.value, at + 4, low);
        }
    }
    resource->clear();
    WriteVersionNode(root, resource);
    return true;
}

bool ApplyBrand(const BrandRequest& request, std::vector<ResourceLeaf>* leaves, std::string* why) {
    uint16_t fallback = DefaultLanguage(*leaves);
    const char* names[2] = {"WINDOW1.BMP", "WINDOW2.BMP"};
    const std::vector<unsigned char>* pictures[2] = {&request.normal, &request.hot};
    for (int i = 0; i < 2; ++i) {
        ResourceId name = NamedResource(names[i]);
        uint16_t language = RemoveLeaves(leaves, kTypeBitmap, name, fallback);
        // A bitmap resource is the BMP file without its 14-byte file header.
        AddLeaf(leaves, kTypeBitmap, name, language,
                std::vector<unsigned char>(pictures[i]->begin() + kBmpFileHeader, pictures[i]->end()));
    }
    if (request.withIcon)
        ReplaceGroup(leaves, false, kBrandIconGroup, request.icon, fallback);
    if (request.withCursor)
        ReplaceGroup(leaves, true, kBrandCursorGroup, request.cursor, fallback);
    if (request.strings.empty())
        return true;
    size_t versions = 0;
    for (ResourceLeaf& leaf : *leaves) {
        if (leaf.type.IsName() || leaf.type.number != kTypeVersion)
            continue;
        ++versions;
        if (!SetVersionStrings(&leaf.data, request.strings, why))
            return false;
    }
    if (versions == 0) {
        *why = "it has no version resource to set the texts in";
        return false;
    }
    return true;
}
