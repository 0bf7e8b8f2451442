#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "installer/FailureList.h"
#include "support/HeldFolder_win.h"

// The boxes that the install and the uninstall both end with: the last box, which names what failed, and the box
// that says the package is damaged. Each flow gives its own texts.

// The texts of a flow's last box.
struct EndTexts {
    const char* done;        // after a clean run
    const char* heading;     // the box's first line; its %u is the number of failures
    const char* logHeading;  // the log's first line
    std::string tail;        // after the failures in the box: what stayed, and what the player can do
};

// The last box, owned by owner: texts.done after a clean run; otherwise the first failures (FailureSummary) and
// then texts.tail, with the whole list written to logBelow, a path relative to the game folder held as game (folder is
// that folder's own path, to name the log). The log is written through the held folder or not at all, and the box
// says which.
void ShowEndReport(HWND owner,
                   const HeldFolder& game,
                   const std::string& folder,
                   const std::string& logBelow,
                   const FailureList& failures,
                   const EndTexts& texts);

// The texts of a damaged-package box.
struct DamagedTexts {
    const char* heading;  // the first line; its %u, when it has one, is the number of names
    const char* advice;   // the last line, after an empty one
    const char* caption;
};

// How many damaged entries the box names.
constexpr size_t kNamedDamaged = 10;

// One error box, owned by owner, for every entry of the package that is missing or fails its check: the heading,
// the first kNamedDamaged names one a line, how many more ("    ...以及另外 %u 个"), and the advice.
void ShowDamagedPackage(HWND owner, const std::vector<std::string>& names, const DamagedTexts& texts);
