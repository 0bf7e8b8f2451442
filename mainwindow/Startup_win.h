#pragma once

#include <windows.h>

// What the program does before anything else, on its one thread.

// Library searches by bare name look in the system folder only, where the system offers that
// (SetDefaultDllDirectories), and never in the current folder: a DLL placed beside the downloaded installer is not
// loaded in place of a system one. Libraries loaded by their full path are not affected. False when the system
// has no such restriction to offer.
bool RestrictLibrarySearch();

// Held for as long as the program runs, so that a second copy can tell that one is running already, in this
// session or (for a name in the "Global\" namespace) in any other.
class SingleInstance {
  public:
    explicit SingleInstance(const char* name);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // False when another process (or another SingleInstance of this one) holds the name.
    bool first() const { return first_; }

  private:
    HANDLE mutex_ = nullptr;
    bool first_ = true;
};

extern const char kInstanceName[];        // the installer's mutex, in the global namespace
extern const char kAlreadyRunningText[];  // the note a second copy shows before it ends

// The second copy's side: brings the running copy's main window to the front and says that it is running.
void ShowRunningInstance();
