#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "skinctl/SkinControls_win.h"
#include "skinctl/SkinHook_win.h"
#include "support/SystemText_win.h"
#include "tests/skinctl/SkinTestWindows_win.h"

// Texts through the skin: typed and set in UTF-16, read and drawn in UTF-16, whatever the system's code page is
// (the suite is also run under code page 932, where most of these characters have no ANSI spelling at all).
namespace {

// Two officer names' characters as UTF-16 and as the GBK bytes the program works with.
const wchar_t kCaoCao[] = {0x66F9, 0x64CD, 0};  // 曹操
const char kCaoCaoGbk[] = "\xB2\xDC\xB2\xD9";
const wchar_t kGuanYu[] = {0x5173, 0x7FBD, 0};  // 关羽
const char kGuanYuGbk[] = "\xB9\xD8\xD3\xF0";

constexpr int kEditId = 100;
constexpr WORD kButtonAtom = 0x0080;
constexpr WORD kEditAtom = 0x0081;

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

// An in-memory dialog template, laid out as the resource compiler does it: the dialog, then its items, texts in
// UTF-16 (the same for the A and the W functions).
class DialogTemplate {
  public:
    DialogTemplate() {
        DLGTEMPLATE dialog = {};
        dialog.style = WS_POPUP | WS_VISIBLE | WS_CAPTION;
        dialog.x = 20;
        dialog.y = 20;
        dialog.cx = 200;
        dialog.cy = 120;
        Append(&dialog, sizeof dialog);
        AppendWords({0, 0, 0});  // no menu, the dialog class, no caption
    }

    void AddItem(WORD classAtom, DWORD style, short y, WORD id, const wchar_t* text) {
        Align();
        DLGITEMTEMPLATE item = {};
        item.style = WS_CHILD | WS_VISIBLE | style;
        item.x = 10;
        item.y = y;
        item.cx = 120;
        item.cy = 14;
        item.id = id;
        Append(&item, sizeof item);
        AppendWords({0xFFFF, classAtom});
        for (const wchar_t* c = text; *c; ++c)
            words_.push_back(WORD(*c));
        AppendWords({0, 0});  // the text's end, no creation data
        ++reinterpret_cast<DLGTEMPLATE*>(words_.data())->cdit;
    }

    const DLGTEMPLATE* get() const { return reinterpret_cast<const DLGTEMPLATE*>(words_.data()); }

  private:
    void Append(const void* data, size_t size) {
        const size_t at = words_.size();
        words_.resize(at + (size + 1) / 2);
        std::memcpy(words_.data() + at, data, size);
    }
    void AppendWords(std::initializer_list<WORD> words) { words_.insert(words_.end(), words); }
    void Align() {
        if (words_.size() % 2)
            words_.push_back(0);
    }
    std::vector<WORD> words_;
};

std::wstring TextW(HWND window) {
    wchar_t text[64] = {};
    GetWindowTextW(window, text, 64);
    return text;
}

// The window's text as the program keeps it: GBK, converted from UTF-16 by the program itself and not by the
// system's code page.
std::string TextGbk(HWND window) {
    std::string text;
    EXPECT_TRUE(GbkFromWide(TextW(window), &text));
    return text;
}

void TypeW(HWND window, const wchar_t* text) {
    for (const wchar_t* c = text; *c; ++c)
        SendMessageW(window, WM_CHAR, WPARAM(*c), 1);
}

// A procedure of our own put in with the A functions makes the window an ANSI window whatever its class is.
WNDPROC gEditProc = nullptr;
LRESULT CALLBACK AnsiSubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return CallWindowProcA(gEditProc, window, message, wParam, lParam);
}

class SkinnedCharacters : public ::testing::Test {
  protected:
    void SetUp() override {
        SetCursorPos(0, 0);  // off every control: none of them is hot while it is looked at
        InstallSkinHook(kSkinColour);
    }
    void TearDown() override { RemoveSkinHook(); }
};

