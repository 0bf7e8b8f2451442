#include "tools/packtool/PeResources.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "package/PeHeaders.h"
#include "tools/packtool/ImageBytes.h"

namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kDataEntrySize = 16;

uint64_t AlignUp(uint64_t value, uint32_t alignment) {
    return alignment == 0 ? value : (value + alignment - 1) / alignment * alignment;
}
bool IsPowerOfTwo(uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

// The section that holds the resource directory: the one that starts at its RVA. -1 when there is none.
int ResourceSectionIndex(const std::vector<unsigned char>& image, const PeLayout& layout) {
    uint32_t rva, size;
    PeDirectory(image, layout, pe::kDirectoryResources, &rva, &size);
    if (rva == 0 || size == 0)
        return -1;
    for (size_t i = 0; i < layout.sections.size(); ++i) {
        if (layout.sections[i].virtualAddress == rva)
            return static_cast<int>(i);
    }
    return -1;
}

uint32_t SectionSpan(const PeSection& section) {
    return section.virtualSize != 0 ? section.virtualSize : section.rawSize;
}

// Walks one resource section. Offsets are relative to the section's start; `bytes` is the part of the section that
// the file holds.
class TreeReader {
  public:
    TreeReader(const std::vector<unsigned char>& bytes, uint32_t sectionRva) : bytes_(bytes), rva_(sectionRva) {}

    bool Read(std::vector<ResourceLeaf>* leaves, std::string* why) {
        ResourceLeaf path;
        return ReadDirectory(0, 0, &path, leaves, why);
    }

  private:
    bool ReadName(uint32_t offset, std::u16string* name, std::string* why) {
        if (!Has(bytes_, offset, 2)) {
            *why = "a resource name lies outside the resource section";
            return false;
        }
        uint16_t length = Get16(bytes_, offset);
        if (length == 0 || !Has(bytes_, offset + 2, 2u * length)) {
            *why = "a resource name lies outside the resource section";
            return false;
        }
        name->clear();
        for (uint16_t i = 0; i < length; ++i)
            name->push_back(static_cast<char16_t>(Get16(bytes_, offset + 2 + 2u * i)));
        return true;
    }

    bool ReadDirectory(uint32_t offset,
                       int level,
                       ResourceLeaf* path,
                       std::vector<ResourceLeaf>* leaves,
                       std::string* why) {
        if (level > 2) {
            *why = "the resource tree is deeper than type, name and language";
            return false;
        }
        if (!Has(bytes_, offset, kDirectoryHeaderSize)) {
            *why = "a resource directory lies outside the resource section";
            return false;
        }
        size_t count = static_cast<size_t>(Get16(bytes_, offset + 12)) + Get16(bytes_, offset + 14);
        if (!Has(bytes_, offset + kDirectoryHeaderSize, count * kDirectoryEntrySize)) {
            *why = "a resource directory lies outside the resource section";
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            size_t entry = offset + kDirectoryHeaderSize + i * kDirectoryEntrySize;
            uint32_t id = Get32(bytes_, entry);
            uint32_t target = Get32(bytes_, entry + 4);
            ResourceId resourceId;
            if (id & kHighBit) {
                if (!ReadName(id & ~kHighBit, &resourceId.name, why))
                    return false;
            } else {
                resourceId.number = static_cast<uint16_t>(id);
            }
            if (level == 0)
                path->type = resourceId;
            else if (level == 1)
                path->name = resourceId;
            else
                path->language = resourceId.number;

            if (target & kHighBit) {
                // Every level goes deeper into the section than the one before it in practice; a subdirectory at
                // or before its parent would let a damaged tree loop.
                uint32_t child = target & ~kHighBit;
                if (child <= offset) {
                    *why = "a resource directory points back at itself";
                    return false;
                }
                if (!ReadDirectory(child, level + 1, path, leaves, why))
                    return false;
            } else {
                if (level != 2) {
                    *why = "a resource lies above the language level";
                    return false;
                }
                if (!ReadData(target, *path, leaves, why))
                    return false;
            }
        }
        return true;
    }

    bool ReadData(uint32_t offset, const ResourceLeaf& path, std::vector<ResourceLeaf>* leaves, std::string* why) {
        if (!Has(bytes_, offset, kDataEntrySize)) {
            *why = "a resource data entry lies outside the resource section";
            return false;
        }
        uint32_t dataRva = Get32(bytes_, offset);
        uint32_t size = Get32(bytes_, offset + 4);
        if (dataRva < rva_ || !Has(bytes_, dataRva - rva_, size)) {
            *why = "a resource's bytes lie outside the resource section";
            return false;
        }
        ResourceLeaf leaf = path;
        leaf.codePage = Get32(bytes_, offset + 8);
        leaf.data.assign(bytes_.begin() + (dataRva - rva_), bytes_.begin() + (dataRva - rva_) + size);
        leaves->push_back(std::move(leaf));
        return true;
    }

    const std::vector<unsigned char>& bytes_;
    uint32_t rva_;
};

// Directory order: names first, sorted by their UTF-16 code units, then numbers in ascending order.
struct IdOrder {
    bool operator()(const ResourceId& a, const ResourceId& b) const {
        if (a.IsName() != b.IsName())
            return a.IsName();
        if (a.IsName())
            return a.name < b.name;
        return a.number < b.number;
    }
};

void PutDirectory(std::vector<unsigned char>& out, size_t offset, uint16_t named, uint16_t numbered) {
    // Characteristics, time stamp and version stay zero: no build time goes into the image.
    Put16(out, offset + 12, named);
    Put16(out, offset + 14, numbered);
}

}  // namespace

