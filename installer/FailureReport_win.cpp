#include "installer/FailureReport_win.h"

#include <cstdio>

#include "installer/FileWrite_win.h"
#include "support/Captions.h"
#include "support/MessageSeam.h"

namespace {

const char kDamagedMore[] = "    ...以及另外 %u 个";

}  // namespace

void ShowEndReport(HWND owner,
                   const HeldFolder& game,
                   const std::string& folder,
                   const std::string& logBelow,
                   const FailureList& failures,
                   const EndTexts& texts) {
    if (failures.empty()) {
        ShowMessage(owner, texts.done, kNoteCaption, kMbOk | kMbIconInformation);
        return;
    }
    const std::string log = folder + "\\" + logBelow;
    const std::string text = FailureLogText(failures, texts.logHeading);
    const bool written = PutBelow(game, logBelow, text.data(), text.size());
    const std::string summary = FailureSummary(failures, texts.heading, log, written) + texts.tail;
    ShowMessage(owner, summary.c_str(), kNoteCaption, kMbOk | kMbIconWarning);
}

void ShowDamagedPackage(HWND owner, const std::vector<std::string>& names, const DamagedTexts& texts) {
    char line[256];
    std::snprintf(line, sizeof line, texts.heading, unsigned(names.size()));
    std::string text = line;
    for (size_t i = 0; i < names.size() && i < kNamedDamaged; ++i)
        text += "\r\n    " + names[i];
    if (names.size() > kNamedDamaged) {
        std::snprintf(line, sizeof line, kDamagedMore, unsigned(names.size() - kNamedDamaged));
        text += std::string("\r\n") + line;
    }
    text += std::string("\r\n\r\n") + texts.advice;
    ShowMessage(owner, text.c_str(), texts.caption, kMbOk | kMbIconError);
}
