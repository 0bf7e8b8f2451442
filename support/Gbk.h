#pragma once

#include <cstddef>
#include <string>
#include <vector>

// GBK text (code page 936) as the program, its helper library and its tools read it. A byte with the high bit set
// leads a two-byte character, and the byte after it belongs to that character whatever its value: a trail byte
// may equal "\" (0x5C) or a capital letter (0x41..0x5A) and is never taken for one. A walk never runs past the end
// it is given nor over a NUL: a lead byte with no byte (or a NUL) after it stands alone as one incomplete
// character. Both "\" and "/" separate path components and may be mixed.
//
// Every function takes text and a size; callers with a C string pass its length.

constexpr size_t kNoSeparator = static_cast<size_t>(-1);

inline bool IsGbkLeadByte(char c) {
    return (static_cast<unsigned char>(c) & 0x80) != 0;
}

inline bool IsPathSeparator(char c) {
    return c == '\\' || c == '/';
}

// The number of bytes (1 or 2) of the character that starts at text[at], at < size.
inline size_t GbkCharLength(const char* text, size_t size, size_t at) {
    return IsGbkLeadByte(text[at]) && at + 1 < size && text[at + 1] != 0 ? 2 : 1;
}

// Calls visit(position, length) for each character of text[0, size), in order.
template <typename Visit>
void ForEachGbkChar(const char* text, size_t size, Visit visit) {
    for (size_t at = 0; at < size;) {
        const size_t length = GbkCharLength(text, size, at);
        visit(at, length);
        at += length;
    }
}

// Calls visit(position) for each separator of text[0, size), in order; trail bytes are passed over.
template <typename Visit>
void ForEachPathSeparator(const char* text, size_t size, Visit visit) {
    ForEachGbkChar(text, size, [&visit, text](size_t at, size_t length) {
        if (length == 1 && IsPathSeparator(text[at]))
            visit(at);
    });
}

// The position of the last separator of text[0, size), or kNoSeparator.
size_t LastPathSeparator(const char* text, size_t size);

// Lower-cases the single-byte A..Z of text[0, size) in place; two-byte characters stay as they are.
void LowerAsciiDbcs(char* text, size_t size);
// The same for a C string (nothing for null), and for a string up to its first NUL, as for a C string.
void LowerAsciiDbcs(char* text);
void LowerAsciiDbcs(std::string& text);
// A lower-cased copy of text, as LowerAsciiDbcs(std::string&) leaves it.
std::string LowerAsciiDbcsCopy(std::string text);

// Turns every "/" separator of path into "\".
void UseBackslashes(std::string& path);

// The length of the longest start of text[0, size) that holds only whole characters and at most room bytes: a cut
// there never leaves half of a two-byte character behind. An incomplete character at the end is never counted.
size_t WholeGbkPrefix(const char* text, size_t size, size_t room);

// True for a path that names one place whatever the current drive and folder: a drive and a separator ("C:\\x",
// "C:/x"), a drive alone, which names its root folder the way the install folder does ("G:", the folder part of
// "G:\\game.exe"), or a network share ("\\\\server\\share..."). "", "game", "\\game" and "C:game" are not.
bool IsAbsolutePath(const char* path);

// True for a path that does not start at the current folder: it begins with a separator or names a drive ("\\x",
// "/x", "C:x", "C:\\x", "\\\\server"). "" and "game\\x" are not.
bool IsRootedPath(const char* path);

// True for a drive alone, "G:": the install folder of a game at the root of a drive.
bool IsDriveRoot(const char* path);

// The components of path between its separators, empty ones included ("a\\b/" gives "a", "", "b", "").
std::vector<std::string> SplitPathComponents(const std::string& path);

// What makes a stored entry name unsafe to join to a folder and write.
enum class EntryNameFault {
    kNone,
    kEmpty,
    kNulByte,             // a C string would end early
    kAbsolute,            // begins with a separator
    kColon,               // a drive ("c:") or a stream ("a:stream"), anywhere in the name
    kEmptyComponent,      // two separators in a row, or one at the end
    kDotsComponent,       // a component of dots and spaces only (".", "..", ". "): the folder itself or one above
    kTrailingDotOrSpace,  // a component that ends in a dot or a space ("a.", "a "): the system drops them, so the
                          // name it writes is another than the one checked
    kDeviceName,          // a component that names a device: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9, LPT0-9,
                          // in any case, with or without an extension ("nul.txt", "Com1 .log")
};

// The one rule for every name the installer or the package tool writes below a folder: a name passes when joined
// to the folder it names a file or folder inside that folder, and the same one whichever of the system's calls is
// given it. The first fault found, or kNone.
EntryNameFault FindEntryNameFault(const char* name, size_t size);
inline EntryNameFault FindEntryNameFault(const std::string& name) {
    return FindEntryNameFault(name.data(), name.size());
}
inline bool IsSafeEntryName(const std::string& name) {
    return FindEntryNameFault(name) == EntryNameFault::kNone;
}

// A short English description of a fault, for the package tool's messages.
const char* EntryNameFaultText(EntryNameFault fault);
