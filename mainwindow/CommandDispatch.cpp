#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "mainwindow/CommandDispatch.h"
#include "support/MessageSeam.h"

namespace {

LayoutRecord* gStatusControl = nullptr;

void ShowNote(const LayoutRecord& record) {
    ShowMessage(nullptr, record.firstArgument.c_str(), record.secondArgument.c_str(), kMbOk);
}

void OpenInBrowser(const LayoutRecord& record) {
    ShellExecuteA(nullptr, "open", "iexplore.exe", record.firstArgument.c_str(), nullptr, SW_SHOWNORMAL);
}

void MakeLabel(LayoutRecord& record) {
    record.flags |= kLayoutLabel;
    if (record.window) {
        LONG_PTR style = GetWindowLongPtrA(record.window, GWL_STYLE);
        SetWindowLongPtrA(record.window, GWL_STYLE, style | WS_DISABLED);
    }
    if (record.firstArgument == "percent")
        gStatusControl = &record;
    if (gStatusControl)
        gStatusControl->text[0] = '\0';
}

}  // namespace

void DispatchCommand(const LayoutRecord& record, HWND mainWindow) {
    const std::string& command = record.command;
    if (command == "msgbox")
        ShowNote(record);
    else if (command == "minimize")
        ShowWindow(mainWindow, SW_MINIMIZE);
    else if (command == "close")
        PostQuitMessage(0);
    else if (command == "iejump")
        OpenInBrowser(record);
}

void RefreshControls() {
    gStatusControl = nullptr;
    for (LayoutRecord& record : gSkinLayout) {
        record.flags = 0;
        if (record.command == "text")
            MakeLabel(record);
    }
}

LayoutRecord* StatusControl() {
    return gStatusControl;
}

void FinishInstall(HWND, UINT, WPARAM, LPARAM) {}
