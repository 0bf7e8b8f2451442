#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "skinctl/SkinControls_win.h"
#include "skinctl/SkinHook_win.h"
#include "support/MessageSeam.h"
#include "tests/skinctl/SkinTestWindows_win.h"

namespace {

constexpr COLORREF kPushFrame = RGB(0, 60, 115);
constexpr COLORREF kMark = RGB(33, 162, 33);
constexpr COLORREF kFieldFrame = RGB(123, 158, 189);
constexpr COLORREF kGroupLine = RGB(117, 136, 173);

// Every control here is created after the hook is in place, inside a visible host window.
class SkinnedControls : public ::testing::Test {
  protected:
    void SetUp() override {
        // The pointer off the host window: where an earlier program left it, a control made under it would be hot
        // from the start.
        SetCursorPos(0, 0);
        // A program that ended on a press (the installer's close control acts on the press) may leave the system
        // counting the left button as held under Wine: the release went to a window that no longer existed, and
        // every later move then carries MK_LBUTTON. The release is given here, off every window of ours.
        if (GetAsyncKeyState(VK_LBUTTON) & 0x8000) {
            INPUT release = {};
            release.type = INPUT_MOUSE;
            release.mi.dwFlags = MOUSEEVENTF_LEFTUP;
            SendInput(1, &release, sizeof release);
            PumpFor(50);
        }
        InstallSkinHook(kSkinColour);
        host_ = std::make_unique<HostWindow>();
    }
    void TearDown() override {
        host_.reset();
        RemoveSkinHook();
    }

    HWND Add(const char* className, const char* text, DWORD style, int width, int height, DWORD exStyle = 0) {
        HWND control = host_->Add(className, text, style, 20, 20, width, height, exStyle);
        PaintNow(host_->get());
        return control;
    }

    static uint32_t State(HWND window) {
        SkinnedWindow record = {};
        EXPECT_TRUE(FindSkinnedWindow(window, &record));
        return record.state;
    }

    std::unique_ptr<HostWindow> host_;
};

TEST_F(SkinnedControls, PushButtonFrameFacesAndCorners) {
    HWND button = Add("button", "OK", BS_PUSHBUTTON, 80, 26);
    SkinnedWindow record = {};
    ASSERT_TRUE(FindSkinnedWindow(button, &record));
    EXPECT_EQ(record.kind, kSkinPushButton);
    const SIZE size = WindowSize(button);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);

    EXPECT_EQ(WindowPixel(button, size.cx / 2, 0), kPushFrame);
    EXPECT_EQ(WindowPixel(button, 0, size.cy / 2), kPushFrame);
    EXPECT_EQ(WindowPixel(button, 0, 0), face);
    EXPECT_EQ(WindowPixel(button, size.cx - 1, size.cy - 1), face);
    EXPECT_EQ(WindowPixel(button, 1, 1), RGB(82, 125, 165));
    EXPECT_EQ(WindowPixel(button, size.cx - 2, 0), RGB(123, 150, 173));
    // Normal: white at the top of the outer face, the inner face from (252, 252, 251) down.
    EXPECT_EQ(WindowPixel(button, 4, 1), RGB(255, 255, 255));
    EXPECT_TRUE(Near(WindowPixel(button, 4, 3), RGB(252, 252, 251), 2)) << ColourText(WindowPixel(button, 4, 3));
    EXPECT_TRUE(Near(WindowPixel(button, 1, size.cy - 2 - 1), RGB(226, 223, 214), 6));

    // Pressed: the pressed face and the inner down fill.
    SendMessageA(button, BM_SETSTATE, TRUE, 0);
    EXPECT_TRUE(State(button) & kSkinPressed);
    EXPECT_EQ(WindowPixel(button, 4, 1), RGB(209, 204, 193));
    EXPECT_TRUE(Near(WindowPixel(button, 5, 4), RGB(231, 227, 222), 3)) << ColourText(WindowPixel(button, 5, 4));
    SendMessageA(button, BM_SETSTATE, FALSE, 0);
    EXPECT_EQ(WindowPixel(button, 4, 1), RGB(255, 255, 255));

