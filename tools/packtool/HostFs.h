#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "support/StdioFile.h"

// The package tool's view of the file system. Inside the tool every path is UTF-8; names stored in a package
// are GBK. The POSIX half converts with iconv, the Windows half through UTF-16.

bool Utf8ToGbk(const std::string& utf8, std::string* gbk);
bool GbkToUtf8(const std::string& gbk, std::string* utf8);

std::vector<std::string> CommandLineUtf8(int argc, char** argv);

std::FILE* OpenFileUtf8(const std::string& path, const char* mode);
// Opens path for writing, replacing it; says "packtool: cannot create PATH" on stderr when it cannot.
StdioFile CreateOutputFile(const std::string& path);
// The whole file's bytes; false when it cannot be opened or read to the end.
bool ReadWholeFile(const std::string& path, std::vector<unsigned char>* bytes);
bool IsDirectoryUtf8(const std::string& path);
// Creates one folder; true when it exists afterwards.
bool MakeDirectoryUtf8(const std::string& path);
// Every file below root, as paths relative to root joined with "/", sorted by bytes. False if root is unreadable.
bool ListTreeUtf8(const std::string& root, std::vector<std::string>* files);
// A path the package reader opens (GBK on Windows, where the product's file calls take GBK whatever the system's
// code page; empty when GBK cannot spell it, which no open finds).
std::string NarrowPathUtf8(const std::string& path);
// Removes a file; true when it went.
bool RemoveFileUtf8(const std::string& path);
