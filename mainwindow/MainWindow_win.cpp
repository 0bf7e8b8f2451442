#include <windows.h>

#include <memory>
#include <string>

#include "mainwindow/MainWindow_win.h"
#include "mainwindow/ProgramMessages.h"
#include "mainwindow/SkinLayout_win.h"
#include "mainwindow/WindowRegion_win.h"
#include "package/Package.h"
#include "resources/resource.h"
#include "skinctl/SkinHook_win.h"
#include "support/Captions.h"
#include "support/GdiHandles_win.h"
#include "support/MessageSeam.h"
#include "support/SystemText_win.h"

SkinImages gSkinImages;

const char kInstallWindowClass[] = "InstallWindowClass";
const char kInstallButtonClass[] = "InstallButtonClass";
const char kNormalImageName[] = "WINDOW1.BMP";
const char kHighlightImageName[] = "WINDOW2.BMP";

namespace {

MainWindowHandlers gHandlers;

const char kMainWindowTitle[] = "Install";
const char kMissingImageText[] = "程序资源中缺少窗口图片: ";
const char kNoWindowText[] = "无法创建主窗口!";
constexpr UINT kExitStartFailed = 1;

// A picture of our own resources, as a DIB section. Without it there is nothing to show: the user is told which one
// is missing, and the result is null.
HBITMAP LoadSkinImage(const char* name) {
    HANDLE image = LoadImageW(gSkinImages.instance, Wide(name).c_str(), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION);
    if (!image) {
        const std::string text = kMissingImageText + std::string(name);
        ShowMessage(nullptr, text.c_str(), kErrorCaption, kMbOk | kMbIconError);
    }
    return static_cast<HBITMAP>(image);
}

// The program's exit code when the window could not be shown. A layout file missing from the package ends it as
// a clean run does.
int StartFailureCode(WindowStart start) {
    return start == WindowStart::kNoLayout ? 0 : int(kExitStartFailed);
}

// A skin picture selected into a memory DC of its own for the whole run. The members are released in reverse order
// of creation: the DC's first bitmap is put back, the DC is deleted, then the picture.
struct SelectedPicture {
    explicit SelectedPicture(HBITMAP picture)
        : image(picture), dc(CreateCompatibleDC(nullptr)), select(dc.get(), image.get()) {}

    OwnedGdiObject<HBITMAP> image;
    OwnedDc dc;
    ScopedSelectObject select;
};

// The owners behind gSkinImages' pictures and drawing surfaces.
std::unique_ptr<SelectedPicture> gNormalPicture;
std::unique_ptr<SelectedPicture> gHighlightPicture;

// Both classes are Unicode classes: their windows take and give their texts as UTF-16 whatever the system's code
// page is.
void RegisterWindowClasses() {
    const std::wstring buttonClass = Wide(kInstallButtonClass);
    WNDCLASSEXW button = {};
    button.cbSize = sizeof button;
    button.style = CS_VREDRAW | CS_HREDRAW | CS_PARENTDC;
    button.lpfnWndProc = SkinButtonProc;
    button.hInstance = gSkinImages.instance;
    button.hCursor = LoadCursorW(gSkinImages.instance, MAKEINTRESOURCEW(IDR_HAND_CURSOR));
    button.lpszClassName = buttonClass.c_str();
    RegisterClassExW(&button);

    const std::wstring windowClass = Wide(kInstallWindowClass);
    WNDCLASSEXW window = {};
    window.cbSize = sizeof window;
    window.lpfnWndProc = MainWindowProc;
    window.hInstance = gSkinImages.instance;
    window.hIcon = LoadIconW(gSkinImages.instance, MAKEINTRESOURCEW(IDI_APP));
    window.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));  // an ordinal, not a text
    window.lpszClassName = windowClass.c_str();
    RegisterClassExW(&window);
}

LRESULT OnCreate(HWND window) {
    // The window owns the region from here on and frees it with itself.
    if (gSkinImages.region)
        SetWindowRgn(window, gSkinImages.region, TRUE);
    return 1;
}

LRESULT OnDestroy() {
    PostQuitMessage(0);
    return 1;
}

void Dispatch(const LayoutRecord& record, HWND window) {
    if (gHandlers.command)
        gHandlers.command(record, window);
}

LRESULT OnClose(HWND window) {
    for (const LayoutRecord& record : gSkinLayout) {
        if (record.command == "close") {
            Dispatch(record, window);
            break;
        }
    }
    return 1;
}

LRESULT OnEraseBackground(HDC dc) {
    BitBlt(dc, 0, 0, gSkinImages.width, gSkinImages.height, gSkinImages.normalDc, 0, 0, SRCCOPY);
    return 0;
}

LRESULT OnCommand(HWND window, WPARAM wParam) {
    const int index = int(LOWORD(wParam)) - kFirstControlId;
    if (index < 0 || size_t(index) >= gSkinLayout.size())
        return 0;
    Dispatch(gSkinLayout[size_t(index)], window);
    return 1;
}

LRESULT OnInstallDone(HWND window) {
    if (gHandlers.installDone)
        gHandlers.installDone(window);
    return 0;
}

