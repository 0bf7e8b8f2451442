#pragma once

// What the program itself knows about its window and the game, printed for the scripts that drive the window
// ("packtool layout" and "packtool facts"), so that none of them restates the program's tables.

#include <cstddef>
#include <cstdio>
#include <string>

// "packtool layout": reads a layout file (winpos.txt as stored, GBK) with the program's own parser and writes a
// header line "# command<TAB>id<TAB>left<TAB>top<TAB>right<TAB>bottom<TAB>first<TAB>second", then one line for the
// first record of every command word, in file order: the word, the control identifier the window gives that record,
// its rectangle (right and bottom exclusive) and its two texts as GBK bytes. A line feed in a text is written as the
// four bytes \r\n, as the file spells it. A text that holds a tab or a carriage return cannot be shown on one line:
// then nothing is written and error names the record. False on that error only.
bool WriteLayoutTable(const unsigned char* data, size_t size, std::FILE* out, std::string* error);

// "packtool facts": a header line "# fact<TAB>value", then one "NAME<TAB>VALUE" line each for the game's install
// key (with its root, "HKCU\..."), the names of its three values, the first control identifier, and the save folder
// below the user's documents folder and the save's file name ("\" separators).
void WriteFactTable(std::FILE* out);