ResourceId NumberedResource(uint16_t number) {
    ResourceId id;
    id.number = number;
    return id;
}

ResourceId NamedResource(const std::string& ascii) {
    ResourceId id;
    for (char c : ascii)
        id.name.push_back(static_cast<char16_t>(static_cast<unsigned char>(c)));
    return id;
}

bool ReadPeLayout(const std::vector<unsigned char>& image, PeLayout* layout, std::string* why) {
    *layout = PeLayout();
    if (!Has(image, 0, pe::kDosHeaderSize) || Get16(image, 0) != pe::kDosMagic) {
        *why = "not a Windows program (no MZ header)";
        return false;
    }
    size_t signature = Get32(image, pe::kHeaderOffsetField);
    if (!Has(image, signature, pe::kSignatureSize + pe::kCoffHeaderSize) || Get32(image, signature) != pe::kSignature) {
        *why = "not a Windows program (no PE header)";
        return false;
    }
    layout->coffOffset = signature + pe::kSignatureSize;
    layout->optionalOffset = layout->coffOffset + pe::kCoffHeaderSize;
    size_t optionalSize = Get16(image, layout->coffOffset + pe::kCoffOptionalHeaderSize);
    if (!Has(image, layout->optionalOffset, optionalSize) || optionalSize < 2) {
        *why = "the PE optional header is truncated";
        return false;
    }
    uint16_t magic = Get16(image, layout->optionalOffset);
    const pe::OptionalHeaderShape* shape = pe::OptionalHeaderShapeOf(magic);
    if (!shape) {
        *why = "neither a PE32 nor a PE32+ image";
        return false;
    }
    layout->is64 = magic == pe::kMagic64;
    if (optionalSize < shape->directories) {
        *why = "the PE optional header is truncated";
        return false;
    }
    layout->directoryCount = Get32(image, layout->optionalOffset + shape->directoryCountField);
    layout->directoryOffset = layout->optionalOffset + shape->directories;
    if (layout->directoryCount > 16 ||
        shape->directories + pe::kDataDirectoryEntrySize * layout->directoryCount > optionalSize) {
        *why = "the PE data directory does not fit its header";
        return false;
    }
    layout->sectionAlignment = Get32(image, layout->optionalOffset + pe::kOptSectionAlignment);
    layout->fileAlignment = Get32(image, layout->optionalOffset + pe::kOptFileAlignment);
    // The file alignment is a power of two up to 64 KB; a larger one would make the rewritten image huge.
    if (!IsPowerOfTwo(layout->sectionAlignment) || !IsPowerOfTwo(layout->fileAlignment) ||
        layout->fileAlignment > 0x10000 || layout->fileAlignment > layout->sectionAlignment) {
        *why = "the PE alignments are not valid";
        return false;
    }
    size_t sectionCount = Get16(image, layout->coffOffset + pe::kCoffSectionCount);
    size_t table = layout->optionalOffset + optionalSize;
    if (!Has(image, table, sectionCount * pe::kSectionHeaderSize)) {
        *why = "the PE section table is truncated";
        return false;
    }
    for (size_t i = 0; i < sectionCount; ++i) {
        PeSection section;
        section.headerOffset = table + i * pe::kSectionHeaderSize;
        const unsigned char* name = &image[section.headerOffset];
        section.name.assign(reinterpret_cast<const char*>(name), std::find(name, name + 8, 0) - name);
        section.virtualSize = Get32(image, section.headerOffset + 8);
        section.virtualAddress = Get32(image, section.headerOffset + 12);
        section.rawSize = Get32(image, section.headerOffset + 16);
        section.rawOffset = Get32(image, section.headerOffset + 20);
        section.characteristics = Get32(image, section.headerOffset + 36);
        if (section.rawSize != 0 && !Has(image, section.rawOffset, section.rawSize)) {
            *why = "section " + section.name + " lies past the end of the file";
            return false;
        }
        layout->sections.push_back(section);
    }
    return true;
}

