#include <windows.h>

#include <algorithm>
#include <set>
#include <cstdio>
#include <string>
#include <vector>

#include "installer/CommandDispatch_win.h"
#include "installer/FailureList.h"
#include "installer/FailureReport_win.h"
#include "installer/FileHelpers.h"
#include "installer/FileWrite_win.h"
#include "installer/InstallFlow_win.h"
#include "installer/InstallMark_win.h"
#include "installer/InstallRecord_win.h"
#include "installer/UninstallFlow_win.h"
#include "package/Extract.h"
#include "package/PackNames.h"
#include "support/Captions.h"
#include "support/DebugLog.h"
#include "support/Gbk.h"
#include "support/HeldFolder_win.h"
#include "support/MessageSeam.h"
#include "support/SystemText_win.h"
#include "support/Win32Handles.h"

namespace {

const char kConfirmText[] = "是否卸载简体中文汉化包?";
const char kConfirmCaption[] = "卸载确认";
const char kCancelCaption[] = "取消卸载";
const char kNotInstalledText[] = "没有安装真.三国无双3汉化包!";
const char kOpenKeyFailedText[] = "RegOpenKeyEx Failed!";
const char kDoneText[] = "卸载完成!";
const char kFailuresHeading[] = "卸载结束, 但有 %u 项未能完成:";
const char kLogHeading[] = "汉化包卸载中未能完成的项目:";
const char kLogBesideGame[] = "\\uninstall-errors.txt";  // when a link stands in the pack folder's place
const char kStillInstalledText[] = "\r\n\r\n被替换的游戏文件没有全部还原, 汉化包仍记为已安装.\r\n";
const char kCloseGameText[] = "请关闭游戏后再次卸载.";
const char kClearReadOnlyText[] = "请去掉这些文件的只读属性后再次卸载.";
const char kAskRightsText[] = "请确认有权写入这些文件后再次卸载.";
const char kTryAgainText[] = "请解决上述问题后再次卸载.";
const char kMarkLeftText[] = "\r\n\r\n注册表中的安装记录未能删除, 汉化包仍记为已安装. 请再次卸载.";
const char kLibraryLeftText[] = "\r\n\r\n资源安装库没有删除, 汉化包仍记为已安装.\r\n";
const char kDamagedHead[] = "安装程序已损坏: 以下游戏原文件的备份缺失或没有通过校验:";
const char kDamagedTail[] = "游戏文件夹没有任何改动. 请重新下载安装程序后再卸载.";

constexpr size_t kRestoreCount = sizeof kRestoreTable / sizeof kRestoreTable[0];

// One uninstall: the game folder it works on and what failed so far.
struct Uninstall {
    std::string folder;
    // The game folder, held for the whole run: the game's files are written back, and our leftovers deleted,
    // through it. Only the folder itself is held: the removals below it still delete what lies inside.
    HeldFolder game;
    FailureList failures;
    bool gameFileLeft = false;      // a game file could not be written back: worth a second run
    bool libraryLeft = false;       // the library could not be deleted: worth a second run too
    std::vector<FileFault> causes;  // why game files or the library stayed as they were, in order

    void Stayed(FileFault cause) { causes.push_back(cause); }

