#pragma once

// The entries that the installer's install and uninstall flows look up by name, for "packtool verify": a package
// that lacks one still indexes and extracts, but the installer built from it fails on users' machines.

#include <cstdio>
#include <string>
#include <vector>

#include "package/Package.h"

struct RequiredEntry {
    std::string name;     // as the flows look it up ("\" separators); for the pack folder, its name and a "\"
    std::string purpose;  // what the installer does with it, one line of English
    bool folder = false;  // the pack folder: present when some entry's name begins with `name`
    std::string target;   // where the installer puts it, after the game folder ("\" separators); empty: nowhere
    std::string role;     // one word: layout, library, config, copy, restore or folder
};

// Every required entry in a fixed order: the layout file, the helper library, the configuration program, the 21
// copies of the install's last step, the 3 unlocalised copies of the uninstall, and the pack folder (which is
// present when at least one entry lies below it).
std::vector<RequiredEntry> RequiredEntries();

// The required entries that index lacks, in the order of RequiredEntries. Lookups ignore the case of ASCII
// letters, as the installer's do.
std::vector<RequiredEntry> MissingRequiredEntries(const PackageIndex& index);

// "packtool verify"'s warning list: when entries are missing, a heading line and one line per missing entry
// ("  NAME: PURPOSE"), written to out. Returns how many are missing.
size_t ReportMissingRequiredEntries(const PackageIndex& index, std::FILE* out);

// "packtool names": a header line "# entry<TAB>target<TAB>role", then one line per required entry in the order of
// RequiredEntries, the names as GBK bytes, "\" separators; the pack folder's entry is its name alone, and a target
// of "-" means the entry is not written into the game folder. Scripts and checks read the table from here.
void WriteNameTable(std::FILE* out);
