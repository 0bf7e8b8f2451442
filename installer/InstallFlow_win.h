#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "installer/Dependencies_win.h"
#include "installer/FailureList.h"
#include "installer/InstallMark_win.h"
#include "installer/InstallRecord.h"
#include "installer/UnpackProgress.h"
#include "mainwindow/SkinLayout_win.h"
#include "package/Extract.h"
#include "package/Package.h"
#include "support/HeldFolder_win.h"
#include "support/StdioFile.h"
#include "support/TaskbarProgress_win.h"
#include "support/Win32Handles.h"
#include "support/WorkerThread.h"

// The install flow: find the game, check the disk, confirm; then the install worker checks every entry the install
// is about to write and hands back to the user-interface thread, which marks the installation in the registry and
// only then writes the configuration program and the resource-installer library; the worker unpacks the pack
// folder, calls the library and hands back once more to FinishInstall, which copies the last files.
//
// A damaged package is found before anything changes: one box names what failed and nothing is written. Because
// the mark comes before the first change to the game folder, a start after an interrupted install (a kill, a
// crash, a quit) offers the uninstall, which puts the game's files back.
//
// The game's own files (the configuration program, psrpc.dll, the loading screen) are replaced only by bytes that
// passed their checks, and never left cut short. Everything that fails is collected; a run with failures ends with
// a box that names them and a log in the pack folder instead of the success note. Nothing is written or deleted
// through a link or a file with a second name that stands where the install writes: it is named among the
// failures ("是链接, 未写入"). A pack folder that is such a link before the install starts ends the install
// there, with one box and nothing changed.
//
// Before the first change the install writes its record into the pack folder (installer/InstallRecord.h): every
// file it will write, the bytes it will give it and what stood there before. Bytes of the player's that are neither
// the package's original nor what the install writes are copied into the pack folder first, and checked there, so
// that the uninstall can give them back. When one of the game's own files is such a file (another version of the
// game, or another mod), the player is asked first, with "否" the default: "否" ends the install with nothing
// changed.

// What the one job on the game folder is doing: an install, an uninstall or the settings dialog, one at a time.
// The install goes through its phases in this order; the uninstall and the settings dialog have one each.
enum class JobPhase {
    kNone,          // no job: every command works
    kConfirming,    // the install's questions before its worker starts (the game's folder, the confirmation)
    kChecking,      // the worker checks the package; the boxes of its hand-back (damaged, another version) too
    kUnpacking,     // the installation is marked; the worker unpacks the pack folder and calls the library
    kFinishing,     // the copy table and the last box, on the user-interface thread
    kUninstalling,  // from the uninstall's confirmation to its last box
    kSettings,      // the settings dialog is open
};

// The one install in progress, and the phase of whatever job runs. Touched on the user-interface thread only; the
// worker gets its own copy of what it needs before it starts.
struct InstallerState {
    JobPhase phase = JobPhase::kNone;
    std::string installFolder;  // the game folder, absolute, without a trailing separator; <= 255 bytes
    bool extracting = false;    // from the confirmation until FinishInstall's last message box
    bool marked = false;        // "QuorvanInfo" was written by this install: the game may be changed
    HWND mainWindow = nullptr;  // recorded at the confirmation; receives kInstallDoneMessage
    FailureList failures;       // what failed on this thread since the confirmation
    // The game folder, held from the confirmation until the install ends: everything the install writes or deletes
    // is reached from it (installer/FileWrite_win.h). The worker writes through it while this thread waits.
    HeldFolder gameFolder;
    // The pack folder when it was there before the install, checked and held, so that it cannot be swapped for a
    // link before the unpack writes into it.
    HeldFolder packFolder;
    // The unpack's share on the taskbar button: made at the worker's first report, gone (and the bar with it)
    // when the install ends.
    std::unique_ptr<TaskbarProgress> taskbar;

