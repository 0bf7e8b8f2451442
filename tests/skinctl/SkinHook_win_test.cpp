#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "skinctl/SkinControls_win.h"
#include "skinctl/SkinHook_win.h"
#include "settings/PathChooser_win.h"
#include "support/SystemText_win.h"
#include "tests/skinctl/SkinTestWindows_win.h"

namespace {

// What a message box showed while it was up, read from the screen.
struct BoxLook {
    bool seen = false;
    bool skinned = false;         // the box is in the skinned-window table
    bool buttonSkinned = false;   // so is its button
    COLORREF textBackground = 0;  // a pixel of the static text control, away from the letters
    COLORREF corners[4] = {};     // the button's four outermost pixels
    COLORREF buttonInner = 0;     // the button's pixel (1, 1)
    // The button's caption as the skin drew it, and as DrawTextW draws the characters the button holds.
    TextShape captionDrawn;
    TextShape captionExpected;
};

void Look(HWND box, BoxLook* look) {
    PaintNow(box);
    SkinnedWindow record = {};
    look->seen = true;
    look->skinned = FindSkinnedWindow(box, &record);
    HWND button = FindChild(box, "button");
    HWND text = FindChild(box, "static");
    if (button) {
        look->buttonSkinned = FindSkinnedWindow(button, &record);
        const SIZE size = WindowSize(button);
        look->corners[0] = ScreenPixelOf(button, 0, 0);
        look->corners[1] = ScreenPixelOf(button, size.cx - 1, 0);
        look->corners[2] = ScreenPixelOf(button, 0, size.cy - 1);
        look->corners[3] = ScreenPixelOf(button, size.cx - 1, size.cy - 1);
        look->buttonInner = ScreenPixelOf(button, 1, 1);
    }
    if (text)
        look->textBackground = ScreenPixelOf(text, 0, 0);
}

// The box's button caption, drawn by the skin, against DrawTextW's drawing of the characters that it holds.
void LookAtCaption(HWND box, BoxLook* look) {
    HWND button = FindChild(box, "button");
    if (!button || !look->buttonSkinned)
        return;
    wchar_t caption[64] = {};
    GetWindowTextW(button, caption, 64);
    look->captionExpected = ShapeOfText(caption, reinterpret_cast<HFONT>(SendMessageW(button, WM_GETFONT, 0, 0)));
    look->captionDrawn = ShapeOfControlText(button);
}

BoxLook gLook;
const char* gWantedBox = nullptr;

int gTicksShown = 0;
constexpr int kTicksAllowed = 600;  // a minute of 100 ms ticks: an emulated machine draws slowly

// A box has reached the screen once its text and its button read back as something other than black, which
// neither look paints there.
bool OnScreen(const BoxLook& look) {
    return look.textBackground != 0 && look.buttonInner != 0;
}

// Looks at the box on every tick until it is on the screen and drawn, then closes it.
void CALLBACK LookAtBox(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = FindDialog(GetCurrentThreadId(), gWantedBox);
    if (!box || gLook.seen)
        return;
    // Painting pumps the box's messages, and with them this timer: one look at a time.
    static bool looking = false;
    if (looking)
        return;
    looking = true;
    BoxLook look;
    Look(box, &look);
    if (!OnScreen(look) && ++gTicksShown < kTicksAllowed) {
        looking = false;
        return;
    }
    LookAtCaption(box, &look);
    looking = false;
    gLook = look;
    PostMessageA(box, WM_COMMAND, IDOK, 0);
}

// Shows a message box on this thread, as the program's message seam does (MessageBoxW, the text converted from
// GBK), and looks at it from a timer of the box's own message loop.
BoxLook ShowBoxHere(const char* caption) {
    gLook = BoxLook();
    gWantedBox = caption;
    gTicksShown = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, LookAtBox);
    MessageBoxW(nullptr, Wide("您确定要安装吗?").c_str(), Wide(caption).c_str(), MB_OK);
    KillTimer(nullptr, timer);
    return gLook;
}

DWORD WINAPI WorkerShowsBox(void*) {
    MessageBoxW(nullptr, L"other thread", L"WorkerBox", MB_OK);
    return 0;
}