    // Disabled: a grey frame, the flat face without an inner gradient, rounded with colours of the face.
    EnableWindow(button, FALSE);
    EXPECT_TRUE(State(button) & kSkinDisabled);
    EXPECT_EQ(WindowPixel(button, size.cx / 2, 0),
              RGB(GetRValue(face) - 0x20, GetGValue(face) - 0x20, GetBValue(face) - 0x20));
    EXPECT_EQ(WindowPixel(button, 4, 1), RGB(245, 244, 234));
    EXPECT_EQ(WindowPixel(button, 5, 5), RGB(245, 244, 234));
    EXPECT_EQ(WindowPixel(button, size.cx - 6, size.cy - 6), RGB(245, 244, 234));
}

TEST_F(SkinnedControls, DisabledPushButtonTextIsGrey) {
    HWND button = Add("button", "WWWW", BS_PUSHBUTTON | WS_DISABLED, 120, 30);
    ASSERT_TRUE(State(button) & kSkinDisabled);
    const SIZE size = WindowSize(button);
    int grey = 0;
    int black = 0;
    for (int y = 4; y < size.cy - 4; ++y) {
        for (int x = 4; x < size.cx - 4; ++x) {
            const COLORREF pixel = WindowPixel(button, x, y);
            grey += pixel == RGB(165, 162, 148);
            black += pixel == RGB(0, 0, 0);
        }
    }
    EXPECT_GT(grey, 10);
    EXPECT_EQ(black, 0);
}

// Puts the pointer at x, y as a hand does, moving it by a pixel each second until done() holds: a pointer already
// resting there (an earlier program left it so) or a move the system passes on before the window is on the screen
// makes no motion for the window to see.
template <typename Done>
bool MoveMouseUntil(int x, int y, Done done) {
    for (int second = 0; second < 20; ++second) {
        SetCursorPos(x + (second & 1), y);
        if (PumpUntil(done, 1000))
            return true;
    }
    return false;
}

TEST_F(SkinnedControls, HotUnderTheMouseButNotWithTheLeftButtonHeld) {
    HWND button = Add("button", "", BS_PUSHBUTTON, 80, 26);
    const SIZE size = WindowSize(button);
    SendMessageA(button, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(10, 10));
    EXPECT_FALSE(State(button) & kSkinHot);
    EXPECT_EQ(WindowPixel(button, 4, 1), RGB(255, 255, 255));

    RECT outer = {};
    GetWindowRect(button, &outer);
    ASSERT_TRUE(MoveMouseUntil(outer.left + 20, outer.top + 10, [&] { return (State(button) & kSkinHot) != 0; }));
    EXPECT_EQ(WindowPixel(button, 4, 1), RGB(255, 240, 207));
    EXPECT_TRUE(Near(WindowPixel(button, 2, size.cy - 3), RGB(229, 151, 0), 24))
        << ColourText(WindowPixel(button, 2, size.cy - 3));

    ASSERT_TRUE(MoveMouseUntil(outer.left + 20, outer.bottom + 60, [&] { return (State(button) & kSkinHot) == 0; }));
    EXPECT_EQ(WindowPixel(button, 4, 1), RGB(255, 255, 255));
}

