#include <windows.h>

#include <string>
#include <vector>

#include "skinctl/SkinControls_win.h"
#include "skinctl/SkinHook_win.h"
#include "support/MessageSeam.h"
#include "support/SystemLibrary_win.h"
#include "support/SystemText_win.h"

static_assert(skinmsg::kDestroy == WM_DESTROY && skinmsg::kSetFocus == WM_SETFOCUS &&
                  skinmsg::kKillFocus == WM_KILLFOCUS && skinmsg::kEnable == WM_ENABLE &&
                  skinmsg::kSetText == WM_SETTEXT && skinmsg::kPaint == WM_PAINT &&
                  skinmsg::kNcDestroy == WM_NCDESTROY && skinmsg::kNcPaint == WM_NCPAINT,
              "window messages");
static_assert(skinmsg::kSetReadOnly == EM_SETREADONLY && skinmsg::kGetCheck == BM_GETCHECK &&
                  skinmsg::kSetCheck == BM_SETCHECK && skinmsg::kSetState == BM_SETSTATE,
              "control messages");
static_assert(skinmsg::kCtlColorBtn == WM_CTLCOLORBTN && skinmsg::kCtlColorDlg == WM_CTLCOLORDLG &&
                  skinmsg::kCtlColorStatic == WM_CTLCOLORSTATIC,
              "colour messages");
static_assert(skinmsg::kMouseMove == WM_MOUSEMOVE && skinmsg::kLButtonDown == WM_LBUTTONDOWN &&
                  skinmsg::kLButtonUp == WM_LBUTTONUP && skinmsg::kMouseLeave == WM_MOUSELEAVE &&
                  skinmsg::kLeftButtonHeld == MK_LBUTTON,
              "mouse messages");
static_assert(skinstyle::kPushLike == BS_PUSHLIKE && skinstyle::kButtonMultiLine == BS_MULTILINE &&
                  skinstyle::kEditReadOnly == ES_READONLY && skinstyle::kBorder == WS_BORDER &&
                  skinstyle::kDisabled == WS_DISABLED && skinstyle::kExClientEdge == WS_EX_CLIENTEDGE &&
                  skinstyle::kExStaticEdge == WS_EX_STATICEDGE,
              "styles");

SkinBackground gSkinBackground = {0, nullptr};

namespace {

constexpr size_t kClassNameSize = 512;
constexpr UINT kRedrawWhole = RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ERASENOW | RDW_FRAME;  // 0x705
constexpr size_t kNotFound = size_t(-1);
const char kNoRecordText[] = "error! xp==0";

// In the order the windows were skinned; a window is in it at most once. SkinProc never keeps a reference into it
// across a call that can create or destroy windows: it looks the window up again.
std::vector<SkinnedWindow> gSkinnedWindowTable;
bool gNoRecordShown = false;

size_t IndexOf(HWND window) {
    for (size_t i = 0; i < gSkinnedWindowTable.size(); ++i) {
        if (gSkinnedWindowTable[i].window == window)
            return i;
    }
    return kNotFound;
}

void Forget(HWND window) {
    const size_t index = IndexOf(window);
    if (index == kNotFound)
        return;
    gSkinnedWindowTable.erase(gSkinnedWindowTable.begin() + ptrdiff_t(index));
    ReleaseSkinBackgroundIfUnused(SkinHookInstalled());
}

// A window whose procedure is SkinProc but which has no record: nothing to pass the message on to. Say so once,
// then answer like a window without a procedure of its own. SkinProc is a Unicode procedure (it goes in with
// SetWindowLongPtrW), so the message is a Unicode one.
LRESULT OnWindowWithoutRecord(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!gNoRecordShown) {
        gNoRecordShown = true;
        ShowMessage(nullptr, kNoRecordText, nullptr, kMbOk);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT OnDialogColour(WPARAM wParam, LRESULT result) {
    if (!gSkinBackground.brush)
        return result;
    SetBkColor(reinterpret_cast<HDC>(wParam), gSkinBackground.colour);
    return reinterpret_cast<LRESULT>(gSkinBackground.brush);
}

}  // namespace

// The class name is read in UTF-16 and compared as GBK, as every name of ours: the skinned classes are system
// classes with ASCII names, and a name that GBK cannot spell is none of them.
SkinKind ClassifyWindow(HWND window) {
    wchar_t name[kClassNameSize] = {};
    const int length = GetClassNameW(window, name, int(kClassNameSize));
    std::string gbkName;
    if (length <= 0 || !GbkFromWide(name, size_t(length), &gbkName))
        return kSkinNone;
    return ClassifyClass(gbkName, uint32_t(GetWindowLongPtrW(window, GWL_STYLE)));
}

void SkinWindow(HWND window) {
    if (IndexOf(window) != kNotFound)
        return;
    const SkinKind kind = ClassifyWindow(window);
    if (kind == kSkinNone)
        return;
    const uint32_t style = uint32_t(GetWindowLongPtrW(window, GWL_STYLE));
    const bool focused = GetFocus() == window;
    gSkinnedWindowTable.push_back({window, kind, InitialSkinState(kind, style, focused, 0), nullptr});
    const WNDPROC previous =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SkinProc)));
    const size_t index = IndexOf(window);
    if (index == kNotFound)
        return;
    gSkinnedWindowTable[index].previous = previous;
    if (!previous) {
        // The procedure could not be replaced: leave the window as it is.
        gSkinnedWindowTable.erase(gSkinnedWindowTable.begin() + ptrdiff_t(index));
        return;
    }
    if (kind == kSkinPushButton || kind == kSkinCheckBox || kind == kSkinRadioButton) {
        const intptr_t check = intptr_t(SendMessageW(window, BM_GETCHECK, 0, 0));
        const size_t again = IndexOf(window);
        if (again != kNotFound)
            gSkinnedWindowTable[again].state |= InitialSkinState(kind, style, focused, check);
    }
    RedrawWindow(window, nullptr, nullptr, kRedrawWhole);
}