// A control of a dialog made with the A functions (by code that is not ours). Unskinned, such an edit gets typed
// text as UTF-16 WM_CHAR from the system; through the skin it must still get each character whole.
TEST_F(SkinnedCharacters, EditOfAnAnsiDialogGetsTypedChineseWhole) {
    DialogTemplate dialogTemplate;
    dialogTemplate.AddItem(kEditAtom, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 10, kEditId, L"");
    HWND dialog =
        CreateDialogIndirectParamA(GetModuleHandleA(nullptr), dialogTemplate.get(), nullptr, PlainDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    HWND edit = GetDlgItem(dialog, kEditId);
    ASSERT_NE(edit, nullptr);
    PumpFor(50);

    SkinnedWindow record = {};
    ASSERT_TRUE(FindSkinnedWindow(edit, &record));
    EXPECT_EQ(record.kind, kSkinEdit);
    EXPECT_TRUE(IsWindowUnicode(edit));
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SkinProc));

    SetFocus(edit);
    TypeW(edit, kCaoCao);
    EXPECT_EQ(TextW(edit), std::wstring(kCaoCao));
    EXPECT_EQ(TextGbk(edit), kCaoCaoGbk);

    // The skin repaints on a new text without changing it.
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kGuanYu));
    EXPECT_EQ(TextGbk(edit), kGuanYuGbk);

    // Unskinned, the edit runs its own procedure again and still gets typed text whole. (The system may hand back
    // the procedure it was given in another form, so the test does not compare it.)
    UnskinWindow(edit);
    EXPECT_FALSE(FindSkinnedWindow(edit, &record));
    EXPECT_NE(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SkinProc));
    EXPECT_NE(GetWindowLongPtrA(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SkinProc));
    SetWindowTextW(edit, L"");
    TypeW(edit, kGuanYu);
    EXPECT_EQ(TextGbk(edit), kGuanYuGbk);
    DestroyWindow(dialog);
}

// The same with an edit that is a Unicode window for certain, and the skin taken off again: the edit's own procedure
// comes back through the W functions and the window stays a Unicode window.
TEST_F(SkinnedCharacters, UnicodeEditKeepsItsProcedureAndCharacterSetWhenUnskinned) {
    HostWindow host;
    HWND edit = CreateWindowExW(0, L"edit", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 20, 20, 200, 24, host.get(),
                                nullptr, nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
    ASSERT_TRUE(IsWindowUnicode(edit));
    SkinnedWindow record = {};
    ASSERT_TRUE(FindSkinnedWindow(edit, &record));
    EXPECT_TRUE(IsWindowUnicode(edit));
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SkinProc));
    EXPECT_NE(record.previous, reinterpret_cast<WNDPROC>(&SkinProc));

    TypeW(edit, kGuanYu);
    EXPECT_EQ(TextGbk(edit), kGuanYuGbk);

    UnskinWindow(edit);
    EXPECT_FALSE(FindSkinnedWindow(edit, &record));
    EXPECT_TRUE(IsWindowUnicode(edit));
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(record.previous));
    TypeW(edit, kCaoCao);
    EXPECT_EQ(TextW(edit), std::wstring(kGuanYu) + kCaoCao);
}

// A window under an ANSI procedure of someone else's: the skin goes in with the W function, so the window is a
// Unicode one while skinned and the ANSI procedure below gets its messages converted by the system; unskinned, that
// procedure is the window's again and the window an ANSI one.
TEST_F(SkinnedCharacters, AnsiProcedureBelowTheSkinKeepsWorkingAndComesBackAnsi) {
    RemoveSkinHook();  // the edit is skinned by hand once its ANSI subclass is in place
    HostWindow host;
    HWND edit = CreateWindowExA(0, "edit", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 20, 20, 200, 24, host.get(), nullptr,
                                nullptr, nullptr);
    ASSERT_NE(edit, nullptr);
    gEditProc =
        reinterpret_cast<WNDPROC>(SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&AnsiSubclassProc)));
    ASSERT_FALSE(IsWindowUnicode(edit));
    InstallSkinHook(kSkinColour);  // skins the windows that are already there

    SkinnedWindow record = {};
    ASSERT_TRUE(FindSkinnedWindow(edit, &record));
    EXPECT_TRUE(IsWindowUnicode(edit));
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SkinProc));

    // Characters every ANSI code page spells alike go through the ANSI procedure and back unchanged.
    for (const char* c = "Cao"; *c; ++c)
        SendMessageA(edit, WM_CHAR, WPARAM(static_cast<unsigned char>(*c)), 1);
    TypeW(edit, L" Yu");
    EXPECT_EQ(TextW(edit), L"Cao Yu");
    SendMessageW(edit, EM_SETREADONLY, TRUE, 0);
    EXPECT_TRUE(GetWindowLongPtrW(edit, GWL_STYLE) & ES_READONLY);

    UnskinWindow(edit);
    EXPECT_FALSE(FindSkinnedWindow(edit, &record));
    EXPECT_FALSE(IsWindowUnicode(edit));
    EXPECT_EQ(GetWindowLongPtrA(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&AnsiSubclassProc));
    SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gEditProc));
}

