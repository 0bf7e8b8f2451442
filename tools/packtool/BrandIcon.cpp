#include "tools/packtool/Branding.h"

#include <set>

#include "tools/packtool/ImageBytes.h"
#include "tools/packtool/ResourceLeaves.h"

// The icon and the cursor: .ico and .cur files read, and their images put into the program as a group resource
// (RT_GROUP_ICON, RT_GROUP_CURSOR) and one resource an image (RT_ICON, RT_CURSOR).

namespace {

// A group resource: a 6-byte header (reserved, type, count), then an entry of 14 bytes an image, its last word the
// number of the image's resource.
constexpr size_t kGroupHeaderSize = 6;
constexpr size_t kGroupCount = 4;
constexpr size_t kGroupEntrySize = 14;
constexpr size_t kGroupEntryImage = 12;

// The image numbers that the groups of this type name.
std::set<uint16_t> GroupMembers(const std::vector<ResourceLeaf>& leaves, uint16_t groupType, const ResourceId* only) {
    std::set<uint16_t> members;
    for (const ResourceLeaf& leaf : leaves) {
        if (leaf.type.IsName() || leaf.type.number != groupType || (only && !SameResourceId(leaf.name, *only)))
            continue;
        if (!Has(leaf.data, 0, kGroupHeaderSize))
            continue;
        size_t count = Get16(leaf.data, kGroupCount);
        for (size_t i = 0; i < count; ++i) {
            const size_t entry = kGroupHeaderSize + kGroupEntrySize * i;
            if (!Has(leaf.data, entry, kGroupEntrySize))
                break;
            members.insert(Get16(leaf.data, entry + kGroupEntryImage));
        }
    }
    return members;
}

}  // namespace

void ReplaceIconGroup(std::vector<ResourceLeaf>* leaves,
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
    AppendLe16(directory, 0);
    AppendLe16(directory, cursor ? 2 : 1);
    AppendLe16(directory, static_cast<uint16_t>(images.size()));
    uint16_t next = 1;
    for (const IconImage& image : images) {
        while (used.count(next))
            ++next;
        used.insert(next);
        std::vector<unsigned char> data;
        if (cursor) {
            // A cursor image starts with its hot spot; its group entry holds the width, twice the height (the
            // XOR and AND masks), one plane, one bit per pixel and the size with the hot spot.
            AppendLe16(data, image.a);
            AppendLe16(data, image.b);
            AppendLe16(directory, image.width);
            AppendLe16(directory, static_cast<uint16_t>(image.height * 2));
            AppendLe16(directory, 1);
            AppendLe16(directory, 1);
        } else {
            directory.push_back(image.width);
            directory.push_back(image.height);
            directory.push_back(image.colours);
            directory.push_back(image.reserved);
            AppendLe16(directory, image.a);
            AppendLe16(directory, image.b);
        }
        data.insert(data.end(), image.data.begin(), image.data.end());
        AppendLe32(directory, static_cast<uint32_t>(data.size()));
        AppendLe16(directory, next);
        AddLeaf(leaves, imageType, NumberedResource(next), language, std::move(data));
    }
    AddLeaf(leaves, groupType, groupId, language, std::move(directory));
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