    void Failed(Failure what, const std::string& path) {
        failures.Add(what, RelativeTo(folder, path));
        gDebugLogs[0].Printf("Warning >> uninstall: %s %s (error %lu)\n", FailureText(what), path.c_str(),
                             static_cast<unsigned long>(GetLastError()));
    }
};

// The game's own files as the package carries them, checked before anything in the game folder changes.
struct Originals {
    MemorySink sinks[kRestoreCount];
};

// Extracts the three unlocalised copies. False (the user told: the installer is damaged) when one is missing or
// fails its check; nothing in the game folder has changed then.
bool LoadOriginals(HWND mainWindow, Originals& originals) {
    std::vector<std::string> damaged;
    for (size_t i = 0; i < kRestoreCount; ++i) {
        ExtractReport report;
        if (!ExtractByName(kRestoreTable[i].entry, originals.sinks[i], &report) || !report.clean())
            damaged.push_back(kRestoreTable[i].entry);
    }
    if (damaged.empty())
        return true;
    ShowDamagedPackage(mainWindow, damaged, {kDamagedHead, kDamagedTail, kCancelCaption});
    return false;
}

// Writes the game's files back from checked bytes. One that already holds them is left alone (a game file the
// player keeps read-only, or one a second run finds restored). A link or a file with a second name in the place of
// one is never written through. False when one could not be written.
bool RestoreGameFiles(Uninstall& run, const Originals& originals) {
    bool restored = true;
    for (size_t i = 0; i < kRestoreCount; ++i) {
        const MemorySink& bytes = originals.sinks[i];
        const std::string target = kRestoreTable[i].target + 1;
        if (HoldsBelow(run.game, target, bytes.data, bytes.size))
            continue;
        Refusal refusal;
        if (!PutBelow(run.game, target, bytes.data, bytes.size, &refusal)) {
            run.Failed(WriteFailure(refusal.fault), refusal.place);
            run.Stayed(refusal.fault);
            run.gameFileLeft = true;
            restored = false;
        }
    }
    return restored;
}

// What an install or uninstall killed during a write left beside the game's files: our own new files, never
// renamed into place. The pack folder's go with it.
void RemoveLeftovers(Uninstall& run) {
    std::vector<std::string> folders{std::string()};
    for (const CopyRow& row : kRestoreTable) {
        const std::string target = row.target + 1;
        const size_t cut = LastPathSeparator(target.data(), target.size());
        if (cut != kNoSeparator)
            folders.push_back(target.substr(0, cut));
    }
    for (const std::string& folder : folders) {
        Refusal refusal;
        if (!RemoveLeftoversBelow(run.game, folder, &refusal))
            run.failures.AddOnce(RemoveFailure(refusal.fault), refusal.place);
    }
}

void NameWhatStayed(Uninstall& run, const std::vector<LeftBehind>& left) {
    for (const LeftBehind& item : left)
        run.Failed(RemoveFailure(item.cause), item.path);
}

void DeleteLibrary(Uninstall& run) {
    std::vector<LeftBehind> left;
    if (!RemoveWithoutFollowingLinks(run.folder, kLibraryTarget + 1, left)) {
        NameWhatStayed(run, left);
        run.libraryLeft = true;
        for (const LeftBehind& item : left)
            run.Stayed(item.cause);
    }
}

// The pack folder and everything in it; a link in its place or anywhere below it is never followed.
void DeletePackFolder(Uninstall& run) {
    // A file under the pack folder's name is not something the install made.
    const DWORD attributes = FileAttributesOf(run.folder + "\\" + kPackFolder);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return;
    std::vector<LeftBehind> left;
    RemoveWithoutFollowingLinks(run.folder, kPackFolder, left);
    NameWhatStayed(run, left);
}

// Removes "QuorvanInfo". The user is told at once when the install key cannot be opened for writing.
MarkRemoval RemoveMark(Uninstall& run) {
    const MarkRemoval removal = RemoveInstallMark();
    if (removal == MarkRemoval::kKeyNotOpened)
        ShowMessage(nullptr, kOpenKeyFailedText, kCancelCaption, kMbOk | kMbIconError);
    else if (removal == MarkRemoval::kValueStays)
        run.failures.Add(Failure::kMarkLeft, kQuorvanInfoValue);
    return removal;
}

const char* AdviceLine(FileFault cause) {
    switch (cause) {
        case FileFault::kInUse:
            return kCloseGameText;
        case FileFault::kReadOnly:
            return kClearReadOnlyText;
        case FileFault::kDenied:
            return kAskRightsText;
        default:
            return kTryAgainText;
    }
}

// What the player can do about game files that could not be written back: one line for each cause.
std::string AdviceFor(const std::vector<FileFault>& causes) {
    std::vector<const char*> lines;
    for (FileFault cause : causes) {
        if (std::find(lines.begin(), lines.end(), AdviceLine(cause)) == lines.end())
            lines.push_back(AdviceLine(cause));
    }
    if (lines.empty())
        lines.push_back(kTryAgainText);
    std::string advice;
    for (const char* line : lines)
        advice += (advice.empty() ? "" : "\r\n") + std::string(line);
    return advice;
}

// The log goes into the pack folder, relative to the game folder, unless a link stands there: nothing is written
// through it.
std::string LogBelow(const Uninstall& run) {
    HeldFolder pack;
    HeldFailure failure;
    if (!run.game.OpenFolder(kPackFolder, false, &pack, &failure) &&
        (failure.fault == HeldFault::kLink || failure.fault == HeldFault::kHardLink))
        return kLogBesideGame + 1;
    return kUninstallLogName + 1;
}

// The last box: today's note after a clean run; otherwise what failed, with the whole list in the pack folder, and
// what the player can do about what stayed.
void ReportEnd(HWND mainWindow, const Uninstall& run, bool markStays) {
    std::string tail;
    if (run.gameFileLeft)
        tail = std::string(kStillInstalledText) + AdviceFor(run.causes);
    else if (run.libraryLeft)
        tail = std::string(kLibraryLeftText) + AdviceFor(run.causes);
    else if (markStays)
        tail = kMarkLeftText;
    ShowEndReport(mainWindow, run.game, run.folder, LogBelow(run), run.failures,
                  {kDoneText, kFailuresHeading, kLogHeading, tail});
}

// What a recorded file holds now, as the record sees it. Something that is not read (a link, a file with a second
// name, a folder) goes the way of the install's own file: the write or the removal refuses it, nothing is done
// through it, and the last box names it with the reason, as for an installation without a record.
HeldNow NowOf(const FileNow& now, const RecordEntry& entry) {
    if (!now.present)
        return now.refused ? HeldNow::kWritten : HeldNow::kMissing;
    if (Holds(now, entry.size, entry.md5) || (entry.hasInterim && Holds(now, entry.interimSize, entry.interimMd5)))
        return HeldNow::kWritten;
    if (entry.before != BeforeKind::kNothing && Holds(now, entry.beforeSize, entry.beforeMd5))
        return HeldNow::kEarlier;
    return HeldNow::kOther;
}

// The bytes that stood at a replaced file's place: the kept copy, or the game's original that this package carries
// with the digest the record names (whichever release wrote the record). False when neither is there sound.
bool EarlierBytes(ReaderBelow& reader, const RecordEntry& entry, std::string* bytes) {
    if (entry.before == BeforeKind::kKept) {
        return reader.Read(entry.kept, bytes) && bytes->size() == entry.beforeSize &&
               Md5Hex(bytes->data(), bytes->size()) == entry.beforeMd5;
    }
    for (const CopyRow& row : kRestoreTable) {
        const PackageEntry* found = FindEntry(gPackageIndex, row.entry);
        MemorySink sink;
        ExtractReport report;
        if (!found || found->originalSize != entry.beforeSize ||
            !ExtractEntry(*found, &sink, &report, ExtractOptions{Reporter::kQuiet}) || !report.clean() ||
            Md5Hex(sink.data, sink.size) != entry.beforeMd5)
            continue;
        bytes->assign(reinterpret_cast<const char*>(sink.data), sink.size);
        return true;
    }
    return false;
}

// Puts back the earlier bytes of every replaced file that still holds the install's. A file changed since stays
// and is named. False when one could not be put back: then nothing is removed. restored[i] tells whether entry i
// holds its earlier bytes now (its kept copy may go).
bool PutBackRecorded(Uninstall& run, const InstallRecord& record, std::vector<bool>& restored) {
    ReaderBelow reader(run.game);
    restored.assign(record.entries.size(), false);
    for (size_t i = 0; i < record.entries.size(); ++i) {
        const RecordEntry& entry = record.entries[i];
        if (entry.before == BeforeKind::kNothing)
            continue;
        const UndoStep step = UndoStepFor(entry.before, NowOf(reader.StateOf(entry.path), entry));
        if (step == UndoStep::kChangedSince) {
            run.failures.Add(Failure::kChangedKept, entry.path);
            continue;
        }
        if (step == UndoStep::kPutBack) {
            std::string bytes;
            Refusal refusal;
            if (!EarlierBytes(reader, entry, &bytes)) {
                run.failures.Add(Failure::kNoEarlier, entry.path);
                run.Stayed(FileFault::kOther);
                run.gameFileLeft = true;
                continue;
            }
            if (!PutBelow(run.game, entry.path, bytes.data(), bytes.size(), &refusal)) {
                run.failures.AddOnce(WriteFailure(refusal.fault), refusal.place);
                run.Stayed(refusal.fault);
                run.gameFileLeft = true;
                continue;
            }
        }
        restored[i] = true;
    }
    return !run.gameFileLeft;
}

// Removes a file of the installation below the game folder through files, which holds the folder of the last one;
// the library's failure keeps the installation marked.
void RemoveRecorded(Uninstall& run, WriterBelow& files, const std::string& path) {
    Refusal refusal;
    if (files.Remove(path, &refusal))
        return;
    run.failures.AddOnce(RemoveFailure(refusal.fault), refusal.place);
    if (SameRecordPath(path, kLibraryTarget + 1)) {
        run.libraryLeft = true;
        run.Stayed(refusal.fault);
    }
}

// Names every file that stays in the pack folder and is not named yet: the player's own, and kept copies whose
// file was changed since.
void NameWhatStaysInPack(Uninstall& run) {
    std::set<std::string> named;
    for (const FailedItem& item : run.failures.items())
        named.insert(LowerAsciiDbcsCopy(item.name));
    std::vector<std::string> files;
    ListFilesRecursive((run.folder + "\\" + kPackFolder).c_str(), files);
    for (const std::string& file : files) {
        const std::string relative = RelativeTo(run.folder, file);
        if (named.insert(LowerAsciiDbcsCopy(relative)).second)
            run.failures.Add(Failure::kPlayersKept, relative);
    }
}

// The uninstall of an installation with a record: the replaced files first, then what the install wrote, then the
// mark, and the record last, so that an uninstall stopped anywhere leaves what the next one finishes from.
void UninstallByRecord(HWND mainWindow, Uninstall& run, const InstallRecord& record) {
    std::vector<bool> restored;
    if (!PutBackRecorded(run, record, restored)) {
        ReportEnd(mainWindow, run, true);
        RefreshControls();
        return;
    }
    RemoveLeftovers(run);
    std::vector<std::string> paths;
    {
        // The reader and the remover hold the folder of the last file each reached: they go before the folders are
        // removed.
        ReaderBelow reader(run.game);
        WriterBelow files(run.game);
        for (const RecordEntry& entry : record.entries) {
            paths.push_back(entry.path);
            if (entry.before != BeforeKind::kNothing)
                continue;
            const UndoStep step = UndoStepFor(entry.before, NowOf(reader.StateOf(entry.path), entry));
            if (step == UndoStep::kRemove)
                RemoveRecorded(run, files, entry.path);
            else if (step == UndoStep::kChangedSince)
                run.failures.Add(Failure::kChangedKept, entry.path);
        }
        for (const char* own : kPackOwnFiles) {
            paths.push_back(own);
            RemoveRecorded(run, files, own);
        }
        for (size_t i = 0; i < record.entries.size(); ++i) {
            if (record.entries[i].before == BeforeKind::kKept) {
                paths.push_back(record.entries[i].kept);
                if (restored[i])
                    RemoveRecorded(run, files, record.entries[i].kept);
            }
        }
    }
    // What a killed write left in the pack's folders (HeldFolder's own scratch files) goes with them.
    for (const std::string& folder : PackFoldersOf(paths)) {
        Refusal refusal;
        if (!RemoveLeftoversBelow(run.game, folder, &refusal))
            run.failures.AddOnce(RemoveFailure(refusal.fault), refusal.place);
    }

    MarkRemoval mark = MarkRemoval::kValueStays;
    if (!run.libraryLeft && (mark = RemoveMark(run)) == MarkRemoval::kKeyNotOpened)
        return;
    if (mark == MarkRemoval::kRemoved) {
        paths.push_back(kInstallRecordName);
        {
            WriterBelow files(run.game);
            RemoveRecorded(run, files, kInstallRecordName);
        }
        // A second pass for a folder whose last entry the system had not let go of yet.
        const std::vector<std::string> folders = PackFoldersOf(paths);
        if (!RemoveEmptyFoldersBelow(run.game, folders))
            RemoveEmptyFoldersBelow(run.game, folders);
        NameWhatStaysInPack(run);
    }
    ReportEnd(mainWindow, run, mark != MarkRemoval::kRemoved);
    RefreshControls();
}

}  // namespace