// The program's dialogs are Unicode dialogs. Their controls are found and skinned as those of any other dialog, and
// each skinned caption is drawn as the characters it holds: the shape the painter gives it is the shape DrawTextW
// gives the same characters in the control's font. (Read or drawn through the system's code page, a character that
// it cannot spell would come out as "?" in another shape.)
struct CaptionCase {
    const char* name;
    DWORD style;
    const wchar_t* caption;
    SkinKind kind;
};
const CaptionCase kCaptionCases[] = {
    {"push button", BS_PUSHBUTTON, L"\x8BBE\x7F6E", kSkinPushButton},                     // 设置
    {"check box", BS_AUTOCHECKBOX, L"\x6C49\x5316\x5305", kSkinCheckBox},                 // 汉化包
    {"radio button", BS_AUTORADIOBUTTON, L"\x7B80\x4F53\x4E2D\x6587", kSkinRadioButton},  // 简体中文
    {"ascii", BS_PUSHBUTTON, L"Save", kSkinPushButton},
};
constexpr WORD kFirstCaptionId = 200;

TEST_F(SkinnedCharacters, UnicodeDialogsControlsAreSkinnedAndDrawTheirCaptionsCharacters) {
    DialogTemplate dialogTemplate;
    // The edit takes the focus, so that no caption carries a focus rectangle.
    dialogTemplate.AddItem(kEditAtom, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 8, kEditId, L"");
    short y = 28;
    WORD id = kFirstCaptionId;
    for (const CaptionCase& test : kCaptionCases) {
        dialogTemplate.AddItem(kButtonAtom, test.style, y, id++, test.caption);
        y += 20;
    }
    HWND dialog =
        CreateDialogIndirectParamW(GetModuleHandleW(nullptr), dialogTemplate.get(), nullptr, PlainDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(IsWindowUnicode(dialog));
    PumpFor(50);
    SkinnedWindow record = {};
    ASSERT_TRUE(FindSkinnedWindow(dialog, &record));
    EXPECT_EQ(record.kind, kSkinDialog);

    id = kFirstCaptionId;
    for (const CaptionCase& test : kCaptionCases) {
        SCOPED_TRACE(test.name);
        HWND control = GetDlgItem(dialog, id++);
        ASSERT_NE(control, nullptr);
        ASSERT_TRUE(FindSkinnedWindow(control, &record));
        EXPECT_EQ(record.kind, test.kind);
        EXPECT_NE(GetFocus(), control);
        const TextShape drawn = ShapeOfControlText(control);
        const TextShape expected =
            ShapeOfText(test.caption, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
        ASSERT_GT(expected.inkCount, 10);
        EXPECT_EQ(drawn.width, expected.width);
        EXPECT_EQ(drawn.height, expected.height);
        EXPECT_LE(ShapeDifference(drawn, expected), expected.inkCount / 10)
            << "drawn " << drawn.inkCount << " pixels of ink, expected " << expected.inkCount;
    }

    // Typed into the dialog's skinned edit, names arrive whole.
    HWND edit = GetDlgItem(dialog, kEditId);
    SetFocus(edit);
    TypeW(edit, kCaoCao);
    EXPECT_EQ(TextGbk(edit), kCaoCaoGbk);
    DestroyWindow(dialog);
}

}  // namespace
