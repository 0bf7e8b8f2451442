#include "tools/packtool/RequiredEntries.h"

#include "package/Extract.h"
#include "package/PackNames.h"
#include "support/Gbk.h"

namespace {

// Targets in the table begin with "\" or "/"; shown to maintainers with "\" throughout.
std::string GameFolderPath(const char* target) {
    std::string path(target + 1);
    UseBackslashes(path);
    return path;
}

bool HasEntryBelow(const PackageIndex& index, const std::string& folderPrefix) {
    auto next = index.lower_bound(folderPrefix);
    return next != index.end() && next->first.compare(0, folderPrefix.size(), folderPrefix) == 0;
}

}  // namespace

std::vector<RequiredEntry> RequiredEntries() {
    std::vector<RequiredEntry> entries;
    entries.push_back(
        {kLayoutEntry, "the main window's layout; without it the installer ends at start-up", false, "", "layout"});
    entries.push_back({kLibraryEntry,
                       "the resource-installer library, written into the game folder as " +
                           GameFolderPath(kLibraryTarget) + " and called after the unpacking",
                       false, GameFolderPath(kLibraryTarget), "library"});
    entries.push_back({kConfigEntry,
                       "the localised configuration program, written over the game's " + GameFolderPath(kConfigTarget),
                       false, GameFolderPath(kConfigTarget), "config"});
    for (const CopyRow& row : kCopyTable) {
        entries.push_back({row.entry, "copied over " + GameFolderPath(row.target) + " at the end of the install", false,
                           GameFolderPath(row.target), "copy"});
    }
    for (const CopyRow& row : kRestoreTable) {
        entries.push_back({row.entry,
                           "the game's own " + GameFolderPath(row.target) + ", written back by the uninstall", false,
                           GameFolderPath(row.target), "restore"});
    }
    entries.push_back({std::string(kPackFolder) + "\\",
                       "the pack folder, unpacked into the game folder: no entry lies below it", true, kPackFolder,
                       "folder"});
    return entries;
}

std::vector<RequiredEntry> MissingRequiredEntries(const PackageIndex& index) {
    std::vector<RequiredEntry> missing;
    for (RequiredEntry& entry : RequiredEntries()) {
        const bool present = entry.folder ? HasEntryBelow(index, LowerAsciiDbcsCopy(entry.name))
                                          : FindEntry(index, entry.name.c_str()) != nullptr;
        if (!present)
            missing.push_back(std::move(entry));
    }
    return missing;
}

size_t ReportMissingRequiredEntries(const PackageIndex& index, std::FILE* out) {
    std::vector<RequiredEntry> missing = MissingRequiredEntries(index);
    if (missing.empty())
        return 0;
    std::fprintf(out, "packtool: warning: %zu of the entries that the installer looks up %s missing:\n", missing.size(),
                 missing.size() == 1 ? "is" : "are");
    for (const RequiredEntry& entry : missing)
        std::fprintf(out, "  %s: %s\n", entry.name.c_str(), entry.purpose.c_str());
    return missing.size();
}

void WriteNameTable(std::FILE* out) {
    std::fputs("# entry\ttarget\trole\n", out);
    for (const RequiredEntry& entry : RequiredEntries()) {
        std::string name = entry.name;
        if (entry.folder && !name.empty() && name.back() == '\\')
            name.pop_back();
        std::fprintf(out, "%s\t%s\t%s\n", name.c_str(), entry.target.empty() ? "-" : entry.target.c_str(),
                     entry.role.c_str());
    }
}
