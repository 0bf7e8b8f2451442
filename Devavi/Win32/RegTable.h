#pragma once

#include <windows.h>

#include <string>

#include "Devavi/Win32/LineNumber.h"

// String values in the registry. Key paths, value names and values are GBK here; the registry holds UTF-16 (a
// REG_SZ written by any program, this one's earlier releases included, reads back the same), and every text is
// converted strictly both ways, whatever the system's code page.
//
// A value reads only when it is a REG_SZ whose text (terminator included) is shorter than 1000 bytes in GBK;
// anything else counts as absent, and on false the output keeps what it held. An empty value reads as an empty
// string. A REG_SZ holding a character that GBK cannot spell (a Korean folder name) is never read as another text.
bool RegReadString(HKEY root, const char* keyPath, const char* valueName, std::string& value);

// What RegReadGbkString found.
enum class RegRead {
    kRead,    // value holds the text
    kAbsent,  // no key, no value, another type, or too long: as RegReadString's false
    kNotGbk,  // a REG_SZ with a character GBK cannot spell; value unchanged
};

// RegReadString, telling a value that GBK cannot spell from an absent one. On kNotGbk, given (when not null) receives
// the text as the registry holds it, so that the caller can say which value it refuses.
RegRead RegReadGbkString(HKEY root,
                         const char* keyPath,
                         const char* valueName,
                         std::string& value,
                         std::wstring* given = nullptr);

// Writes text (with its terminating NUL) as a REG_SZ, creating the key if needed. A failure is reported with the
// REGCHECK box, caption "49" when the key cannot be created or opened and "50" when the value cannot be set (text
// that is not GBK counts as such); a key that cannot be created shows both, and nothing is written. True when the
// value was set; callers that cannot go on without it check the answer.
bool RegWriteString(HKEY root, const char* keyPath, const char* valueName, const char* text);

// The text of the REGCHECK box.
extern const char kRegCheckText[];
