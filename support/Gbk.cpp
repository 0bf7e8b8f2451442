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
        if (fault != EntryNameFault::kNone)
            return;
        if (end == start) {
            fault = EntryNameFault::kEmptyComponent;
            return;
        }
        for (size_t i = start; i < end; ++i) {
            if (name[i] != '.' && name[i] != ' ')
                return;  // a lead byte or any other character makes it a real name
        }
        fault = EntryNameFault::kDotsComponent;
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
    };
    static_assert(sizeof kTexts / sizeof kTexts[0] == size_t(EntryNameFault::kDotsComponent) + 1,
                  "one text for each fault");
    const size_t index = size_t(fault);
    return index < sizeof kTexts / sizeof kTexts[0] ? kTexts[index] : "?";
}
