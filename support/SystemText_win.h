#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// The program's texts and paths are GBK byte strings; the system is spoken to in UTF-16 through the W functions,
// whatever its own code page (936, 932, 1252 or UTF-8). Every text crosses that boundary here, converted with code
// page 936 explicitly and strictly both ways:
// - GBK to UTF-16 refuses a byte sequence that is not GBK (MB_ERR_INVALID_CHARS), so that a damaged name never
//   becomes a path of replacement characters;
// - UTF-16 to GBK refuses a character that GBK cannot spell (no best-fit look-alike, no "?"), so that a name the
//   system hands us never turns into the name of another file.

// text[0, size) as UTF-16; false (and out empty) when it is not GBK. An empty text converts to an empty one.
bool WideFromGbk(const char* text, size_t size, std::wstring* out);
inline bool WideFromGbk(const std::string& text, std::wstring* out) {
    return WideFromGbk(text.data(), text.size(), out);
}

// The same for a C string (null converts as empty).
bool WideFromGbk(const char* text, std::wstring* out);

// text[0, size) as GBK; false (and out empty) when a character has no GBK spelling.
bool GbkFromWide(const wchar_t* text, size_t size, std::string* out);
inline bool GbkFromWide(const std::wstring& text, std::string* out) {
    return GbkFromWide(text.data(), text.size(), out);
}
// The same for a NUL-terminated text (null converts as empty).
bool GbkFromWide(const wchar_t* text, std::string* out);

// A GBK text of our own (a literal, a table, a name already checked) for an argument of a W function: the strict
// conversion, or an empty text when it fails. Where an empty text could mean something else to the function
// (a path, a registry key), the caller uses WideFromGbk and stops on its answer instead.
std::wstring Wide(const char* text);
inline std::wstring Wide(const std::string& text) {
    std::wstring wide;
    WideFromGbk(text, &wide);
    return wide;
}

// A GBK text only to be shown (a status line, a box's text): every byte sequence that is not GBK is shown as
// U+FFFD, so a cut or damaged text is still seen, never dropped.
std::wstring WideForDisplay(const char* text, size_t size);
std::wstring WideForDisplay(const char* text);
