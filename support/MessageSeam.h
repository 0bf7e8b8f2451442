#pragma once

// Every message box the system shows goes through ShowMessage. The Windows builds show a real
// MessageBoxW (the GBK texts converted); the package tool prints a line; tests install a handler that records the
// text and answers.
//
// The style and answer values are the Win32 MB_* and ID* numbers, so the Windows half passes them on as they are.

enum MessageStyle : unsigned {
    kMbOk = 0x00000000u,
    kMbOkCancel = 0x00000001u,
    kMbYesNo = 0x00000004u,
    kMbIconError = 0x00000010u,
    kMbIconQuestion = 0x00000020u,
    kMbIconWarning = 0x00000030u,
    kMbIconInformation = 0x00000040u,
    kMbDefButton2 = 0x00000100u,  // the second button ("否" of kMbYesNo) is the default
};

enum MessageAnswer : int {
    kIdOk = 1,
    kIdCancel = 2,
    kIdYes = 6,
    kIdNo = 7,
};

// owner is the owner window (an HWND in the Windows builds) or null for none.
using MessageHandler = int (*)(void* owner, const char* text, const char* caption, unsigned style);

// Installs a handler; null restores the build's default. Returns the handler that was installed before.
// Set it before any second thread starts: the pointer itself is not synchronised.
MessageHandler SetMessageHandler(MessageHandler handler);

// Shows a modal message and returns the answer (kIdOk, kIdCancel, ...).
int ShowMessage(void* owner, const char* text, const char* caption, unsigned style);

// The build's own default handler (MessageBoxW on Windows, a line on stderr elsewhere).
int DefaultMessageHandler(void* owner, const char* text, const char* caption, unsigned style);