    // A job runs: "install", "uninstall" and "setting" do nothing (a press under a box without owner, or one queued
    // before the controls went).
    bool jobRunning() const { return phase != JobPhase::kNone; }
    // From the start of the install's worker until the install's last box: quitting asks first, and neither the
    // install nor the uninstall control shows.
    bool installUnderWay() const {
        return phase == JobPhase::kChecking || phase == JobPhase::kUnpacking || phase == JobPhase::kFinishing;
    }
};

extern InstallerState gInstallerState;

// Puts the state into a job's first phase for as long as the command that starts the job runs; refused, with the
// state unchanged, while another job runs. On leaving, the state goes back to no job unless the job has moved on to
// a later phase (an install whose worker took over).
class JobPhaseGuard {
  public:
    JobPhaseGuard(InstallerState& state, JobPhase phase) : state_(state), phase_(phase), refused_(state.jobRunning()) {
        if (!refused_)
            state_.phase = phase_;
    }
    ~JobPhaseGuard() {
        if (!refused_ && state_.phase == phase_)
            state_.phase = JobPhase::kNone;
    }
    JobPhaseGuard(const JobPhaseGuard&) = delete;
    JobPhaseGuard& operator=(const JobPhaseGuard&) = delete;
    bool refused() const { return refused_; }

  private:
    InstallerState& state_;
    const JobPhase phase_;
    const bool refused_;
};

// Checks every entry the install will write and hands back (phase kChecked or kDamaged); once the user-interface
// thread has marked the installation and said go on (Proceed), unpacks every package entry under the pack folder
// into the install folder, calls the library's ResourceInstall, clears the status text and hands back again (phase
// kUnpacked). Each hand-back is a synchronous kInstallDoneMessage to the main window. During the unpack the status
// text reads "Copying... NN%" (UnpackProgress: the bytes written against those of every pack folder entry), and
// each share shown is posted to the main window as kInstallProgressMessage.
class InstallWorker : public WorkerThread {
  public:
    enum class Phase { kChecking, kChecked, kDamaged, kUnpacked };

    // Starts a run into installFolder, held as gameFolder (which must stay held until the run ends), from the
    // package that index describes (which must stay unchanged until the run ends), that reports to mainWindow and
    // shows its progress in status (both members may be null). False, with nothing changed, while the previous run
    // still holds its thread or when no thread can be made.
    bool Begin(const std::string& installFolder,
               const HeldFolder& gameFolder,
               HWND mainWindow,
               const StatusTarget& status,
               const PackageIndex& index);
    void Run() override;

    // What the run has reached; read on the user-interface thread while the worker waits for a hand-back.
    Phase phase() const { return phase_; }
    // The entries that failed the check, by name, when the phase is kDamaged.
    const std::vector<std::string>& damaged() const { return damaged_; }
    // When the phase is kChecked: the install's record, built from what the game folder holds now, and the game's
    // own files among its entries that hold neither the package's original nor its localised bytes.
    const InstallRecord& record() const { return record_; }
    const std::vector<std::string>& otherVersion() const { return otherVersion_; }
    // Called during the kChecked hand-back once the installation is marked: the unpack goes on, and the library is
    // called only when libraryReady (library() holds the checked bytes just written). Without it the run ends there.
    void Proceed(bool libraryReady) {
        libraryReady_ = libraryReady;
        proceed_ = true;
    }
    // During a hand-back: the package the run reads, and how the entries the install writes are read from it.
    // When every entry was checked before the first change (EntryCheck::kOnce), that is from the package the
    // worker holds without write sharing and without a second digest.
    const PackageIndex& index() const { return *index_; }
    const ExtractOptions& readOptions() const { return readOptions_; }
    // The library's bytes as the kChecked hand-back wrote them; the library is loaded only when its file holds them.
    MemorySink& library() { return library_; }
    bool stopRequested() const { return stopping_; }

    // Entries of the last run whose names would have led outside the install folder, and so were not written, and
    // everything else that failed in it. Read by FinishInstall while the worker waits for it.
    size_t skippedNames() const { return skippedNames_; }
    const FailureList& failures() const { return failures_; }

