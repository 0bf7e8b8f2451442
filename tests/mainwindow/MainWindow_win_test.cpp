#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "installer/CommandDispatch_win.h"
#include "mainwindow/MainWindow_win.h"
#include "mainwindow/ProgramMessages.h"
#include "mainwindow/SkinLayout_win.h"
#include "package/Package.h"
#include "skinctl/SkinHook_win.h"
#include "support/GdiHandles_win.h"
#include "tests/common/TestPictures_win.h"
#include "tests/common/MessageRecorder.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestPackage.h"

namespace {

constexpr int kWidth = 200;
constexpr int kHeight = 160;
constexpr int kCorner = 10;  // magenta squares in the four corners
constexpr COLORREF kMagenta = RGB(255, 0, 255);
constexpr COLORREF kBlue = RGB(0, 0, 255);

// Every pixel tells where it came from: red and green are its coordinates, blue says which picture.
COLORREF NormalAt(int x, int y) {
    const bool corner = (x < kCorner || x >= kWidth - kCorner) && (y < kCorner || y >= kHeight - kCorner);
    return corner ? kMagenta : RGB(x, y, 100);
}
COLORREF HighlightAt(int x, int y) {
    return RGB(x, y, 200);
}

// Controls: 0 a note, 1 the status label, 2 a close look-alike, 3 and 4 two close records, 5 an unknown command.
const char kLayout[] =
    "# test layout\r\n\r\n"
    "msgbox, 20, 20, 60, 40, \"line one, still one\\r\\nline two\", \"caption\"\r\n"
    "text, 70, 20, 150, 40, \"percent\", \"\"\r\n"
    "Close, 160, 20, 180, 40, \"\", \"\"\r\n"
    "close, 160, 50, 180, 70, \"\", \"\"\r\n"
    "close, 160, 80, 180, 100, \"\", \"\"\r\n"
    "button, 20, 60, 80, 100, \"\", \"\"\r\n";
constexpr size_t kNote = 0;
constexpr size_t kStatus = 1;
constexpr size_t kButton = 5;

const char kLayoutWithoutClose[] =
    "Close, 160, 20, 180, 40, \"\", \"\"\r\n"
    "closed, 160, 50, 180, 70, \"\", \"\"\r\n";

bool QuitPosted() {
    MSG message;
    return PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

COLORREF ScreenPixel(POINT at) {
    HDC screen = GetDC(nullptr);
    COLORREF colour = GetPixel(screen, at.x, at.y);
    ReleaseDC(nullptr, screen);
    return colour;
}

class MainWindowTest : public ::testing::Test {
  protected:
    void TearDown() override {
        DestroyMainWindow();
        QuitPosted();  // the window's WM_DESTROY posted one
        gPackageIndex.clear();
    }

    // Packs the layout (or, with null, nothing of the kind), indexes it and shows the window.
    void Show(const char* layout, int highlightWidth = kWidth + 30, int highlightHeight = kHeight + 20) {
        std::vector<TestRecord> records = {MakeRecord("readme.txt", "not the layout")};
        if (layout)
            records.push_back(MakeRecord("winpos.txt", layout));
        const std::string package = dir_.Join("test.pak");
        ASSERT_TRUE(WriteTestPackage(package, records));
        gPackageIndex.clear();
        IndexPackageFile(package.c_str(), gPackageIndex);

        gSkinImages.instance = GetModuleHandleA(nullptr);
        SetMainWindowHandlers(InstallerWindowHandlers());  // as the program's entry point does
        started_ = CreateMainWindowWithImages(MakePicture(kWidth, kHeight, NormalAt),
                                              MakePicture(highlightWidth, highlightHeight, HighlightAt));
        PumpFor(100);
    }

    HWND Main() const { return gSkinImages.mainWindow; }

    // A point of the picture in screen coordinates.
    POINT OnScreen(int x, int y) const {
        POINT at = {x, y};
        ClientToScreen(Main(), &at);
        return at;
    }

    // The colour that the screen shows at picture point (x, y) once the painting is done.
    COLORREF Shown(int x, int y) {
        PumpFor(50);
        return ScreenPixel(OnScreen(x, y));
    }

    TempDir dir_;
    MessageRecorder recorder_;
    WindowStart started_ = WindowStart::kShown;
};

TEST_F(MainWindowTest, WindowHasTheNormalPicturesSizeAndIsCentred) {
    Show(kLayout);
    RECT outer;
    GetWindowRect(Main(), &outer);
    EXPECT_EQ(kWidth, outer.right - outer.left);
    EXPECT_EQ(kHeight, outer.bottom - outer.top);
    EXPECT_EQ((GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2, outer.left);
    EXPECT_EQ((GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2, outer.top);
    EXPECT_TRUE(IsWindowVisible(Main()));
    const LONG style = GetWindowLongA(Main(), GWL_STYLE);
    EXPECT_TRUE(style & WS_POPUP);
    EXPECT_EQ(0, style & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    char title[32] = {};
    GetWindowTextA(Main(), title, sizeof title);
    EXPECT_STREQ("Install", title);
}

TEST_F(MainWindowTest, PicturesStaySelectedForTheRunAndTeardownReleasesThemAndTheirSurfaces) {
    Show(kLayout);
    const HBITMAP normal = gSkinImages.normalImage;
    const HBITMAP highlight = gSkinImages.highlightImage;
    const HDC normalDc = gSkinImages.normalDc;
    const HDC highlightDc = gSkinImages.highlightDc;
    ASSERT_EQ(DWORD(OBJ_MEMDC), GetObjectType(normalDc));
    ASSERT_EQ(DWORD(OBJ_MEMDC), GetObjectType(highlightDc));
    EXPECT_EQ(normal, GetCurrentObject(normalDc, OBJ_BITMAP));
    EXPECT_EQ(highlight, GetCurrentObject(highlightDc, OBJ_BITMAP));

    DestroyMainWindow();
    QuitPosted();
    EXPECT_EQ(0u, GetObjectType(normalDc));
    EXPECT_EQ(0u, GetObjectType(highlightDc));
    EXPECT_EQ(0u, GetObjectType(normal));
    EXPECT_EQ(0u, GetObjectType(highlight));
    EXPECT_EQ(nullptr, gSkinImages.normalDc);
    EXPECT_EQ(nullptr, gSkinImages.normalImage);
}

TEST_F(MainWindowTest, OutlineLeavesOutTheMagentaCorners) {
    Show(kLayout);
    HRGN outline = CreateRectRgn(0, 0, 0, 0);
    ASSERT_EQ(COMPLEXREGION, GetWindowRgn(Main(), outline));
    const POINT outside[] = {
        {0, 0}, {kCorner - 1, kCorner - 1}, {kWidth - 1, 0}, {0, kHeight - 1}, {kWidth - 1, kHeight - 1}};
    const POINT inside[] = {{kCorner, 0}, {0, kCorner}, {kWidth / 2, kHeight / 2}, {kWidth - 1, kHeight - kCorner - 1}};
    for (POINT p : outside) {
        EXPECT_FALSE(PtInRegion(outline, p.x, p.y)) << p.x << "," << p.y;
        // A press there reaches whatever lies beneath, not this window.
        EXPECT_NE(Main(), WindowFromPoint(OnScreen(p.x, p.y))) << p.x << "," << p.y;
    }
    for (POINT p : inside) {
        EXPECT_TRUE(PtInRegion(outline, p.x, p.y)) << p.x << "," << p.y;
        EXPECT_EQ(Main(), WindowFromPoint(OnScreen(p.x, p.y))) << p.x << "," << p.y;
    }
    DeleteObject(outline);
}

TEST_F(MainWindowTest, PictureIsDrawnAndEveryPointDragsTheWindow) {
    Show(kLayout);
    EXPECT_EQ(NormalAt(100, 120), Shown(100, 120));
    EXPECT_EQ(NormalAt(30, 30), Shown(30, 30));  // a control shows the same picture
    const POINT at = OnScreen(100, 120);
    EXPECT_EQ(HTCAPTION, SendMessageA(Main(), WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y)));
}

TEST_F(MainWindowTest, ControlsSitOnTheirRectanglesWithTheirIdentifiers) {
    Show(kLayout);
    ASSERT_EQ(6u, gSkinLayout.size());
    for (size_t i = 0; i < gSkinLayout.size(); ++i) {
        const LayoutRecord& record = gSkinLayout[i];
        ASSERT_NE(nullptr, record.window);
        EXPECT_EQ(kFirstControlId + int(i), GetDlgCtrlID(record.window));
        RECT place;
        GetWindowRect(record.window, &place);
        MapWindowPoints(nullptr, Main(), reinterpret_cast<POINT*>(&place), 2);
        EXPECT_EQ(record.left, place.left);
        EXPECT_EQ(record.top, place.top);
        EXPECT_EQ(record.right, place.right);
        EXPECT_EQ(record.bottom, place.bottom);
        char className[64] = {};
        GetClassNameA(record.window, className, sizeof className);
        EXPECT_STREQ("InstallButtonClass", className);
    }
}

TEST_F(MainWindowTest, HoverShowsTheHighlightPictureAndLeavingRestoresIt) {
    Show(kLayout);
    LayoutRecord& button = gSkinLayout[kButton];
    SetCursorPos(OnScreen(50, 80).x, OnScreen(50, 80).y);
    ASSERT_TRUE(PumpUntil([&] { return (button.flags & kLayoutHover) != 0; }, 3000));
    EXPECT_EQ(HighlightAt(20, 60), Shown(20, 60));
    EXPECT_EQ(HighlightAt(79, 99), Shown(79, 99));
    EXPECT_EQ(NormalAt(19, 60), Shown(19, 60));  // just outside the control
    EXPECT_EQ(NormalAt(30, 30), Shown(30, 30));  // other controls keep their look

    SetCursorPos(OnScreen(100, 130).x, OnScreen(100, 130).y);
    ASSERT_TRUE(PumpUntil([&] { return (button.flags & kLayoutHover) == 0; }, 3000));
    EXPECT_EQ(NormalAt(20, 60), Shown(20, 60));
    EXPECT_EQ(NormalAt(79, 99), Shown(79, 99));
}

TEST_F(MainWindowTest, LabelNeverHighlights) {
    Show(kLayout);
    LayoutRecord& status = gSkinLayout[kStatus];
    SendMessageA(status.window, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(kLayoutLabel, status.flags);
    EXPECT_EQ(NormalAt(75, 25), Shown(75, 25));
}

TEST_F(MainWindowTest, PressPostsTheControlsCommandOncePerPress) {
    Show(kLayout);
    HWND button = gSkinLayout[kButton].window;
    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    SendMessageA(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
    for (int press = 0; press < 2; ++press) {
        MSG message;
        ASSERT_TRUE(PeekMessageA(&message, Main(), WM_COMMAND, WM_COMMAND, PM_REMOVE)) << press;
        EXPECT_EQ(WPARAM(kFirstControlId + kButton), message.wParam);
        EXPECT_EQ(reinterpret_cast<LPARAM>(button), message.lParam);
    }
    MSG extra;
    EXPECT_FALSE(PeekMessageA(&extra, Main(), WM_COMMAND, WM_COMMAND, PM_REMOVE));
}

TEST_F(MainWindowTest, NoteShowsTheRecordsTextsWithoutOwner) {
    Show(kLayout);
    // The notification code in the high word does not matter.
    EXPECT_EQ(1, SendMessageA(Main(), WM_COMMAND, MAKEWPARAM(kFirstControlId + kNote, BN_CLICKED), 0));
    std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("line one, still one\nline two", boxes[0].text);
    EXPECT_EQ("caption", boxes[0].caption);
    EXPECT_FALSE(boxes[0].hasOwner);
    EXPECT_EQ(unsigned(kMbOk), boxes[0].style);
}

TEST_F(MainWindowTest, CommandOutsideTheTableDoesNothing) {
    Show(kLayout);
    EXPECT_EQ(0, SendMessageA(Main(), WM_COMMAND, kFirstControlId - 1, 0));
    EXPECT_EQ(0, SendMessageA(Main(), WM_COMMAND, kFirstControlId + gSkinLayout.size(), 0));
    EXPECT_EQ(1, SendMessageA(Main(), WM_COMMAND, kFirstControlId + kButton, 0));  // unknown word: nothing either
    EXPECT_TRUE(recorder_.Messages().empty());
    EXPECT_FALSE(QuitPosted());
    EXPECT_TRUE(IsWindowVisible(Main()));
}

TEST_F(MainWindowTest, CloseRequestEndsTheProgramThroughACloseRecord) {
    Show(kLayout);
    EXPECT_EQ(1, SendMessageA(Main(), WM_CLOSE, 0, 0));
    EXPECT_TRUE(QuitPosted());
    EXPECT_TRUE(IsWindow(Main()));  // the window goes when the loop has ended
}

TEST_F(MainWindowTest, CloseRequestWithoutCloseRecordDoesNothing) {
    Show(kLayoutWithoutClose);
    EXPECT_EQ(1, SendMessageA(Main(), WM_CLOSE, 0, 0));
    EXPECT_FALSE(QuitPosted());
    EXPECT_TRUE(IsWindowVisible(Main()));
}

TEST_F(MainWindowTest, EmptyLayoutShowsOnlyThePicture) {
    Show("# nothing\r\n");
    EXPECT_TRUE(gSkinLayout.empty());
    EXPECT_EQ(nullptr, GetWindow(Main(), GW_CHILD));
    EXPECT_EQ(0, SendMessageA(Main(), WM_COMMAND, kFirstControlId, 0));
    SendMessageA(Main(), WM_CLOSE, 0, 0);
    EXPECT_FALSE(QuitPosted());
}

// What the window hands to the table it was given at start-up.
std::vector<std::string> gHandled;
void RecordCommand(const LayoutRecord& record, HWND) {
    gHandled.push_back("command " + std::to_string(&record - gSkinLayout.data()));
}
void RecordInstallDone(HWND window) {
    gHandled.push_back(window == gSkinImages.mainWindow ? "install done" : "install done, wrong window");
}

TEST_F(MainWindowTest, WindowHandsCommandsCloseAndTheInstallsEndToItsHandlers) {
    Show(kLayout);
    MainWindowHandlers handlers;
    handlers.command = RecordCommand;
    handlers.installDone = RecordInstallDone;
    SetMainWindowHandlers(handlers);
    gHandled.clear();
    EXPECT_EQ(1, SendMessageA(Main(), WM_COMMAND, kFirstControlId + kNote, 0));
    EXPECT_EQ(1, SendMessageA(Main(), WM_CLOSE, 0, 0));
    EXPECT_EQ(0, SendMessageA(Main(), kInstallDoneMessage, 0, 0));
    EXPECT_EQ((std::vector<std::string>{"command 0", "command 3", "install done"}), gHandled);

    // Without handlers the window only shows itself.
    SetMainWindowHandlers(MainWindowHandlers());
    EXPECT_EQ(1, SendMessageA(Main(), WM_COMMAND, kFirstControlId + kNote, 0));
    SendMessageA(Main(), WM_CLOSE, 0, 0);
    EXPECT_EQ(0, SendMessageA(Main(), kInstallDoneMessage, 0, 0));
    EXPECT_EQ(3u, gHandled.size());
    EXPECT_TRUE(recorder_.Messages().empty());
    EXPECT_FALSE(QuitPosted());
}

TEST_F(MainWindowTest, MinimizeRecordMinimizesTheWindow) {
    Show(kLayout);
    LayoutRecord minimize;
    minimize.command = "minimize";
    DispatchCommand(minimize, Main());
    PumpFor(50);
    EXPECT_TRUE(IsIconic(Main()));
}

TEST_F(MainWindowTest, StatusLabelDrawsBlueTextFromItsTopLeftCorner) {
    Show(kLayout);
    LayoutRecord* status = StatusControl();
    ASSERT_EQ(&gSkinLayout[kStatus], status);
    EXPECT_EQ(kLayoutLabel, status->flags);
    EXPECT_TRUE(GetWindowLongA(status->window, GWL_STYLE) & WS_DISABLED);
    EXPECT_STREQ("", status->text);

    std::snprintf(status->text, sizeof status->text, "%s", "Copying...\nWW");
    InvalidateRect(status->window, nullptr, FALSE);
    UpdateWindow(status->window);
    PumpFor(50);

    // Text is drawn in blue over the picture's own pixels: a pixel is either the picture's, pure blue, or (at the
    // smoothed edges of the glyphs) the picture's moved toward blue. A background fill would break all three.
    HDC screen = GetDC(nullptr);
    int blue = 0, untouched = 0;
    int firstX = kWidth, firstY = kHeight, lastY = 0;
    for (int y = status->top; y < status->bottom; ++y) {
        for (int x = status->left; x < status->right; ++x) {
            const POINT at = OnScreen(x, y);
            const COLORREF shown = GetPixel(screen, at.x, at.y);
            const COLORREF picture = NormalAt(x, y);
            if (shown == picture) {
                ++untouched;
                continue;
            }
            ASSERT_TRUE(GetRValue(shown) <= GetRValue(picture) && GetGValue(shown) <= GetGValue(picture) &&
                        GetBValue(shown) >= GetBValue(picture))
                << x << "," << y << " shows " << std::hex << shown;
            if (shown == kBlue) {
                ++blue;
                firstX = std::min(firstX, x - status->left);
                firstY = std::min(firstY, y - status->top);
                lastY = std::max(lastY, y - status->top);
            }
        }
    }
    ReleaseDC(nullptr, screen);
    EXPECT_GT(blue, 20);
    EXPECT_GT(untouched, (status->right - status->left) * (status->bottom - status->top) / 2);
    EXPECT_LE(firstX, 3);
    EXPECT_LE(firstY, 5);
    EXPECT_GE(lastY, 10);  // the line feed started a second line
}

// The status buffer holds GBK (the install worker and the helper library write it), and the label converts it as
// it draws: it shows the same characters under every system code page. Every pixel of the control is the one that
// DrawTextW's drawing of those characters over the picture gives. (Drawn through the system's code page, most of
// these characters would be "?" under code page 932.)
struct StatusTextCase {
    const char* name;
    const char* gbk;
    const wchar_t* shown;
};
const StatusTextCase kStatusTexts[] = {
    {"chinese", "正在复制\n汉化包", L"\x6B63\x5728\x590D\x5236\n\x6C49\x5316\x5305"},  // 正在复制, 汉化包
    {"ascii", "Copying...\nWW", L"Copying...\nWW"},
    {"empty", "", L""},
};

TEST_F(MainWindowTest, StatusLabelDrawsItsGbkTextAsItsCharacters) {
    Show(kLayout);
    LayoutRecord* status = StatusControl();
    ASSERT_NE(nullptr, status);
    const int width = status->right - status->left;
    const int height = status->bottom - status->top;
    HDC screen = GetDC(nullptr);
    OwnedDc expectedDc(CreateCompatibleDC(screen));
    OwnedGdiObject<HBITMAP> expected(CreateCompatibleBitmap(screen, width, height));
    ScopedSelectObject selectExpected(expectedDc.get(), expected.get());
    ASSERT_TRUE(selectExpected.ok());
    for (const StatusTextCase& test : kStatusTexts) {
        SCOPED_TRACE(test.name);
        std::snprintf(status->text, sizeof status->text, "%s", test.gbk);
        InvalidateRect(status->window, nullptr, FALSE);
        UpdateWindow(status->window);
        PumpFor(50);

        BitBlt(expectedDc.get(), 0, 0, width, height, gSkinImages.normalDc, status->left, status->top, SRCCOPY);
        SetBkMode(expectedDc.get(), TRANSPARENT);
        SetTextColor(expectedDc.get(), kBlue);
        RECT start = {0, 0, 1, 1};
        DrawTextW(expectedDc.get(), test.shown, -1, &start, DT_NOCLIP);
        int differ = 0;
        int ink = 0;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const POINT at = OnScreen(status->left + x, status->top + y);
                const COLORREF want = GetPixel(expectedDc.get(), x, y);
                differ += GetPixel(screen, at.x, at.y) != want;
                ink += want != NormalAt(status->left + x, status->top + y);
            }
        }
        EXPECT_EQ(0, differ) << "of " << width * height << " pixels, " << ink << " of them ink";
        if (test.shown[0]) {
            EXPECT_GT(ink, 20);
        }
    }
    ReleaseDC(nullptr, screen);
}

// The window library reports what is missing and leaves the end to the start-up: the find-file box is the only
// box, nothing is shown, and the caller hears why.
TEST_F(MainWindowTest, MissingLayoutIsReportedAfterTheFindFileBoxAndNothingIsShown) {
    Show(nullptr);
    EXPECT_EQ(WindowStart::kNoLayout, started_);
    const std::vector<RecordedMessage> boxes = recorder_.Messages();
    ASSERT_EQ(1u, boxes.size());
    EXPECT_EQ("winpos.txt", boxes[0].text);
    EXPECT_EQ("Find file in package error!", boxes[0].caption);
    EXPECT_FALSE(IsWindowVisible(Main()));
    EXPECT_TRUE(gSkinLayout.empty());
}

// Without its pictures the start-up says which one is missing and ends the program with status 1, its hook and
// window gone.
TEST(MainWindowStart, MissingPictureEndsTheStartWithAMessageAndStatusOne) {
    MessageRecorder recorder;
    EXPECT_EQ(1, RunSetup(GetModuleHandleA(nullptr)));  // the test program carries no pictures
    gPackageIndex.clear();
    const std::vector<RecordedMessage> boxes = recorder.Messages();
    ASSERT_FALSE(boxes.empty());
    EXPECT_NE(std::string::npos, boxes.back().text.find("WINDOW1.BMP"));
    EXPECT_FALSE(SkinHookInstalled());
    EXPECT_EQ(nullptr, gSkinImages.mainWindow);
}

}  // namespace
