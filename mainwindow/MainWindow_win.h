#pragma once

#include <windows.h>

#include <cstdint>

struct LayoutRecord;

// The program's two pictures and its one window, shared by the main window and its skin controls. Filled by
// CreateMainWindow, released by DestroyMainWindow. The pictures and their DCs are owned inside MainWindow_win.cpp; the
// handles here are for drawing only.
struct SkinImages {
    HINSTANCE instance = nullptr;
    HBITMAP normalImage = nullptr;     // "window1.bmp": the picture in its normal look
    HBITMAP highlightImage = nullptr;  // "window2.bmp": every control area drawn highlighted
    HDC normalDc = nullptr;            // holds normalImage for the whole run
    HDC highlightDc = nullptr;         // holds highlightImage for the whole run
    int32_t width = 0;                 // of the normal image, and so of the main window
    int32_t height = 0;
    HRGN region = nullptr;  // the window's outline; owned by the main window once it is created
    HWND mainWindow = nullptr;
};

extern SkinImages gSkinImages;

extern const char kInstallWindowClass[];  // "InstallWindowClass"
extern const char kInstallButtonClass[];  // "InstallButtonClass"
extern const char kNormalImageName[];     // "WINDOW1.BMP"
extern const char kHighlightImageName[];  // "WINDOW2.BMP"

constexpr uint32_t kSkinKeyColour = 0xFF00FF;   // magenta: outside the window's outline
constexpr COLORREF kSkinBackground = 0xD2CDCC;  // red 204, green 205, blue 210

// What the main window does with the commands of its skin controls, and the hand-over of the installation's end. The
// window knows nothing of the flows behind them: the program's entry point sets the table before the window is
// created. A handler left null does nothing.
struct MainWindowHandlers {
    // A pressed skin control's record, and WM_CLOSE as the first "close" record.
    void (*command)(const LayoutRecord& record, HWND mainWindow) = nullptr;
    // kInstallDoneMessage (mainwindow/ProgramMessages.h) has arrived.
    void (*installDone)(HWND mainWindow) = nullptr;
    // kInstallProgressMessage has arrived with the unpack's share done, in percent.
    void (*installProgress)(HWND mainWindow, unsigned percent) = nullptr;
    // The skin controls exist: they are brought into the state the program is in.
    void (*controlsCreated)() = nullptr;
    // The message loop has ended and the window is still there: work that uses the window or the layout table is
    // stopped and waited for.
    void (*loopEnded)(HWND mainWindow) = nullptr;
};

void SetMainWindowHandlers(const MainWindowHandlers& handlers);

// The whole program: indexes the package, shows the main window, runs the message loop and tears down. Returns the
// exit code.
int RunSetup(HINSTANCE instance);

// How CreateMainWindow ended. On every failure the user has been told; what was made is released by
// DestroyMainWindow.
enum class WindowStart {
    kShown,
    kNoPicture,  // a picture is missing from the executable's resources
    kNoWindow,   // the system made no window
    kNoLayout,   // the layout file is not in the package (the package has shown its message)
};

// Loads both pictures from the executable's resources and builds the window from them.
WindowStart CreateMainWindow();

// The rest of CreateMainWindow, on pictures already loaded (gSkinImages takes them over): outline, drawing
// surfaces, window classes, the window and its controls, then centred and shown.
WindowStart CreateMainWindowWithImages(HBITMAP normalImage, HBITMAP highlightImage);

// Destroys the window and its controls, unregisters both classes and releases the pictures.
void DestroyMainWindow();

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Moves the window to the centre of the primary screen without activating it.
void CenterWindow(HWND window);
