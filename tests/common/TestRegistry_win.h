#pragma once

#include <windows.h>

#include <string>

// Deletes the key at path under root with every sub-key and value below it; a missing key is fine.
void DeleteKeyTree(HKEY root, const std::string& path);

// The values of the install key (HKEY_CURRENT_USER, kInstallKeyPath), as the game's setup and the installer leave
// them. SetInstallValue writes a REG_SZ, creating the key; false when it could not.
bool SetInstallValue(const char* name, const std::string& value);
// False when the key or the value is missing; value then stays as it was.
bool ReadInstallValue(const char* name, std::string* value);
void DeleteInstallValue(const char* name);
