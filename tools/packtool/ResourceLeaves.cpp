#include "tools/packtool/ResourceLeaves.h"

#include <algorithm>

namespace {

char16_t UpperAscii(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - u'a' + u'A') : c;
}

}  // namespace

bool SameResourceId(const ResourceId& a, const ResourceId& b) {
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

bool LeafIs(const ResourceLeaf& leaf, uint16_t type, const ResourceId& name) {
    return !leaf.type.IsName() && leaf.type.number == type && SameResourceId(leaf.name, name);
}

uint16_t RemoveLeaves(std::vector<ResourceLeaf>* leaves, uint16_t type, const ResourceId& name, uint16_t fallback) {
    uint16_t language = fallback;
    bool found = false;
    for (const ResourceLeaf& leaf : *leaves) {
        if (!found && LeafIs(leaf, type, name)) {
            language = leaf.language;
            found = true;
        }
    }
    leaves->erase(std::remove_if(leaves->begin(), leaves->end(),
                                 [&](const ResourceLeaf& leaf) { return LeafIs(leaf, type, name); }),
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
