#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

#include "mainwindow/SkinLayout.h"
#include "support/WorkerThread.h"

// The install flow: find the game, check the disk, confirm, write the configuration program and the
// resource-installer library, then let the install worker unpack the pack folder and hand back to FinishInstall
// on the user-interface thread, which marks the installation in the registry and copies the last files.

// Sent (synchronously) by the install worker to the main window when its part is done; wParam and lParam are 0.
constexpr UINT kInstallDoneMessage = WM_USER + 1001;

// The one install in progress. Touched on the user-interface thread only; the worker gets its own copy of what it
// needs before it starts.
struct InstallerState {
    std::string installFolder;              // the game folder, without a trailing separator; at most 255 bytes
    bool extracting = false;                // from the confirmation until FinishInstall's last message box
    HWND mainWindow = nullptr;              // recorded at the confirmation; receives kInstallDoneMessage
    LayoutRecord* statusControl = nullptr;  // found by RefreshControls; null when the layout has none
};

extern InstallerState gInstallerState;

// Unpacks every package entry under the pack folder into the install folder, calls the library's
// ResourceInstall, clears the status text and sends kInstallDoneMessage.
class InstallWorker : public WorkerThread {
  public:
    // Starts a run into installFolder that reports to mainWindow and shows its progress in status (may be null).
    // False, with nothing changed, while the previous run still holds its thread or when no thread can be made.
    bool Begin(const std::string& installFolder, HWND mainWindow, LayoutRecord* status);
    void Run() override;

    // Entries of the last run whose names would have led outside the install folder, and so were not written.
    // Read by FinishInstall while the worker waits for it.
    size_t skippedNames() const { return skippedNames_; }

    // Asks a running job to stop after the file it is writing, without calling the library or handing back, and
    // waits for it. Run when the process ends during an install (the user chose to quit), before the package
    // index and the layout table that the job reads are destroyed. A job still running after timeoutMs ends
    // with the process.
    void StopAndWait(DWORD timeoutMs);

  private:
    void SetStatus(const char* text);
    void UnpackPackFolder();

    std::string installFolder_;
    HWND mainWindow_ = nullptr;
    HWND statusWindow_ = nullptr;
    char* statusText_ = nullptr;            // the status control's buffer, or spareText_ without one
    char spareText_[kLayoutTextSize] = {};  // where the library writes when the layout has no status control
    size_t skippedNames_ = 0;
    std::atomic<bool> stopping_{false};
};

extern InstallWorker gInstallWorker;

// The "install" command: runs on the user-interface thread up to the start of the worker.
void InstallPack(HWND mainWindow);

// Called by the main window for every message it does not handle itself; acts on kInstallDoneMessage only, and
// only while an install is in progress.
void FinishInstall(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Seams for tests, set on the user-interface thread while no install runs.
// Bytes available to the caller on the drive ("C:"); false when the query fails.
using FreeSpaceQuery = bool (*)(const char* drive, uint64_t* bytesAvailable);
extern FreeSpaceQuery gFreeSpaceQuery;
bool QueryFreeSpace(const char* drive, uint64_t* bytesAvailable);

class MemorySink;
// Extracts a package entry by name and writes it to target, creating its folders; an entry that was not delivered
// (reported already) writes nothing. The sink is empty again afterwards.
void CopyEntryToFile(const char* entry, MemorySink& sink, const std::string& target);

// The file chooser (ChoosePath's contract): true with the chosen file's full path, false with path emptied.
using PathChooser = bool (*)(HWND owner, std::string& path, const char* filter);
extern PathChooser gChoosePath;
