#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "skinctl/SkinLook.h"

// Skinned standard controls: a window of a known kind is subclassed with SkinProc, which lets the control's own
// procedure handle every message first, follows the state bits of SkinLook and then paints the skinned look over
// the control's own drawing. Only the user-interface thread skins windows; nothing here is locked.

struct SkinnedWindow {
    HWND window;
    SkinKind kind;
    uint32_t state;  // SkinState bits
    // The procedure SkinProc replaced, as SetWindowLongPtrW handed it out: SkinProc goes in, calls through and comes
    // out with the W functions, so the skinned window is a Unicode window and its control gets its messages (typed
    // characters above all) in UTF-16 whatever the system's code page; an ANSI procedure below gets them converted
    // by the system.
    WNDPROC previous;
};

// The dialog background: its colour and a solid brush of it, both set by InstallSkinHook before any window is
// skinned. The brush belongs to the hook, which deletes it once no skinned window can use it any more.
struct SkinBackground {
    COLORREF colour;
    HBRUSH brush;
};
extern SkinBackground gSkinBackground;

// Skins the window when it is of a skinned kind and not skinned yet.
void SkinWindow(HWND window);
SkinKind ClassifyWindow(HWND window);
// Puts the previous procedure back and forgets the window. When a later subclass sits on top of SkinProc the
// procedure cannot be put back without cutting that one off: the window then keeps passing through SkinProc
// until it is gone.
void UnskinWindow(HWND window);
LRESULT CALLBACK SkinProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PaintSkinned(const SkinnedWindow& record);

// The window's record as it is now (false when the window is not skinned).
bool FindSkinnedWindow(HWND window, SkinnedWindow* record);
size_t SkinnedWindowCount();

// Called when the hook is removed and whenever a record leaves the table: the background brush is deleted once
// the hook is gone and no skinned window is left to paint with it.
void ReleaseSkinBackgroundIfUnused(bool hookInstalled);

// The painters of SkinLook's kinds; each draws one control at once.
void PaintPushButton(const SkinnedWindow& record);
void PaintCheckBox(const SkinnedWindow& record);
void PaintRadioButton(const SkinnedWindow& record);
void PaintGroupBox(const SkinnedWindow& record);
void PaintEditFrame(const SkinnedWindow& record);
void PaintComboBox(const SkinnedWindow& record);
void FillGradient4(HDC dc, const RECT& rect, const Corners4& colours);
