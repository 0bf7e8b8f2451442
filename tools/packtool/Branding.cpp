#include "tools/packtool/Branding.h"

#include "tools/packtool/ResourceLeaves.h"

// ApplyBrand: the pictures (BrandBitmap.cpp), the icon and cursor (BrandIcon.cpp) and the version texts
// (BrandVersion.cpp) put into the resource leaves.

namespace {

uint16_t DefaultLanguage(const std::vector<ResourceLeaf>& leaves) {
    for (const ResourceLeaf& leaf : leaves) {
        if (LeafIs(leaf, kTypeBitmap, NamedResource("WINDOW1.BMP")))
            return leaf.language;
    }
    return leaves.empty() ? 0x0804 : leaves.front().language;  // LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED
}

}  // namespace

bool ApplyBrand(const BrandRequest& request, std::vector<ResourceLeaf>* leaves, std::string* why) {
    uint16_t fallback = DefaultLanguage(*leaves);
    const char* names[2] = {"WINDOW1.BMP", "WINDOW2.BMP"};
    const std::vector<unsigned char>* pictures[2] = {&request.normal, &request.hot};
    for (int i = 0; i < 2; ++i) {
        ResourceId name = NamedResource(names[i]);
        uint16_t language = RemoveLeaves(leaves, kTypeBitmap, name, fallback);
        AddLeaf(leaves, kTypeBitmap, name, language, SkinBitmapResource(*pictures[i]));
    }
    if (request.withIcon)
        ReplaceIconGroup(leaves, false, kBrandIconGroup, request.icon, fallback);
    if (request.withCursor)
        ReplaceIconGroup(leaves, true, kBrandCursorGroup, request.cursor, fallback);
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
