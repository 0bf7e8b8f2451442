#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Files, folders and install-key values reached by their GBK names through the W functions, as the installer
// reaches them: the same names whatever the code page the test program runs under (QV_LOCALE). A name that is not
// GBK fails every one of them.

// The strict conversion of a GBK text; empty when it is not GBK.
std::wstring WideOf(const std::string& gbk);
// A UTF-16 text as GBK; "<not GBK>" when GBK cannot spell it.
std::string GbkOf(const std::wstring& wide);

bool ReadFileBytes(const std::string& path, std::string* bytes);
bool WriteFileBytes(const std::string& path, const std::string& bytes);
bool MakeFolder(const std::string& path);
DWORD AttributesOf(const std::string& path);  // INVALID_FILE_ATTRIBUTES when missing
// Everything directly inside a folder, "." and ".." left out, in GBK.
std::vector<std::string> FolderEntries(const std::string& folder);

// The install key's values as REG_SZ in UTF-16, which is what the registry holds whoever wrote them.
bool SetInstallText(const char* name, const std::wstring& text);
bool ReadInstallText(const char* name, std::wstring* text);

// The window's text, in GBK.
std::string WindowText(HWND window);
