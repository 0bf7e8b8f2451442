#pragma once

#include <windows.h>

// What the program does before anything else, on its one thread.

// Library searches by bare name look in the system folder only, where the system offers that
// (SetDefaultDllDirectories), and never in the current folder: a DLL placed beside the downloaded installer is not
// loaded in place of a system one. Libraries loaded by their full path are not affected. False when the system
// offers a restriction and refused it; a system without SetDefaultDllDirectories (Vista and 7 before their 2011
// loader update) still loses the current folder, and the program's own loads name the system folder there
// (support/SystemLibrary_win.h).
bool RestrictLibrarySearch();

// The current folder becomes the system folder, so that nothing is ever found in the folder the installer was
// started from (normally the download folder). False when the system refused.
bool EnterSystemFolder();

// Links (junctions, symbolic links) made by programs without administrator rights are not followed by this process,
// where the system offers that (the redirection trust policy, from Windows 11). False where it does not, as on
// Wine and older systems: nothing else changes there.
bool TrustOnlyAdministratorsLinks();

// The three above in order. False when the library search or the current folder could not be made safe: the
// program must then end (kUnsafeStartText).
bool PrepareProcess();

// Held for as long as the program runs, so that a second copy can tell that one is running already, in this
// session or (for a name in the "Global\" namespace) in any other. The mutex is owned by the Administrators group
// and only administrators and the system may open it. A program without administrator rights that takes the name
// first cannot make an object so owned: its mutex is not taken for a running copy, and the program runs without one.
class SingleInstance {
  public:
    explicit SingleInstance(const char* name);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another process (or another SingleInstance of this one) holds the name with our mutex.
    bool first() const { return first_; }

  private:
    HANDLE mutex_ = nullptr;
    bool first_ = true;
};

extern const char kInstanceName[];        // the installer's mutex, in the global namespace
extern const char kAlreadyRunningText[];  // the note a second copy shows before it ends
extern const char kUnsafeStartText[];     // the error box when PrepareProcess failed, before the program ends

// The second copy's side: brings the running copy's main window to the front and says that it is running.
void ShowRunningInstance();