TEST_F(SkinnedControls, CheckBoxMarkAndIndeterminateFill) {
    HWND box = Add("button", "check", BS_AUTO3STATE, 120, 19);
    ASSERT_EQ(State(box) & (kSkinChecked | kSkinIndeterminate), 0u);
    const int squareTop = (19 - 13) / 2 + 3;
    EXPECT_EQ(WindowPixel(box, 0, squareTop - 3), RGB(24, 81, 132));  // the box frame
    EXPECT_EQ(WindowPixel(box, 15, 1), kSkinColour);                  // the background
    EXPECT_NE(WindowPixel(box, 5, squareTop + 4), kMark);

    SendMessageA(box, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(State(box) & (kSkinChecked | kSkinIndeterminate), kSkinChecked);
    const struct {
        int x, top, bottom;
    } strokes[] = {{3, 2, 5}, {4, 3, 6}, {5, 4, 7}, {6, 3, 6}, {7, 2, 5}, {8, 1, 4}, {9, 0, 3}};
    for (const auto& stroke : strokes) {
        for (int y = 0; y < 7; ++y) {
            const bool onMark = y >= stroke.top && y < stroke.bottom;
            EXPECT_EQ(WindowPixel(box, stroke.x, squareTop + y) == kMark, onMark) << stroke.x << "," << y;
        }
    }

    SendMessageA(box, BM_SETCHECK, BST_INDETERMINATE, 0);
    EXPECT_EQ(State(box) & (kSkinChecked | kSkinIndeterminate), kSkinIndeterminate);
    for (int y = 0; y < 7; ++y) {
        for (int x = 3; x < 10; ++x)
            EXPECT_EQ(WindowPixel(box, x, squareTop + y), RGB(115, 195, 115)) << x << "," << y;
    }
}

TEST_F(SkinnedControls, DisabledCheckBoxHasAWhiteBox) {
    HWND box = Add("button", "off", BS_AUTOCHECKBOX | WS_DISABLED, 120, 19);
    const int boxTop = (19 - 13) / 2;
    EXPECT_EQ(WindowPixel(box, 6, boxTop + 6), RGB(255, 255, 255));
    EXPECT_EQ(WindowPixel(box, 1, boxTop + 1), RGB(255, 255, 255));
}

TEST_F(SkinnedControls, RadioDot) {
    HWND radio = Add("button", "radio", BS_AUTORADIOBUTTON, 120, 19);
    EXPECT_EQ(State(radio) & kSkinChecked, 0u);
    const int squareTop = (19 - 13) / 2 + 3;
    EXPECT_NE(WindowPixel(radio, 6, squareTop + 3), kMark);
    SendMessageA(radio, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(WindowPixel(radio, 6, squareTop + 3), kMark);
    EXPECT_EQ(WindowPixel(radio, 5, squareTop + 2), kMark);
}

TEST_F(SkinnedControls, PushLikeCheckBoxIsAPushButtonWithTheCheckedFace) {
    HWND button = Add("button", "", BS_AUTOCHECKBOX | BS_PUSHLIKE, 80, 26);
    SkinnedWindow record = {};
    ASSERT_TRUE(FindSkinnedWindow(button, &record));
    EXPECT_EQ(record.kind, kSkinPushButton);
    SendMessageA(button, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(WindowPixel(button, 4, 1), RGB(214, 203, 189));
    EXPECT_EQ(WindowPixel(button, 4, 3), RGB(231, 227, 222));
}

TEST_F(SkinnedControls, OwnerDrawnButtonAndSimpleComboKeepTheirOwnLook) {
    HWND owner = Add("button", "", BS_OWNERDRAW, 80, 26);
    HWND simple = host_->Add("combobox", "", CBS_SIMPLE, 20, 80, 120, 80);
    PaintNow(host_->get());
    SkinnedWindow record = {};
    EXPECT_FALSE(FindSkinnedWindow(owner, &record));
    EXPECT_FALSE(FindSkinnedWindow(simple, &record));
    EXPECT_EQ(WindowPixel(owner, 0, 0), kOwnerDrawnColour);
    EXPECT_EQ(WindowPixel(owner, 40, 13), kOwnerDrawnColour);
    EXPECT_NE(WindowPixel(simple, 0, 0), kFieldFrame);
    EXPECT_NE(GetWindowLongPtrA(owner, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SkinProc));
}

// The first row of column x that shows the group line, or -1.
int FirstLineRow(HWND group, int x, int rows) {
    for (int y = 0; y < rows; ++y) {
        if (WindowPixel(group, x, y) == kGroupLine)
            return y;
    }
    return -1;
}

TEST_F(SkinnedControls, GroupBoxLineLeavesTheCaptionGapAndClosesWithoutCaption) {
    HWND captioned = host_->Add("button", "Group", BS_GROUPBOX, 20, 20, 160, 100);
    HWND bare = host_->Add("button", "", BS_GROUPBOX, 200, 20, 160, 100);
    PaintNow(host_->get());
    const int top = FirstLineRow(bare, 80, 20);
    ASSERT_GE(top, 0);
    // Without a caption the top line runs from x 0 across to the right side.
    for (int x = 0; x <= 158; ++x)
        EXPECT_EQ(WindowPixel(bare, x, top), kGroupLine) << x;
    EXPECT_EQ(WindowPixel(bare, 0, 98), kGroupLine);
    EXPECT_EQ(WindowPixel(bare, 158, 50), kGroupLine);
    // With one, the line stops at x 6 and starts again after the caption.
    EXPECT_EQ(WindowPixel(captioned, 3, top), kGroupLine);
    EXPECT_NE(WindowPixel(captioned, 8, top), kGroupLine);
    EXPECT_EQ(WindowPixel(captioned, 150, top), kGroupLine);
}

TEST_F(SkinnedControls, EditFramesByBorderAndReadOnly) {
    HWND plain = host_->Add("edit", "plain", 0, 20, 20, 120, 22);
    HWND readOnly = host_->Add("edit", "read only", ES_READONLY, 20, 60, 120, 22, WS_EX_CLIENTEDGE);
    HWND writable = host_->Add("edit", "writable", 0, 20, 100, 120, 22, WS_EX_CLIENTEDGE);
    PaintNow(host_->get());
    EXPECT_NE(WindowPixel(plain, 0, 0), kFieldFrame);
    EXPECT_NE(WindowPixel(plain, 60, 0), kFieldFrame);

    EXPECT_TRUE(State(readOnly) & kSkinReadOnly);
    EXPECT_EQ(WindowPixel(readOnly, 60, 0), kFieldFrame);
    EXPECT_EQ(WindowPixel(readOnly, 0, 11), kFieldFrame);
    EXPECT_EQ(WindowPixel(readOnly, 60, 1), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(WindowPixel(readOnly, 1, 11), GetSysColor(COLOR_BTNFACE));

    EXPECT_EQ(WindowPixel(writable, 60, 0), kFieldFrame);
    EXPECT_EQ(WindowPixel(writable, 60, 1), GetSysColor(COLOR_WINDOW));
    SendMessageA(writable, EM_SETREADONLY, TRUE, 0);
    EXPECT_EQ(WindowPixel(writable, 60, 1), GetSysColor(COLOR_BTNFACE));
}

TEST_F(SkinnedControls, ComboBoxDropDownButtonCornersAndArrow) {
    HWND combo = host_->Add("combobox", "", CBS_DROPDOWNLIST, 20, 20, 140, 120);
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("item"));
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
    PaintNow(host_->get());
    SkinnedWindow record = {};
    ASSERT_TRUE(FindSkinnedWindow(combo, &record));
    EXPECT_EQ(record.kind, kSkinComboBox);
    const SIZE size = WindowSize(combo);
    EXPECT_EQ(WindowPixel(combo, 0, 0), kFieldFrame);
    EXPECT_EQ(WindowPixel(combo, 1, 1), GetSysColor(COLOR_WINDOW));

    // The button: from right - thumb (its frame) plus one, inside the two-pixel frame.
    RECT button = {size.cx - 2 - GetSystemMetrics(SM_CYVTHUMB) + 1, 2, size.cx - 2, size.cy - 2};
    EXPECT_EQ(WindowPixel(combo, button.left - 1, size.cy / 2), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(WindowPixel(combo, button.left, button.top), RGB(231, 239, 255));
    EXPECT_EQ(WindowPixel(combo, button.right - 1, button.top), RGB(222, 231, 255));
    EXPECT_EQ(WindowPixel(combo, button.left, button.bottom - 1), RGB(222, 227, 255));
    EXPECT_EQ(WindowPixel(combo, button.right - 1, button.bottom - 1), RGB(222, 227, 247));
    InflateRect(&button, -1, -1);
    const int cx = button.left + (button.right - button.left) / 2;
    const int cy = button.top + (button.bottom - button.top) / 2;
    for (POINT at : {POINT{cx - 4, cy - 2}, POINT{cx, cy + 2}, POINT{cx, cy}, POINT{cx + 3, cy - 2}})
        EXPECT_EQ(WindowPixel(combo, at.x, at.y), RGB(74, 97, 132)) << at.x - cx << "," << at.y - cy;
    EXPECT_NE(WindowPixel(combo, cx, cy + 4), RGB(74, 97, 132));

    SendMessageA(combo, WM_ENABLE, FALSE, 0);
    EXPECT_EQ(WindowPixel(combo, cx, cy + 2), RGB(206, 203, 198));
    EXPECT_EQ(WindowPixel(combo, button.left - 1, button.top - 1), RGB(247, 247, 247));
}

// A subclass put on top of a skinned control, as the folder chooser does with its edit.
WNDPROC gBelowLater = nullptr;
int gSeenNcDestroy = 0;
LRESULT CALLBACK LaterSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCDESTROY)
        ++gSeenNcDestroy;
    return CallWindowProcA(gBelowLater, window, message, wParam, lParam);
}

TEST_F(SkinnedControls, ALaterSubclassKeepsWorkingWhenTheControlIsDestroyed) {
    HWND edit = Add("edit", "", 0, 120, 22, WS_EX_CLIENTEDGE);
    gSeenNcDestroy = 0;
    // SkinProc went in with the W function; the A function of the later subclass hands back a stand-in for it that
    // converts on the way.
    ASSERT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SkinProc));
    gBelowLater = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LaterSubclassProc)));
    ASSERT_NE(gBelowLater, nullptr);
    const size_t before = SkinnedWindowCount();
    int shown = 0;
    static int* boxes = nullptr;
    boxes = &shown;
    const MessageHandler previous = SetMessageHandler([](void*, const char*, const char*, unsigned) {
        ++*boxes;
        return int(kIdOk);
    });
    DestroyWindow(edit);
    SetMessageHandler(previous);
    EXPECT_EQ(gSeenNcDestroy, 1);
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(SkinnedWindowCount(), before - 1);
}

