#include "tools/packtool/PeResources.h"

#include <algorithm>
#include <map>
#include <tuple>

#include "package/PeHeaders.h"
#include "tools/packtool/ImageBytes.h"

namespace {

// The fields of the resource tree (PeResources.h describes it). Offsets within a directory, an entry or a data
// entry; an offset with kHighBit set names a string or a subdirectory.
constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kDirectoryNamedCount = 12;
constexpr size_t kDirectoryNumberedCount = 14;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kEntryId = 0;
constexpr size_t kEntryTarget = 4;
constexpr size_t kDataEntrySize = 16;
constexpr size_t kDataRva = 0;
constexpr size_t kDataSize = 4;
constexpr size_t kDataCodePage = 8;

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
        size_t count = static_cast<size_t>(Get16(bytes_, offset + kDirectoryNamedCount)) +
                       Get16(bytes_, offset + kDirectoryNumberedCount);
        if (!Has(bytes_, offset + kDirectoryHeaderSize, count * kDirectoryEntrySize)) {
            *why = "a resource directory lies outside the resource section";
            return false;
        }
        for (size_t i = 0; i < count; ++i) {
            size_t entry = offset + kDirectoryHeaderSize + i * kDirectoryEntrySize;
            uint32_t id = Get32(bytes_, entry + kEntryId);
            uint32_t target = Get32(bytes_, entry + kEntryTarget);
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
        uint32_t dataRva = Get32(bytes_, offset + kDataRva);
        uint32_t size = Get32(bytes_, offset + kDataSize);
        if (dataRva < rva_ || !Has(bytes_, dataRva - rva_, size)) {
            *why = "a resource's bytes lie outside the resource section";
            return false;
        }
        ResourceLeaf leaf = path;
        leaf.codePage = Get32(bytes_, offset + kDataCodePage);
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

// The tree to write: type -> name -> language -> leaf.
using LanguageLevel = std::map<uint16_t, const ResourceLeaf*>;
using NameLevel = std::map<ResourceId, LanguageLevel, IdOrder>;
using TypeLevel = std::map<ResourceId, NameLevel, IdOrder>;

TypeLevel GroupLeaves(const std::vector<ResourceLeaf>& leaves) {
    TypeLevel tree;
    for (const ResourceLeaf& leaf : leaves)
        tree[leaf.type][leaf.name][leaf.language] = &leaf;  // a later duplicate replaces the earlier
    return tree;
}

size_t DirectorySize(size_t entries) {
    return kDirectoryHeaderSize + entries * kDirectoryEntrySize;
}
size_t NameStringSize(const ResourceId& id) {
    return id.IsName() ? 2 + 2 * id.name.size() : 0;  // length word, then the UTF-16 units
}

// Where the parts of a new section start: every directory, level by level, from 0; the data entries; the name
// strings; the resources' bytes, each on an 8-byte boundary; and the section's size.
struct SectionPlan {
    size_t dataEntries = 0;
    size_t strings = 0;
    size_t data = 0;
    size_t total = 0;
};

SectionPlan PlanSection(const TypeLevel& tree) {
    size_t directories = DirectorySize(tree.size());
    size_t leafCount = 0;
    size_t stringBytes = 0;
    for (const auto& type : tree) {
        directories += DirectorySize(type.second.size());
        stringBytes += NameStringSize(type.first);
        for (const auto& name : type.second) {
            directories += DirectorySize(name.second.size());
            leafCount += name.second.size();
            stringBytes += NameStringSize(name.first);
        }
    }
    SectionPlan plan;
    plan.dataEntries = directories;
    plan.strings = plan.dataEntries + leafCount * kDataEntrySize;
    plan.data = AlignUp(plan.strings + stringBytes, 8);
    plan.total = plan.data;
    for (const auto& type : tree)
        for (const auto& name : type.second)
            for (const auto& language : name.second)
                plan.total = AlignUp(plan.total + language.second->data.size(), 8);
    return plan;
}

// Fills a section laid out by PlanSection: the types' directory at 0, then the names' directories in type order,
// then the languages' directories in the same order, each data entry and name string in the order written.
class SectionWriter {
  public:
    SectionWriter(const SectionPlan& plan, uint32_t sectionRva)
        : out_(plan.total, 0),
          rva_(sectionRva),
          nextEntry_(plan.dataEntries),
          nextString_(plan.strings),
          nextData_(plan.data) {}

    std::vector<unsigned char> Write(const TypeLevel& tree) {
        nextDirectory_ = DirectorySize(tree.size());
        std::vector<std::pair<size_t, const NameLevel*>> nameTables;
        WriteDirectory(0, tree, &nameTables);
        std::vector<std::pair<size_t, const LanguageLevel*>> languageTables;
        for (const auto& table : nameTables)
            WriteDirectory(table.first, *table.second, &languageTables);
        for (const auto& table : languageTables)
            WriteLanguages(table.first, *table.second);
        return std::move(out_);
    }

  private:
    void PutHeader(size_t table, size_t named, size_t entries) {
        // Characteristics, time stamp and version stay zero: no build time goes into the image.
        Put16(out_, table + kDirectoryNamedCount, static_cast<uint16_t>(named));
        Put16(out_, table + kDirectoryNumberedCount, static_cast<uint16_t>(entries - named));
    }

    void PutId(size_t entry, const ResourceId& id) {
        if (!id.IsName()) {
            Put32(out_, entry + kEntryId, id.number);
            return;
        }
        Put32(out_, entry + kEntryId, static_cast<uint32_t>(nextString_) | kHighBit);
        Put16(out_, nextString_, static_cast<uint16_t>(id.name.size()));
        for (size_t i = 0; i < id.name.size(); ++i)
            Put16(out_, nextString_ + 2 + 2 * i, static_cast<uint16_t>(id.name[i]));
        nextString_ += NameStringSize(id);
    }

    // The directory at `table` for the types or the names of a type, each entry pointing at a subdirectory placed
    // after those placed so far; the subdirectories go to `children` in order, to be written next.
    template <typename Level>
    void WriteDirectory(size_t table,
                        const Level& level,
                        std::vector<std::pair<size_t, const typename Level::mapped_type*>>* children) {
        size_t named = 0;
        for (const auto& item : level)
            named += item.first.IsName() ? 1 : 0;
        PutHeader(table, named, level.size());
        size_t entry = table + kDirectoryHeaderSize;
        for (const auto& item : level) {
            PutId(entry, item.first);
            Put32(out_, entry + kEntryTarget, static_cast<uint32_t>(nextDirectory_) | kHighBit);
            children->emplace_back(nextDirectory_, &item.second);
            nextDirectory_ += DirectorySize(item.second.size());
            entry += kDirectoryEntrySize;
        }
    }

    // The directory of a name's languages: each entry points at a data entry, which holds the leaf's address.
    void WriteLanguages(size_t table, const LanguageLevel& languages) {
        PutHeader(table, 0, languages.size());
        size_t entry = table + kDirectoryHeaderSize;
        for (const auto& language : languages) {
            const ResourceLeaf& leaf = *language.second;
            Put32(out_, entry + kEntryId, language.first);
            Put32(out_, entry + kEntryTarget, static_cast<uint32_t>(nextEntry_));
            Put32(out_, nextEntry_ + kDataRva, static_cast<uint32_t>(rva_ + nextData_));
            Put32(out_, nextEntry_ + kDataSize, static_cast<uint32_t>(leaf.data.size()));
            Put32(out_, nextEntry_ + kDataCodePage, leaf.codePage);
            std::copy(leaf.data.begin(), leaf.data.end(), out_.begin() + nextData_);
            nextData_ = AlignUp(nextData_ + leaf.data.size(), 8);
            nextEntry_ += kDataEntrySize;
            entry += kDirectoryEntrySize;
        }
    }

    std::vector<unsigned char> out_;
    uint32_t rva_;
    size_t nextDirectory_ = 0;
    size_t nextEntry_;
    size_t nextString_;
    size_t nextData_;
};

size_t DirectoryEntryOffset(const PeLayout& layout, uint32_t index) {
    return layout.directoryOffset + pe::kDataDirectoryEntrySize * index;
}

// The resource section of an image and what moves with it when it grows or shrinks.
struct ResourceMove {
    PeSection rsrc;
    std::vector<size_t> moved;  // the sections after it, by index
    uint64_t oldEndVa = 0;      // the end of its memory, section-aligned
    uint64_t oldEndRaw = 0;     // the end of its bytes in the file
};

bool InMovedSection(const PeLayout& layout, const ResourceMove& move, uint32_t rva) {
    for (size_t i : move.moved) {
        const PeSection& section = layout.sections[i];
        if (rva >= section.virtualAddress && rva < uint64_t(section.virtualAddress) + SectionSpan(section))
            return true;
    }
    return false;
}

// The layout check: the image is unsigned, has a resource section after its headers, and what lies after that
// section can move: nothing in the code may address it. mingw's linker puts only discardable sections there
// (.reloc, .gnu_debuglink), reached through the data directory or by name.
bool CheckMovable(const std::vector<unsigned char>& image,
                  const PeLayout& layout,
                  ResourceMove* move,
                  std::string* why) {
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
    const PeSection& rsrc = layout.sections[index];
    move->rsrc = rsrc;
    // The new resources are written where the old ones start: never over the headers and the section table.
    const size_t headersEnd = layout.sections.back().headerOffset + pe::kSectionHeaderSize;
    if (rsrc.rawOffset < headersEnd) {
        *why = "section " + rsrc.name + " starts inside the headers";
        return false;
    }
    move->oldEndVa = AlignUp(uint64_t(rsrc.virtualAddress) + SectionSpan(rsrc), layout.sectionAlignment);
    move->oldEndRaw = uint64_t(rsrc.rawOffset) + rsrc.rawSize;

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
        if (section.virtualAddress < move->oldEndVa || (section.rawSize != 0 && section.rawOffset < move->oldEndRaw)) {
            *why = "section " + section.name + " overlaps the resource section";
            return false;
        }
        if (!(section.characteristics & pe::kScnDiscardable)) {
            *why = "section " + section.name + " follows the resources and may be addressed by the program's code";
            return false;
        }
        move->moved.push_back(i);
    }
    for (uint32_t d = 0; d < layout.directoryCount; ++d) {
        uint32_t rva, size;
        PeDirectory(image, layout, d, &rva, &size);
        if (d == pe::kDirectoryResources || d == pe::kDirectoryRelocations || size == 0)
            continue;
        if (InMovedSection(layout, *move, rva)) {
            *why = "data directory entry " + std::to_string(d) + " lies in a section after the resources";
            return false;
        }
    }
    return true;
}

// The new section's sizes and how far what follows it moves, in memory and in the file.
struct Growth {
    uint32_t virtualSize = 0;
    uint64_t rawSize = 0;
    int64_t deltaRaw = 0;
    int64_t deltaVa = 0;
};

bool MeasureGrowth(const std::vector<unsigned char>& image,
                   const PeLayout& layout,
                   const ResourceMove& move,
                   size_t sectionSize,
                   Growth* growth,
                   std::string* why) {
    growth->rawSize = AlignUp(sectionSize, layout.fileAlignment);
    uint64_t newEndVa = AlignUp(uint64_t(move.rsrc.virtualAddress) + sectionSize, layout.sectionAlignment);
    if (newEndVa > 0xF0000000u || image.size() + growth->rawSize > 0xF0000000u) {
        *why = "the resources would make the image too large";
        return false;
    }
    growth->virtualSize = static_cast<uint32_t>(sectionSize);
    growth->deltaRaw = static_cast<int64_t>(growth->rawSize) - move.rsrc.rawSize;
    growth->deltaVa = static_cast<int64_t>(newEndVa) - static_cast<int64_t>(move.oldEndVa);
    return true;
}

// The bytes of the new image: the old ones up to the resources, the new section padded to the file alignment, the
// old ones after the resources.
void SpliceSection(const std::vector<unsigned char>& image,
                   const ResourceMove& move,
                   const std::vector<unsigned char>& section,
                   const Growth& growth,
                   std::vector<unsigned char>* out) {
    out->clear();
    out->reserve(image.size() + (growth.deltaRaw > 0 ? growth.deltaRaw : 0));
    out->insert(out->end(), image.begin(), image.begin() + move.rsrc.rawOffset);
    out->insert(out->end(), section.begin(), section.end());
    out->resize(move.rsrc.rawOffset + growth.rawSize, 0);
    out->insert(out->end(), image.begin() + move.oldEndRaw, image.end());
}

// The header fields that the move changes, read from the old image and written into the new one; the checksum
// last, over the finished bytes.
void PatchHeaders(const std::vector<unsigned char>& image,
                  const PeLayout& layout,
                  const ResourceMove& move,
                  const Growth& growth,
                  std::vector<unsigned char>* out) {
    Put32(*out, move.rsrc.headerOffset + pe::kSectionVirtualSize, growth.virtualSize);
    Put32(*out, move.rsrc.headerOffset + pe::kSectionRawSize, static_cast<uint32_t>(growth.rawSize));
    for (size_t i : move.moved) {
        const PeSection& s = layout.sections[i];
        Put32(*out, s.headerOffset + pe::kSectionVirtualAddress,
              static_cast<uint32_t>(s.virtualAddress + growth.deltaVa));
        if (s.rawSize != 0)
            Put32(*out, s.headerOffset + pe::kSectionRawOffset, static_cast<uint32_t>(s.rawOffset + growth.deltaRaw));
    }
    uint32_t symbols = Get32(image, layout.coffOffset + pe::kCoffSymbolTable);
    if (symbols != 0 && symbols >= move.oldEndRaw)
        Put32(*out, layout.coffOffset + pe::kCoffSymbolTable, static_cast<uint32_t>(symbols + growth.deltaRaw));

    Put32(*out, DirectoryEntryOffset(layout, pe::kDirectoryResources) + pe::kDataDirectorySize, growth.virtualSize);
    uint32_t relocRva, relocSize;
    PeDirectory(image, layout, pe::kDirectoryRelocations, &relocRva, &relocSize);
    if (relocSize != 0 && InMovedSection(layout, move, relocRva))
        Put32(*out, DirectoryEntryOffset(layout, pe::kDirectoryRelocations) + pe::kDataDirectoryAddress,
              static_cast<uint32_t>(relocRva + growth.deltaVa));

    size_t imageSize = layout.optionalOffset + pe::kOptSizeOfImage;
    Put32(*out, imageSize, static_cast<uint32_t>(Get32(image, imageSize) + growth.deltaVa));
    if (move.rsrc.characteristics & pe::kScnInitializedData) {
        size_t initialized = layout.optionalOffset + pe::kOptSizeOfInitializedData;
        Put32(*out, initialized, static_cast<uint32_t>(Get32(image, initialized) + growth.deltaRaw));
    }
    size_t checksum = PeChecksumOffset(layout);
    Put32(*out, checksum, PeChecksum(*out, checksum));
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
        const unsigned char* name = &image[section.headerOffset + pe::kSectionName];
        section.name.assign(reinterpret_cast<const char*>(name),
                            std::find(name, name + pe::kSectionNameSize, 0) - name);
        section.virtualSize = Get32(image, section.headerOffset + pe::kSectionVirtualSize);
        section.virtualAddress = Get32(image, section.headerOffset + pe::kSectionVirtualAddress);
        section.rawSize = Get32(image, section.headerOffset + pe::kSectionRawSize);
        section.rawOffset = Get32(image, section.headerOffset + pe::kSectionRawOffset);
        section.characteristics = Get32(image, section.headerOffset + pe::kSectionCharacteristics);
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
    const size_t entry = DirectoryEntryOffset(layout, index);
    *rva = Get32(image, entry + pe::kDataDirectoryAddress);
    *size = Get32(image, entry + pe::kDataDirectorySize);
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
    const TypeLevel tree = GroupLeaves(leaves);
    return SectionWriter(PlanSection(tree), sectionRva).Write(tree);
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
    ResourceMove move;
    if (!ReadPeLayout(image, &layout, why) || !CheckMovable(image, layout, &move, why))
        return false;
    const std::vector<unsigned char> section = BuildResourceSection(leaves, move.rsrc.virtualAddress);
    Growth growth;
    if (!MeasureGrowth(image, layout, move, section.size(), &growth, why))
        return false;
    SpliceSection(image, move, section, growth, out);
    PatchHeaders(image, layout, move, growth, out);
    return true;
}
