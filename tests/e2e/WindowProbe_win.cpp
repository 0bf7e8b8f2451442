// window_probe: looks at the running installer from outside, for the end-to-end walk. The skin controls are child
// windows without X windows of their own, and a message box's text is not in its X window's name, so the walk asks
// Windows itself. Everything is printed as UTF-8, one item a line.
//
//   window_probe controls   every child of the main window: "<control id> visible" or "<control id> hidden"
//   window_probe boxes      every visible dialog window: "<caption><TAB><message text>", line breaks in the text
//                           printed as "\n"
//
// Exit status: 0; 1 when "controls" finds no main window; 2 on a usage error.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "ProbeText_win.h"

namespace {

const char kMainClass[] = "InstallWindowClass";
const char kMainTitle[] = "Install";
const wchar_t kDialogClass[] = L"#32770";
constexpr int kMessageTextId = 0xFFFF;  // the static control that holds a message box's text
constexpr int kTextLimit = 4096;

std::string WindowText(HWND window) {
    wchar_t text[kTextLimit] = {};
    if (window)
        GetWindowTextW(window, text, kTextLimit);
    return Utf8(text);
}

// One line per item: a line break inside the text becomes the two characters "\n", a CR is dropped.
std::string OneLine(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c != '\r')
            out += c;
    }
    return out;
}

void PrintLine(const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
}

BOOL CALLBACK PrintControl(HWND control, LPARAM) {
    char line[64];
    std::snprintf(line, sizeof line, "%d %s", GetDlgCtrlID(control), IsWindowVisible(control) ? "visible" : "hidden");
    PrintLine(line);
    return TRUE;
}

struct BoxCount {
    int windows = 0;
    int boxes = 0;
};

BOOL CALLBACK PrintBox(HWND window, LPARAM param) {
    auto* count = reinterpret_cast<BoxCount*>(param);
    ++count->windows;
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (std::wcscmp(className, kDialogClass) != 0 || !IsWindowVisible(window))
        return TRUE;
    ++count->boxes;
    PrintLine(OneLine(WindowText(window)) + "\t" + OneLine(WindowText(GetDlgItem(window, kMessageTextId))));
    return TRUE;
}

int Controls() {
    HWND main = FindWindowA(kMainClass, kMainTitle);
    if (!main) {
        std::fputs("window_probe: no main window\n", stderr);
        return 1;
    }
    EnumChildWindows(main, PrintControl, 0);
    return 0;
}

// When no box is shown, stderr says how many top-level windows this desktop holds and its name: a walk that sees the
// box on the X display but not here has its probes on another desktop than the program under test.
int Boxes() {
    BoxCount count;
    EnumWindows(PrintBox, reinterpret_cast<LPARAM>(&count));
    if (count.boxes == 0) {
        wchar_t desktop[128] = L"?";
        GetUserObjectInformationW(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, desktop, sizeof desktop, nullptr);
        std::fprintf(stderr, "window_probe: no dialog among %d top-level windows of desktop %s\n", count.windows,
                     Utf8(desktop).c_str());
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    if (argc == 2 && std::strcmp(argv[1], "controls") == 0)
        return Controls();
    if (argc == 2 && std::strcmp(argv[1], "boxes") == 0)
        return Boxes();
    std::fputs("usage: window_probe controls|boxes\n", stderr);
    return 2;
}