TEST_F(SkinnedControls, DialogRecordLeavesWithItsWindow) {
    HWND dialog = CreateWindowExA(0, "#32770", "dialog", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    SkinnedWindow record = {};
    ASSERT_TRUE(FindSkinnedWindow(dialog, &record));
    EXPECT_EQ(record.kind, kSkinDialog);
    const size_t withDialog = SkinnedWindowCount();
    DestroyWindow(dialog);
    EXPECT_FALSE(FindSkinnedWindow(dialog, &record));
    EXPECT_EQ(SkinnedWindowCount(), withDialog - 1);
}

TEST(SkinProcWithoutRecord, SaysSoOnceAndAnswersLikeAPlainWindow) {
    static int shown = 0;
    static std::string text;
    const MessageHandler previous = SetMessageHandler([](void*, const char* t, const char*, unsigned) {
        ++shown;
        text = t;
        return int(kIdOk);
    });
    HostWindow host;
    HWND stray = host.Add("static", "stray", 0, 10, 10, 60, 20);
    // As SkinWindow puts it in: SkinProc is a Unicode procedure.
    SetWindowLongPtrW(stray, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SkinProc));
    wchar_t got[32] = {};
    for (int i = 0; i < 3; ++i)
        SendMessageW(stray, WM_USER + 5, 0, 0);
    GetWindowTextW(stray, got, 32);
    DestroyWindow(stray);
    SetMessageHandler(previous);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(text, "error! xp==0");
    EXPECT_STREQ(got, L"stray");
}

}  // namespace
