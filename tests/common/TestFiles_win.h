#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Files and folders reached by their GBK names through the W functions, as the installer reaches them: the same
// names whatever the code page the test program runs under (QV_LOCALE). A name that is not GBK fails every one of
// them.

// The strict conversion of a GBK text; empty when it is not GBK.
std::wstring WideOf(const std::string& gbk);
// A UTF-16 text as GBK; "<not GBK>" when GBK cannot spell it.
std::string GbkOf(const std::wstring& wide);

bool ReadFileBytes(const std::string& path, std::string* bytes);
std::string FileBytes(const std::string& path);  // "<missing>" when it cannot be read
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool MakeFolder(const std::string& path);
DWORD AttributesOf(const std::string& path);  // INVALID_FILE_ATTRIBUTES when missing
bool Exists(const std::string& path);
// Everything directly inside a folder, "." and ".." left out, in GBK.
std::vector<std::string> FolderEntries(const std::string& folder);
