#pragma once

#include <string>
#include <vector>

// What "pack" reads: the files named by its SOURCE arguments, each with the name it is stored under.

struct PackItem {
    std::string storedName;  // GBK
    std::string localPath;   // UTF-8
};

// Appends every file below folder, stored under its relative path with "\" separators, converted to GBK. False,
// with the reason printed, when the folder cannot be read or a name has no GBK form.
bool CollectFolder(const std::string& folder, std::vector<PackItem>* items);

// Appends the items of a manifest: lines "STORED_NAME<TAB>LOCAL_PATH" read as GBK bytes, CR LF or LF; blank lines
// and lines starting with '#' are skipped. A relative LOCAL_PATH is taken from the manifest's folder. False, with
// the file and line printed, on the first line that cannot be read.
bool CollectManifest(const std::string& manifest, std::vector<PackItem>* items);
