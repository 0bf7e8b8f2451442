#include "installer/FileHelpers.h"

#include <cstring>

#include "package/PackNames.h"
#include "support/Gbk.h"

namespace {

char gDirPart[kMaxDirPart + 1];

}  // namespace

const char* DirPartOf(const char* path) {
    std::memset(gDirPart, 0, sizeof gDirPart);
    if (!path)
        return gDirPart;
    const size_t last = LastPathSeparator(path, std::strlen(path));
    const size_t length = last == kNoSeparator ? 0 : last;
    if (length > kMaxDirPart)
        return nullptr;
    std::memcpy(gDirPart, path, length);
    return gDirPart;
}

bool EndsWith(const char* text, const char* suffix) {
    if (!suffix || !*suffix)
        return true;
    if (!text)
        return false;
    size_t textLength = std::strlen(text);
    size_t suffixLength = std::strlen(suffix);
    if (suffixLength > textLength)
        return false;
    return std::memcmp(text + textLength - suffixLength, suffix, suffixLength) == 0;
}

bool SeparatorPositions(const char* path, std::vector<size_t>& positions) {
    positions.clear();
    if (!path)
        return true;
    ForEachPathSeparator(path, std::strlen(path), [&positions](size_t position) { positions.push_back(position); });
    if (!positions.empty() && positions.back() > kMaxDirPrefix) {
        positions.clear();
        return false;
    }
    return true;
}

bool NormaliseInstalledFolder(std::string& folder) {
    if (!IsAbsolutePath(folder.c_str()))
        return false;
    std::string cut = folder;
    std::vector<size_t> separators;
    // The scan knows GBK: a last byte 0x5C that ends a two-byte character is no separator.
    while (SeparatorPositions(cut.c_str(), separators) && !separators.empty() && separators.back() + 1 == cut.size())
        cut.pop_back();
    if (!IsAbsolutePath(cut.c_str()))
        return false;
    folder = cut;
    return true;
}

std::string FolderForDisplay(const std::string& folder) {
    return IsDriveRoot(folder.c_str()) ? folder + "\\" : folder;
}

bool IsPackEntryName(const std::string& name) {
    const size_t length = sizeof kPackFolder - 1;
    return name.size() > length && name.compare(0, length, kPackFolder) == 0 && IsPathSeparator(name[length]);
}