LRESULT OnInstallProgress(HWND window, WPARAM percent) {
    if (gHandlers.installProgress)
        gHandlers.installProgress(window, unsigned(percent));
    return 0;
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_CREATE:
            return OnCreate(window);
        case WM_SIZE:
            return 1;
        case WM_DESTROY:
            return OnDestroy();
        case WM_CLOSE:
            return OnClose(window);
        case WM_ERASEBKGND:
            return OnEraseBackground(reinterpret_cast<HDC>(wParam));
        case WM_NCHITTEST:
            return HTCAPTION;  // a press anywhere outside the controls drags the window
        case WM_COMMAND:
            return OnCommand(window, wParam);
        case kInstallDoneMessage:
            return OnInstallDone(window);
        case kInstallProgressMessage:
            return OnInstallProgress(window, wParam);
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

void SetMainWindowHandlers(const MainWindowHandlers& handlers) {
    gHandlers = handlers;
}

void CenterWindow(HWND window) {
    RECT outer = {};
    GetWindowRect(window, &outer);
    const int x = (GetSystemMetrics(SM_CXSCREEN) - (outer.right - outer.left)) / 2;
    const int y = (GetSystemMetrics(SM_CYSCREEN) - (outer.bottom - outer.top)) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

WindowStart CreateMainWindowWithImages(HBITMAP normalImage, HBITMAP highlightImage) {
    gSkinImages.normalImage = normalImage;
    gSkinImages.highlightImage = highlightImage;
    // Before the picture goes into its DC: the scan selects it into one of its own.
    gSkinImages.region = RegionFromBitmap(normalImage, kSkinKeyColour, true);

    BITMAP size = {};
    GetObjectW(normalImage, sizeof size, &size);
    gSkinImages.width = size.bmWidth;
    gSkinImages.height = size.bmHeight;

    gNormalPicture = std::make_unique<SelectedPicture>(normalImage);
    gHighlightPicture = std::make_unique<SelectedPicture>(highlightImage);
    gSkinImages.normalDc = gNormalPicture->dc.get();
    gSkinImages.highlightDc = gHighlightPicture->dc.get();

    RegisterWindowClasses();
    gSkinImages.mainWindow = CreateWindowExW(0, Wide(kInstallWindowClass).c_str(), Wide(kMainWindowTitle).c_str(),
                                             WS_POPUP, CW_USEDEFAULT, CW_USEDEFAULT, gSkinImages.width,
                                             gSkinImages.height, nullptr, nullptr, gSkinImages.instance, nullptr);
    if (!gSkinImages.mainWindow) {
        // Without a window the message loop would wait forever for a quit that nothing can send.
        ShowMessage(nullptr, kNoWindowText, kErrorCaption, kMbOk | kMbIconError);
        return WindowStart::kNoWindow;
    }

    if (!LoadSkinLayout(gSkinImages.mainWindow))
        return WindowStart::kNoLayout;
    if (gHandlers.controlsCreated)
        gHandlers.controlsCreated();
    CenterWindow(gSkinImages.mainWindow);
    ShowWindow(gSkinImages.mainWindow, SW_SHOWNORMAL);
    UpdateWindow(gSkinImages.mainWindow);
    return WindowStart::kShown;
}

WindowStart CreateMainWindow() {
    OwnedGdiObject<HBITMAP> normalImage(LoadSkinImage(kNormalImageName));
    if (!normalImage.get())
        return WindowStart::kNoPicture;
    OwnedGdiObject<HBITMAP> highlightImage(LoadSkinImage(kHighlightImageName));
    if (!highlightImage.get())
        return WindowStart::kNoPicture;
    return CreateMainWindowWithImages(normalImage.release(), highlightImage.release());
}

void DestroyMainWindow() {
    if (gSkinImages.mainWindow)
        DestroyWindow(gSkinImages.mainWindow);  // its WM_DESTROY posts one more quit message, which nobody reads
    gSkinImages.mainWindow = nullptr;
    gSkinImages.region = nullptr;  // freed with the window
    gSkinLayout.clear();
    UnregisterClassW(Wide(kInstallButtonClass).c_str(), gSkinImages.instance);
    UnregisterClassW(Wide(kInstallWindowClass).c_str(), gSkinImages.instance);
    gSkinImages.normalDc = gSkinImages.highlightDc = nullptr;
    gSkinImages.normalImage = gSkinImages.highlightImage = nullptr;
    gNormalPicture.reset();
    gHighlightPicture.reset();
}

int RunSetup(HINSTANCE instance) {
    IndexPackage();
    gSkinImages.instance = instance;
    InstallSkinHook(kSkinBackground);
    const WindowStart start = CreateMainWindow();
    if (start != WindowStart::kShown) {
        DestroyMainWindow();
        RemoveSkinHook();
        return StartFailureCode(start);
    }

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0)) {  // -1 counts as non-zero: the loop goes on
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }

    if (gHandlers.loopEnded && gSkinImages.mainWindow)
        gHandlers.loopEnded(gSkinImages.mainWindow);
    DestroyMainWindow();
    RemoveSkinHook();
    return 0;
}