void PeDirectory(const std::vector<unsigned char>& image,
                 const PeLayout& layout,
                 uint32_t index,
                 uint32_t* rva,
                 uint32_t* size) {
    *rva = *size = 0;
    if (index >= layout.directoryCount)
        return;
    *rva = Get32(image, layout.directoryOffset + pe::kDataDirectoryEntrySize * index);
    *size = Get32(image, layout.directoryOffset + pe::kDataDirectoryEntrySize * index + 4);
}

bool ReadResources(const std::vector<unsigned char>& image, std::vector<ResourceLeaf>* leaves, std::string* why) {
    leaves->clear();
    PeLayout layout;
    if (!ReadPeLayout(image, &layout, why))
        return false;
    uint32_t rva, size;
    PeDirectory(image, layout, pe::kDirectoryResources, &rva, &size);
    if (rva == 0 && size == 0)
        return true;
    int index = ResourceSectionIndex(image, layout);
    if (index < 0) {
        *why = "the resource directory is not at the start of a section";
        return false;
    }
    const PeSection& section = layout.sections[index];
    uint32_t held = std::min(section.rawSize, SectionSpan(section));
    std::vector<unsigned char> bytes(image.begin() + section.rawOffset, image.begin() + section.rawOffset + held);
    return TreeReader(bytes, section.virtualAddress).Read(leaves, why);
}

std::vector<unsigned char> BuildResourceSection(const std::vector<ResourceLeaf>& leaves, uint32_t sectionRva) {
    // type -> name -> language -> leaf
    using Languages = std::map<uint16_t, const ResourceLeaf*>;
    using Names = std::map<ResourceId, Languages, IdOrder>;
    std::map<ResourceId, Names, IdOrder> tree;
    for (const ResourceLeaf& leaf : leaves)
        tree[leaf.type][leaf.name][leaf.language] = &leaf;

    // Layout: every directory, level by level; the data entries; the name strings; the resources' bytes, each on
    // an 8-byte boundary.
    size_t directories = kDirectoryHeaderSize + tree.size() * kDirectoryEntrySize;
    size_t leafCount = 0;
    size_t stringBytes = 0;
    for (const auto& type : tree) {
        directories += kDirectoryHeaderSize + type.second.size() * kDirectoryEntrySize;
        if (type.first.IsName())
            stringBytes += 2 + 2 * type.first.name.size();
        for (const auto& name : type.second) {
            directories += kDirectoryHeaderSize + name.second.size() * kDirectoryEntrySize;
            leafCount += name.second.size();
            if (name.first.IsName())
                stringBytes += 2 + 2 * name.first.name.size();
        }
    }
    size_t dataEntries = directories;
    size_t strings = dataEntries + leafCount * kDataEntrySize;
    size_t data = AlignUp(strings + stringBytes, 8);
    size_t total = data;
    for (const auto& type : tree)
        for (const auto& name : type.second)
            for (const auto& language : name.second)
                total = AlignUp(total + language.second->data.size(), 8);

    std::vector<unsigned char> out(total, 0);
    size_t nextDirectory = kDirectoryHeaderSize + tree.size() * kDirectoryEntrySize;
    size_t nextEntry = dataEntries;
    size_t nextString = strings;
    size_t nextData = data;
    auto putId = [&](size_t entry, const ResourceId& id) {
        if (!id.IsName()) {
            Put32(out, entry, id.number);
            return;
        }
        Put32(out, entry, static_cast<uint32_t>(nextString) | kHighBit);
        Put16(out, nextString, static_cast<uint16_t>(id.name.size()));
        for (size_t i = 0; i < id.name.size(); ++i)
            Put16(out, nextString + 2 + 2 * i, static_cast<uint16_t>(id.name[i]));
        nextString += 2 + 2 * id.name.size();
    };
    auto countNamed = [](const auto& map) {
        uint16_t named = 0;
        for (const auto& item : map)
            named += item.first.IsName() ? 1 : 0;
        return named;
    };

    // Level 1 (types) and the offsets of the level 2 tables, then level 2 and level 3 in the same order.
    uint16_t named = countNamed(tree);
    PutDirectory(out, 0, named, static_cast<uint16_t>(tree.size() - named));
    std::vector<size_t> nameTables;
    size_t entry = kDirectoryHeaderSize;
    for (const auto& type : tree) {
        putId(entry, type.first);
        Put32(out, entry + 4, static_cast<uint32_t>(nextDirectory) | kHighBit);
        nameTables.push_back(nextDirectory);
        nextDirectory += kDirectoryHeaderSize + type.second.size() * kDirectoryEntrySize;
        entry += kDirectoryEntrySize;
    }
    std::vector<const Languages*> languageMaps;
    std::vector<size_t> languageTables;
    size_t typeIndex = 0;
    for (const auto& type : tree) {
        size_t table = nameTables[typeIndex++];
        named = countNamed(type.second);
        PutDirectory(out, table, named, static_cast<uint16_t>(type.second.size() - named));
        entry = table + kDirectoryHeaderSize;
        for (const auto& name : type.second) {
            putId(entry, name.first);
            Put32(out, entry + 4, static_cast<uint32_t>(nextDirectory) | kHighBit);
            languageTables.push_back(nextDirectory);
            languageMaps.push_back(&name.second);
            nextDirectory += kDirectoryHeaderSize + name.second.size() * kDirectoryEntrySize;
            entry += kDirectoryEntrySize;
        }
    }
    for (size_t i = 0; i < languageTables.size(); ++i) {
        size_t table = languageTables[i];
        PutDirectory(out, table, 0, static_cast<uint16_t>(languageMaps[i]->size()));
        entry = table + kDirectoryHeaderSize;
        for (const auto& language : *languageMaps[i]) {
            const ResourceLeaf& leaf = *language.second;
            Put32(out, entry, language.first);
            Put32(out, entry + 4, static_cast<uint32_t>(nextEntry));
            Put32(out, nextEntry, static_cast<uint32_t>(sectionRva + nextData));
            Put32(out, nextEntry + 4, static_cast<uint32_t>(leaf.data.size()));
            Put32(out, nextEntry + 8, leaf.codePage);
            std::copy(leaf.data.begin(), leaf.data.end(), out.begin() + nextData);
            nextData = AlignUp(nextData + leaf.data.size(), 8);
            nextEntry += kDataEntrySize;
            entry += kDirectoryEntrySize;
        }
    }
    return out;
}

