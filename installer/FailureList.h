#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "installer/FileHelpers.h"

// What went wrong during one install or one uninstall, in the order it happened. A clean run adds nothing, and
// then the flows show their usual texts; otherwise the last message box sums the list up and the whole of it goes
// to a plain text log beside the game.

enum class Failure {
    kChecked,         // failed its digest or size check (or could not be read), and was written all the same
    kCheckedKept,     // failed its check, so the file it was meant for was left as it was
    kMissing,         // the package does not hold it
    kWrite,           // could not be written
    kDelete,          // could not be deleted
    kLibrary,         // the resource-installer library did not run
    kWriteInUse,      // could not be written: another program holds it open
    kWriteReadOnly,   // could not be written: read-only, and the attribute could not be cleared
    kWriteDenied,     // could not be written: access denied
    kDeleteInUse,     // could not be deleted: another program holds it open
    kDeleteReadOnly,  // could not be deleted: read-only
    kDeleteDenied,    // could not be deleted: access denied
    kLinkLeft,        // a link to another place: neither followed nor removed
    kFolderLeft,      // a folder that was not entered (a dot folder, a path too long), left with its contents
    kMarkLeft,        // the install mark could not be removed from the registry
    kWriteLink,       // not written: a link to another place, or a file with another name, stood there
    kChangedKept,     // changed since the install: left as it is
    kPlayersKept,     // not the installation's: left with the folders that hold it
    kRecordDamaged,   // the install record fails its checks: uninstalled as an installation without one
    kNoEarlier,       // its earlier bytes (the package's original or the kept copy) are missing or damaged
};

struct FailedItem {
    Failure what;
    std::string name;  // a path relative to the game folder, or an entry name
};

class FailureList {
  public:
    void Add(Failure what, const std::string& name) { items_.push_back({what, name}); }
    // Adds the item unless the list holds it already (names compared as the file system does, without the case of
    // ASCII letters): a folder refused on the way to many files is named once.
    void AddOnce(Failure what, const std::string& name);
    void Append(const FailureList& other) { items_.insert(items_.end(), other.items_.begin(), other.items_.end()); }
    void Clear() { items_.clear(); }
    bool empty() const { return items_.empty(); }
    size_t size() const { return items_.size(); }
    const std::vector<FailedItem>& items() const { return items_; }

  private:
    std::vector<FailedItem> items_;
};

// How many items the message box names; the log has all of them.
constexpr size_t kNamedFailures = 5;

// A few words for the kind of failure, as the box and the log show it.
const char* FailureText(Failure what);

// The failure of a write or of a removal that failed for the reason given.
Failure WriteFailure(FileFault cause);
Failure RemoveFailure(FileFault cause);

// The log: a heading line, then one line per item, "<kind>: <name>", each ended by CR LF.
std::string FailureLogText(const FailureList& failures, const char* heading);

// The message box's text: the heading with the count put in for its %u, the first kNamedFailures items one a line
// ("..." after them when there are more), and where the full list is (or that it could not be written there).
std::string FailureSummary(const FailureList& failures,
                           const char* heading,
                           const std::string& logPath,
                           bool logWritten);

// path with folder and one separator cut off its front when it lies in folder (ASCII letters compared without
// case, as the file system does); otherwise path itself.
std::string RelativeTo(const std::string& folder, const std::string& path);
