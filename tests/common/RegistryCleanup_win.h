#pragma once

#include <windows.h>

#include <string>

// Deletes the key at path under root with every sub-key and value below it; a missing key is fine.
void DeleteKeyTree(HKEY root, const std::string& path);
