#pragma once

#include <windows.h>

#include "support/ComObjects_win.h"

struct ITaskbarList3;

// The progress bar that the taskbar draws over a window's button (ITaskbarList3, Windows 7 and later). Made, used
// and destroyed on the window's own thread, which runs COM for as long as the object lives. Where the system
// offers no such interface (earlier Windows, a Wine without it) or COM cannot start, it shows nothing and nothing
// fails. The bar is taken off the button when the object goes.
class TaskbarProgress {
  public:
    explicit TaskbarProgress(HWND window);
    ~TaskbarProgress();
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    // The bar shows percent (0 to 100) of its length.
    void Show(unsigned percent);

  private:
    HWND window_;
    ScopedCom com_;  // declared before list_: COM ends after the interface is released
    ComPtr<ITaskbarList3> list_;
    bool shown_ = false;
};