    // Asks a running job to stop after the file it is writing, without calling the library or handing back.
    void RequestStop() { stopping_ = true; }

    // Waits until the run has ended, answering the messages other threads send to this one and repainting its
    // windows meanwhile. True when the worker is idle; false when it still runs after timeoutMs.
    bool WaitUntilIdle(DWORD timeoutMs);

  private:
    void SetStatus(const char* text);
    // The share done, when it is due, into the status text and to the main window.
    void ShowProgress(UnpackProgress& progress);
    // The run between the opening of the package and its closing.
    void Install();
    bool CheckEntries();
    // The MD5 of an entry's unpacked bytes: the check's, or (without a check) from an extraction; empty when the
    // entry cannot be extracted.
    std::string UnpackedMd5(const PackageEntry& entry);
    // Fills record_ and otherVersion_ from the checked entries and what the game folder holds now.
    void BuildRecord();
    void UnpackPackFolder();

    std::string installFolder_;
    const HeldFolder* gameFolder_ = nullptr;
    const PackageIndex* index_ = nullptr;
    // The package file, held without write sharing from before the check until the run ends, and one stream of it.
    ScopedFileHandle heldPackage_;
    StdioFile package_;
    ExtractOptions readOptions_;
    MemorySink library_;
    HWND mainWindow_ = nullptr;
    HWND statusWindow_ = nullptr;
    char* statusText_ = nullptr;            // the status control's buffer, or spareText_ without one
    char spareText_[kLayoutTextSize] = {};  // where the library writes when the layout has no status control
    bool libraryReady_ = false;
    bool proceed_ = false;
    std::atomic<Phase> phase_{Phase::kChecking};
    std::vector<std::string> damaged_;
    std::map<const PackageEntry*, std::string> unpackedMd5_;
    InstallRecord record_;
    std::vector<std::string> otherVersion_;
    size_t skippedNames_ = 0;
    FailureList failures_;
    std::atomic<bool> stopping_{false};
};

extern InstallWorker gInstallWorker;

// The "install" command: runs on the user-interface thread up to the start of the worker. A game folder that the
// registry ("InstallInfo") names in characters GBK cannot spell is refused with one error box that shows it, "?"
// standing for those characters; the install ends there with nothing changed.
void InstallPack(HWND mainWindow);

// The main window's handler of kInstallProgressMessage: while an install is in progress, the taskbar button shows
// percent (where the system offers it); afterwards the message is ignored.
void ShowInstallProgress(HWND mainWindow, unsigned percent);

// The main window's handler of kInstallDoneMessage; acts only while an install is in progress. After the check it
// marks the installation and writes the configuration program and the library (or tells the user that the
// package is damaged, or that the mark could not be written, and ends the install with nothing changed); after
// the unpack it copies the last files and shows the last box.
void FinishInstall(HWND mainWindow);

// Called when the message loop has ended while the window still exists. During an install (the user chose to quit)
// the worker is stopped and waited for, for at most timeoutMs, before the window, the layout table and the
// package index it reads go; then the user is told that the installation did not finish, and, when the game folder
// was changed already, that the uninstall puts the game's files back. A worker that cannot be
// waited for (the library still busy) ends the process right after that note, without running the destructors
// of what it may still be using.
void StopInstallForQuit(HWND mainWindow, DWORD timeoutMs);
constexpr DWORD kQuitWaitMs = 30000;

// The install and the uninstall write their lists of failures here, inside the pack folder.
extern const char kInstallLogName[];    // "\quorvan\install-errors.txt"
extern const char kUninstallLogName[];  // "\quorvan\uninstall-errors.txt"

// True for a target (relative to the install folder, beginning with a separator) inside the pack folder.
bool IsPackTarget(const char* target);

// Every entry the install writes, in the order it writes them: the configuration program, the library, the pack
// folder, the copy table. Names the package lacks are left to the copies, which report them.
std::vector<const PackageEntry*> EntriesToWrite(const PackageIndex& index);