size_t PeChecksumOffset(const PeLayout& layout) {
    return layout.optionalOffset + pe::kOptCheckSum;
}

uint32_t PeChecksum(const std::vector<unsigned char>& image, size_t checksumOffset) {
    uint64_t sum = 0;
    size_t size = image.size();
    for (size_t i = 0; i + 1 < size; i += 2) {
        if (i >= checksumOffset && i < checksumOffset + 4)
            continue;
        sum += Get16(image, i);
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    if (size % 2 != 0) {
        sum += image[size - 1];
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint32_t>(sum + size);
}

bool ReplaceResources(const std::vector<unsigned char>& image,
                      const std::vector<ResourceLeaf>& leaves,
                      std::vector<unsigned char>* out,
                      std::string* why) {
    PeLayout layout;
    if (!ReadPeLayout(image, &layout, why))
        return false;
    uint32_t certificateOffset, certificateSize;
    PeDirectory(image, layout, pe::kDirectorySecurity, &certificateOffset, &certificateSize);
    if (certificateOffset != 0 || certificateSize != 0) {
        *why = "it carries a certificate table (a signature): its resources can only change before it is signed";
        return false;
    }
    int index = ResourceSectionIndex(image, layout);
    if (index < 0) {
        *why = "it has no resource section";
        return false;
    }
    const PeSection rsrc = layout.sections[index];
    // The new resources are written where the old ones start: never over the headers and the section table.
    const size_t headersEnd = layout.sections.back().headerOffset + pe::kSectionHeaderSize;
    if (rsrc.rawOffset < headersEnd) {
        *why = "section " + rsrc.name + " starts inside the headers";
        return false;
    }
    uint64_t oldEndVa = AlignUp(uint64_t(rsrc.virtualAddress) + SectionSpan(rsrc), layout.sectionAlignment);
    uint64_t oldEndRaw = uint64_t(rsrc.rawOffset) + rsrc.rawSize;

    // What lies after the resources must be movable: nothing in the code may address it. mingw's linker puts only
    // discardable sections there (.reloc, .gnu_debuglink), reached through the data directory or by name.
    std::vector<size_t> moved;
    for (size_t i = 0; i < layout.sections.size(); ++i) {
        const PeSection& section = layout.sections[i];
        if (static_cast<int>(i) == index)
            continue;
        bool after = section.virtualAddress > rsrc.virtualAddress;
        if (!after) {
            if (uint64_t(section.virtualAddress) + SectionSpan(section) > rsrc.virtualAddress ||
                (section.rawSize != 0 && uint64_t(section.rawOffset) + section.rawSize > rsrc.rawOffset)) {
                *why = "section " + section.name + " overlaps the resource section";
                return false;
            }
            continue;
        }
        if (section.virtualAddress < oldEndVa || (section.rawSize != 0 && section.rawOffset < oldEndRaw)) {
            *why = "section " + section.name + " overlaps the resource section";
            return false;
        }
        if (!(section.characteristics & pe::kScnDiscardable)) {
            *why = "section " + section.name + " follows the resources and may be addressed by the program's code";
            return false;
        }
        moved.push_back(i);
    }
    auto inMoved = [&](uint32_t rva) {
        for (size_t i : moved) {
            const PeSection& section = layout.sections[i];
            if (rva >= section.virtualAddress && rva < uint64_t(section.virtualAddress) + SectionSpan(section))
                return true;
        }
        return false;
    };
    for (uint32_t d = 0; d < layout.directoryCount; ++d) {
        uint32_t rva, size;
        PeDirectory(image, layout, d, &rva, &size);
        if (d == pe::kDirectoryResources || d == pe::kDirectoryRelocations || size == 0)
            continue;
        if (inMoved(rva)) {
            *why = "data directory entry " + std::to_string(d) + " lies in a section after the resources";
            return false;
        }
    }

    std::vector<unsigned char> section = BuildResourceSection(leaves, rsrc.virtualAddress);
    uint64_t newRaw = AlignUp(section.size(), layout.fileAlignment);
    uint64_t newEndVa = AlignUp(uint64_t(rsrc.virtualAddress) + section.size(), layout.sectionAlignment);
    if (newEndVa > 0xF0000000u || image.size() + newRaw > 0xF0000000u) {
        *why = "the resources would make the image too large";
        return false;
    }
    int64_t deltaRaw = static_cast<int64_t>(newRaw) - rsrc.rawSize;
    int64_t deltaVa = static_cast<int64_t>(newEndVa) - static_cast<int64_t>(oldEndVa);

    out->clear();
    out->reserve(image.size() + (deltaRaw > 0 ? deltaRaw : 0));
    out->insert(out->end(), image.begin(), image.begin() + rsrc.rawOffset);
    out->insert(out->end(), section.begin(), section.end());
    out->resize(rsrc.rawOffset + newRaw, 0);
    out->insert(out->end(), image.begin() + oldEndRaw, image.end());

    Put32(*out, rsrc.headerOffset + 8, static_cast<uint32_t>(section.size()));
    Put32(*out, rsrc.headerOffset + 16, static_cast<uint32_t>(newRaw));
    for (size_t i : moved) {
        const PeSection& s = layout.sections[i];
        Put32(*out, s.headerOffset + 12, static_cast<uint32_t>(s.virtualAddress + deltaVa));
        if (s.rawSize != 0)
            Put32(*out, s.headerOffset + 20, static_cast<uint32_t>(s.rawOffset + deltaRaw));
    }
    uint32_t symbols = Get32(image, layout.coffOffset + pe::kCoffSymbolTable);
    if (symbols != 0 && symbols >= oldEndRaw)
        Put32(*out, layout.coffOffset + pe::kCoffSymbolTable, static_cast<uint32_t>(symbols + deltaRaw));

    Put32(*out, layout.directoryOffset + pe::kDataDirectoryEntrySize * pe::kDirectoryResources + 4,
          static_cast<uint32_t>(section.size()));
    uint32_t relocRva, relocSize;
    PeDirectory(image, layout, pe::kDirectoryRelocations, &relocRva, &relocSize);
    if (relocSize != 0 && inMoved(relocRva))
        Put32(*out, layout.directoryOffset + pe::kDataDirectoryEntrySize * pe::kDirectoryRelocations,
              static_cast<uint32_t>(relocRva + deltaVa));

    size_t imageSize = layout.optionalOffset + pe::kOptSizeOfImage;
    Put32(*out, imageSize, static_cast<uint32_t>(Get32(image, imageSize) + deltaVa));
    if (rsrc.characteristics & pe::kScnInitializedData) {
        size_t initialized = layout.optionalOffset + pe::kOptSizeOfInitializedData;
        Put32(*out, initialized, static_cast<uint32_t>(Get32(image, initialized) + deltaRaw));
    }
    size_t checksum = PeChecksumOffset(layout);
    Put32(*out, checksum, PeChecksum(*out, checksum));
    return true;
}
