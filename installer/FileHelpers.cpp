#include "installer/FileHelpers.h"

#include <cstring>

namespace {

bool IsSeparator(unsigned char c) {
    return c == '\\' || c == '/';
}

// Calls visit(position) for every separator of path, stepping over two-byte characters.
template <typename Visit>
void ForEachSeparator(const char* path, Visit visit) {
    for (size_t i = 0; path[i] != 0; ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (c & 0x80) {
            if (path[i + 1] == 0)
                break;
            ++i;
        } else if (IsSeparator(c)) {
            visit(i);
        }
    }
}

char gDirPart[kMaxDirPart + 1];

}  // namespace

const char* DirPartOf(const char* path) {
    std::memset(gDirPart, 0, sizeof gDirPart);
    if (!path)
        return gDirPart;
    size_t length = 0;
    ForEachSeparator(path, [&length](size_t position) { length = position; });
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
    ForEachSeparator(path, [&positions](size_t position) { positions.push_back(position); });
    if (!positions.empty() && positions.back() > kMaxDirPrefix) {
        positions.clear();
        return false;
    }
    return true;
}

bool IsContainedName(const char* name) {
    if (!name || !*name || IsSeparator(static_cast<unsigned char>(name[0])))
        return false;
    bool onlyDots = true;  // the component read so far holds nothing but dots and spaces
    for (size_t i = 0;; ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (c == 0 || IsSeparator(c)) {
            if (onlyDots)
                return false;
            if (c == 0)
                return true;
            onlyDots = true;
        } else if (c & 0x80) {
            onlyDots = false;
            if (name[i + 1] == 0)
                return true;
            ++i;
        } else if (c == ':') {
            return false;
        } else if (c != '.' && c != ' ') {
            onlyDots = false;
        }
    }
}

bool IsAbsolutePath(const char* path) {
    if (!path || !path[0])
        return false;
    const unsigned char first = static_cast<unsigned char>(path[0]);
    if (((first | 0x20) >= 'a' && (first | 0x20) <= 'z') && path[1] == ':')
        return IsSeparator(static_cast<unsigned char>(path[2]));
    // A share: two separators, then a server name.
    return IsSeparator(first) && IsSeparator(static_cast<unsigned char>(path[1])) && path[2] != 0 &&
           !IsSeparator(static_cast<unsigned char>(path[2]));
}