void ExpectSkinned(const BoxLook& look) {
    ASSERT_TRUE(look.seen);
    EXPECT_TRUE(look.skinned);
    EXPECT_TRUE(look.buttonSkinned);
    EXPECT_EQ(look.textBackground, kSkinColour) << ColourText(look.textBackground);
    for (COLORREF corner : look.corners)
        EXPECT_EQ(corner, GetSysColor(COLOR_BTNFACE)) << ColourText(corner);
    EXPECT_EQ(look.buttonInner, RGB(82, 125, 165));
    EXPECT_GT(look.captionExpected.inkCount, 10);
    EXPECT_EQ(look.captionDrawn.width, look.captionExpected.width);
    EXPECT_EQ(look.captionDrawn.height, look.captionExpected.height);
    EXPECT_LE(ShapeDifference(look.captionDrawn, look.captionExpected), look.captionExpected.inkCount / 10);
}

void ExpectSystemLook(const BoxLook& look) {
    ASSERT_TRUE(look.seen);
    EXPECT_FALSE(look.skinned);
    EXPECT_FALSE(look.buttonSkinned);
    EXPECT_NE(look.textBackground, kSkinColour);
    EXPECT_NE(look.buttonInner, RGB(82, 125, 165));
}

TEST(SkinHook, MessageBoxOfTheWindowThreadOnlyAndUntilRemoved) {
    InstallSkinHook(kSkinColour);
    ExpectSkinned(ShowBoxHere("SkinnedBox"));

    // The same box from another thread: the hook does not see it.
    BoxLook other;
    DWORD workerId = 0;
    HANDLE worker = CreateThread(nullptr, 0, WorkerShowsBox, nullptr, 0, &workerId);
    ASSERT_NE(worker, nullptr);
    HWND box = nullptr;
    EXPECT_TRUE(PumpUntil([&] { return (box = FindDialog(workerId, "WorkerBox")) != nullptr; }));
    if (box) {
        PumpUntil(
            [&] {
                Look(box, &other);
                return OnScreen(other);
            },
            60000);
        PostMessageA(box, WM_COMMAND, IDOK, 0);
    }
    EXPECT_EQ(WaitForSingleObject(worker, 20000), WAIT_OBJECT_0);
    CloseHandle(worker);
    ExpectSystemLook(other);

    RemoveSkinHook();
    ExpectSystemLook(ShowBoxHere("AfterRemoveBox"));
}

TEST(SkinHook, WindowsThatExistBeforeAreSkinnedOnceAtAnyDepth) {
    HostWindow host;
    HWND middle = host.Add("static", "", 0, 10, 10, 300, 200);
    HWND inner =
        CreateWindowExA(0, "#32770", "", WS_CHILD | WS_VISIBLE, 10, 10, 280, 180, middle, nullptr, nullptr, nullptr);
    HWND deep =
        CreateWindowExA(0, "#32770", "", WS_CHILD | WS_VISIBLE, 5, 5, 260, 160, inner, nullptr, nullptr, nullptr);
    HWND button = CreateWindowExA(0, "button", "deep", WS_CHILD | WS_VISIBLE | BS_AUTOCHECKBOX, 5, 5, 100, 20, deep,
                                  nullptr, nullptr, nullptr);
    HWND edit = CreateWindowExA(0, "edit", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 5, 40, 100, 20, inner, nullptr,
                                nullptr, nullptr);
    const size_t before = SkinnedWindowCount();
    InstallSkinHook(kSkinColour);
    EXPECT_EQ(SkinnedWindowCount(), before + 4);  // two dialogs, the check box, the edit box; not host or static
    for (HWND window : {inner, deep, button, edit}) {
        SkinnedWindow record = {};
        EXPECT_TRUE(FindSkinnedWindow(window, &record));
        // Read with the window's own character set: the other one would answer with a thunk.
        const LONG_PTR procedure =
            IsWindowUnicode(window) ? GetWindowLongPtrW(window, GWLP_WNDPROC) : GetWindowLongPtrA(window, GWLP_WNDPROC);
        EXPECT_EQ(procedure, reinterpret_cast<LONG_PTR>(&SkinProc));
        EXPECT_NE(record.previous, reinterpret_cast<WNDPROC>(&SkinProc));  // a second subclass would loop forever
    }
    // The check box still works through its own procedure.
    SendMessageA(button, BM_SETCHECK, BST_CHECKED, 0);
    EXPECT_EQ(SendMessageA(button, BM_GETCHECK, 0, 0), BST_CHECKED);
    RemoveSkinHook();
}

