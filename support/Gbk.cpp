#include "support/Gbk.h"

#include <cstring>

size_t LastPathSeparator(const char* text, size_t size) {
    size_t last = kNoSeparator;
    ForEachPathSeparator(text, size, [&last](size_t at) { last = at; });
    return last;
}

void LowerAsciiDbcs(char* text, size_t size) {
    ForEachGbkChar(text, size, [text](size_t at, size_t length) {
        if (length == 1 && text[at] >= 'A' && text[at] <= 'Z')
            text[at] = static_cast<char>(text[at] + ('a' - 'A'));
    });
}

void LowerAsciiDbcs(char* text) {
    if (text)
        LowerAsciiDbcs(text, std::strlen(text));
}

void LowerAsciiDbcs(std::string& text) {
    LowerAsciiDbcs(&text[0], std::strlen(text.c_str()));
}

std::string LowerAsciiDbcsCopy(std::string text) {
    LowerAsciiDbcs(text);
    return text;
}

void UseBackslashes(std::string& path) {
    ForEachPathSeparator(path.data(), path.size(), [&path](size_t at) { path[at] = '\\'; });
}

size_t WholeGbkPrefix(const char* text, size_t size, size_t room) {
    size_t end = 0;
    for (size_t at = 0; at < size;) {
        const size_t length = GbkCharLength(text, size, at);
        if (length == 1 && IsGbkLeadByte(text[at]))
            break;  // half a character: nothing after it is whole either
        if (at + length > room)
            break;
        at += length;
        end = at;
    }
    return end;
}

std::vector<std::string> SplitPathComponents(const std::string& path) {
    std::vector<std::string> parts;
    size_t start = 0;
    ForEachPathSeparator(path.data(), path.size(), [&](size_t at) {
        parts.push_back(path.substr(start, at - start));
        start = at + 1;
    });
    parts.push_back(path.substr(start));
    return parts;
}

namespace {

bool SameAsciiLetters(const char* text, size_t size, const char* lower) {
    for (size_t i = 0; i < size; ++i) {
        const char c = text[i] >= 'A' && text[i] <= 'Z' ? char(text[i] + ('a' - 'A')) : text[i];
        if (lower[i] == 0 || c != lower[i])
            return false;
    }
    return lower[size] == 0;
}

// Whether the component names one of the devices that the system keeps in every folder. The system reads such a
// name up to its first dot, without the spaces before that dot ("nul .txt" is NUL). No GBK trail byte is a dot or a
// space, so the bytes can be read one by one.
bool IsDeviceName(const char* component, size_t size) {
    const char* dot = static_cast<const char*>(std::memchr(component, '.', size));
    size_t base = dot ? size_t(dot - component) : size;
    while (base > 0 && component[base - 1] == ' ')
        --base;
    for (const char* device : {"con", "prn", "aux", "nul", "conin$", "conout$"}) {
        if (SameAsciiLetters(component, base, device))
            return true;
    }
    if (base != 4 || component[3] < '0' || component[3] > '9')
        return false;
    return SameAsciiLetters(component, 3, "com") || SameAsciiLetters(component, 3, "lpt");
}

// The fault of one component, text[0, size), of a name that holds no separator, colon or NUL.
EntryNameFault FindComponentFault(const char* text, size_t size) {
    if (size == 0)
        return EntryNameFault::kEmptyComponent;
    bool onlyDots = true;
    for (size_t i = 0; i < size && onlyDots; ++i)
        onlyDots = text[i] == '.' || text[i] == ' ';  // a lead byte or any other character makes it a real name
    if (onlyDots)
        return EntryNameFault::kDotsComponent;
    if (text[size - 1] == '.' || text[size - 1] == ' ')
        return EntryNameFault::kTrailingDotOrSpace;
    if (IsDeviceName(text, size))
        return EntryNameFault::kDeviceName;
    return EntryNameFault::kNone;
}

}  // namespace

EntryNameFault FindEntryNameFault(const char* name, size_t size) {
    if (!name || size == 0)
        return EntryNameFault::kEmpty;
    if (std::memchr(name, 0, size))
        return EntryNameFault::kNulByte;
    if (IsPathSeparator(name[0]))
        return EntryNameFault::kAbsolute;
    // Any colon byte, even one that follows a lead byte: no GBK trail byte is a colon, and the system must never
    // be given the chance to read one as a drive or a stream.
    if (std::memchr(name, ':', size))
        return EntryNameFault::kColon;

    EntryNameFault fault = EntryNameFault::kNone;
    size_t start = 0;
    auto checkComponent = [&](size_t end) {
        if (fault == EntryNameFault::kNone)
            fault = FindComponentFault(name + start, end - start);
    };
    ForEachPathSeparator(name, size, [&](size_t at) {
        checkComponent(at);
        start = at + 1;
    });
    checkComponent(size);
    return fault;
}

const char* EntryNameFaultText(EntryNameFault fault) {
    static const char* const kTexts[] = {
        "the name is safe",
        "the name is empty",
        "the name holds a NUL byte",
        "the name is an absolute path",
        "the name holds a colon (a drive or a stream)",
        "the name has an empty component",
        "the name has a component of dots and spaces only (such as \"..\")",
        "the name has a component that ends in a dot or a space",
        "the name has a component that names a device (such as \"NUL\" or \"com1.txt\")",
    };
    static_assert(sizeof kTexts / sizeof kTexts[0] == size_t(EntryNameFault::kDeviceName) + 1,
                  "one text for each fault");
    const size_t index = size_t(fault);
    return index < sizeof kTexts / sizeof kTexts[0] ? kTexts[index] : "?";
}

namespace {

bool StartsWithDrive(const char* path) {
    const unsigned char first = static_cast<unsigned char>(path[0]);
    return (first | 0x20) >= 'a' && (first | 0x20) <= 'z' && path[1] == ':';
}

}  // namespace

bool IsDriveRoot(const char* path) {
    return path && path[0] && StartsWithDrive(path) && path[2] == '\0';
}

bool IsAbsolutePath(const char* path) {
    if (!path || !path[0])
        return false;
    if (StartsWithDrive(path))
        return path[2] == '\0' || IsPathSeparator(path[2]);
    // A share: two separators, then a server name.
    return IsPathSeparator(path[0]) && IsPathSeparator(path[1]) && path[2] != 0 && !IsPathSeparator(path[2]);
}

bool IsRootedPath(const char* path) {
    return path && path[0] && (IsPathSeparator(path[0]) || StartsWithDrive(path));
}