void UninstallPack(HWND mainWindow) {
    if (ShowMessage(mainWindow, kConfirmText, kConfirmCaption, kMbOkCancel | kMbIconQuestion) != kIdOk)
        return;

    // An empty or relative folder would send the deletions somewhere else entirely.
    Uninstall run;
    if (!ReadInstalledFolder(run.folder)) {
        ShowMessage(nullptr, kNotInstalledText, kCancelCaption, kMbOk | kMbIconError);
        return;
    }
    // "G:\" for a game at the root of a drive: every path is the folder, a separator and a name.
    run.folder = WithoutTrailingSeparators(run.folder);
    // A folder that cannot be held leaves every game file as it is: each is named, and the pack stays installed.
    run.game.Open(run.folder);

    // An installation with a record is taken back as the record says; one without (an earlier release's, or one
    // whose record is damaged, which the log names) as before.
    InstallRecord record;
    RecordFault fault = RecordFault::kNone;
    switch (ReadRecordBelow(run.game, &record, &fault)) {
        case RecordRead::kRead:
            UninstallByRecord(mainWindow, run, record);
            return;
        case RecordRead::kDamaged:
            run.failures.Add(Failure::kRecordDamaged, kInstallRecordName);
            gDebugLogs[0].Printf("Warning >> uninstall: install record refused (%s)\n", RecordFaultText(fault));
            break;
        case RecordRead::kMissing:
            break;
    }

    // The originals first, then the pack: a restore that fails leaves the pack in place and installed, so the
    // player never ends up with neither.
    Originals originals;
    if (!LoadOriginals(mainWindow, originals))
        return;
    if (!RestoreGameFiles(run, originals)) {
        ReportEnd(mainWindow, run, true);
        RefreshControls();
        return;
    }
    RemoveLeftovers(run);
    DeleteLibrary(run);
    DeletePackFolder(run);

    // Stopping before the mark leaves it, and with it the uninstall control, so the user can run it again.
    MarkRemoval mark = MarkRemoval::kValueStays;
    if (!run.libraryLeft && (mark = RemoveMark(run)) == MarkRemoval::kKeyNotOpened)
        return;
    ReportEnd(mainWindow, run, mark != MarkRemoval::kRemoved);
    RefreshControls();
}