TEST(SkinHook, BackgroundColourAndBrush) {
    InstallSkinHook(0);
    EXPECT_EQ(gSkinBackground.colour, GetSysColor(COLOR_BTNFACE));
    const HBRUSH first = gSkinBackground.brush;
    ASSERT_NE(first, nullptr);
    InstallSkinHook(kSkinColour);
    EXPECT_EQ(gSkinBackground.colour, kSkinColour);
    EXPECT_NE(gSkinBackground.brush, first);
    EXPECT_EQ(GetObjectType(first), 0u);  // the replaced brush is gone

    // A window still skinned after the hook goes keeps its brush until it is gone too.
    HostWindow host;
    HWND box = host.Add("button", "box", BS_AUTOCHECKBOX, 10, 10, 100, 20);
    const HBRUSH second = gSkinBackground.brush;
    RemoveSkinHook();
    EXPECT_FALSE(SkinHookInstalled());
    EXPECT_EQ(GetObjectType(second), DWORD(OBJ_BRUSH));
    PaintNow(host.get());
    EXPECT_EQ(WindowPixel(box, 20, 1), kSkinColour);
    DestroyWindow(box);
    EXPECT_EQ(GetObjectType(second), 0u);
    EXPECT_EQ(gSkinBackground.brush, nullptr);
}

}  // namespace

namespace {

// What the program's own file chooser showed, read from its timer like the message boxes.
struct ChooserLook {
    bool seen = false;
    COLORREF background = 0;
    int skinnedButtons = 0;
    int roundedButtons = 0;  // visible buttons with the face colour in the corner and the frame's inner corner pixel
    int framedCombos = 0;
};
ChooserLook gChooser;
int gChooserTicks = 0;

void CALLBACK LookAtChooser(HWND, UINT, UINT_PTR, DWORD) {
    HWND box = FindDialog(GetCurrentThreadId(), "打开");
    if (!box || gChooser.seen || ++gChooserTicks < 5)
        return;
    gChooser.seen = true;
    PaintNow(box);
    HWND label = FindChild(box, "static");
    gChooser.background = label ? ScreenPixelOf(label, 0, 0) : 0;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[64] = {};
        GetClassNameA(child, name, int(sizeof name));
        SkinnedWindow record = {};
        if (!IsWindowVisible(child) || !FindSkinnedWindow(child, &record))
            continue;
        if (record.kind == kSkinPushButton) {
            ++gChooser.skinnedButtons;
            gChooser.roundedButtons += ScreenPixelOf(child, 0, 0) == GetSysColor(COLOR_BTNFACE) &&
                                       ScreenPixelOf(child, 1, 1) == RGB(82, 125, 165);
        } else if (record.kind == kSkinComboBox) {
            gChooser.framedCombos += ScreenPixelOf(child, 0, 0) == RGB(123, 158, 189);
        }
    }
    PostMessageA(box, WM_COMMAND, IDCANCEL, 0);
}

TEST(SkinHook, TheProgramsFileChooserIsSkinned) {
    InstallSkinHook(kSkinColour);
    HostWindow owner;
    gChooser = ChooserLook();
    gChooserTicks = 0;
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, LookAtChooser);
    std::string path = "C:\\";
    ChoosePath(owner.get(), path, "exe\0*.exe\0");
    KillTimer(nullptr, timer);
    RemoveSkinHook();
    ASSERT_TRUE(gChooser.seen);
    EXPECT_EQ(gChooser.background, kSkinColour) << ColourText(gChooser.background);
    EXPECT_EQ(gChooser.skinnedButtons, 2);  // open and cancel
    EXPECT_EQ(gChooser.roundedButtons, 2);
    EXPECT_EQ(gChooser.framedCombos, 2);  // the folder and the file type (the name box sits inside a ComboBoxEx)
}

}  // namespace