void UnskinWindow(HWND window) {
    const size_t index = IndexOf(window);
    if (index == kNotFound)
        return;
    const SkinnedWindow record = gSkinnedWindowTable[index];
    // Read with the A function, SkinProc would come back as a stand-in of the system and never compare equal.
    if (GetWindowLongPtrW(window, GWLP_WNDPROC) != reinterpret_cast<LONG_PTR>(&SkinProc))
        return;  // a later subclass calls through us; the record goes at WM_NCDESTROY
    // What SetWindowLongPtrW handed out goes back through it: an ANSI procedure becomes the window's again, and
    // with it the window's ANSI character set.
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(record.previous));
    RedrawWindow(window, nullptr, nullptr, kRedrawWhole);
    Forget(window);
}

LRESULT CALLBACK SkinProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    size_t index = IndexOf(window);
    if (index == kNotFound)
        return OnWindowWithoutRecord(window, message, wParam, lParam);
    // The message arrives as a Unicode one and goes on unchanged; where the previous procedure is an ANSI one, the
    // system converts it on the way, as it does for any ANSI window.
    const WNDPROC previous = gSkinnedWindowTable[index].previous;
    const LRESULT result = CallWindowProcW(previous, window, message, wParam, lParam);

    // The control's own procedure may have skinned or forgotten windows, this one included.
    index = IndexOf(window);
    if (index == kNotFound)
        return result;
    SkinnedWindow& record = gSkinnedWindowTable[index];
    const SkinReaction reaction = ReactToMessage(record.kind, message, uintptr_t(wParam), record.state);
    record.state = reaction.state;
    const SkinnedWindow now = record;  // the painters send messages of their own: work on a copy
    switch (reaction.action) {
        case SkinAction::kNone:
            break;
        case SkinAction::kRepaint:
            PaintSkinned(now);
            break;
        case SkinAction::kRepaintAndTrackLeave:
            PaintSkinned(now);
            TrackMouseLeave(window);
            break;
        case SkinAction::kUnskin:
            UnskinWindow(window);
            break;
        case SkinAction::kForget:
            Forget(window);
            break;
        case SkinAction::kDialogColour:
            return OnDialogColour(wParam, result);
    }
    return result;
}

void PaintSkinned(const SkinnedWindow& record) {
    switch (record.kind) {
        case kSkinPushButton:
            PaintPushButton(record);
            break;
        case kSkinCheckBox:
            PaintCheckBox(record);
            break;
        case kSkinRadioButton:
            PaintRadioButton(record);
            break;
        case kSkinGroupBox:
            PaintGroupBox(record);
            break;
        case kSkinEdit:
            PaintEditFrame(record);
            break;
        case kSkinComboBox:
            PaintComboBox(record);
            break;
        case kSkinDialog:
        case kSkinNone:
        case kSkinKindCount:
            break;
    }
}

bool FindSkinnedWindow(HWND window, SkinnedWindow* record) {
    const size_t index = IndexOf(window);
    if (index == kNotFound)
        return false;
    *record = gSkinnedWindowTable[index];
    return true;
}

size_t SkinnedWindowCount() {
    return gSkinnedWindowTable.size();
}

void ReleaseSkinBackgroundIfUnused(bool hookInstalled) {
    if (hookInstalled || !gSkinnedWindowTable.empty() || !gSkinBackground.brush)
        return;
    DeleteObject(gSkinBackground.brush);
    gSkinBackground.brush = nullptr;
}
