#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "skinctl/SkinControls_win.h"
#include "skinctl/SkinHook.h"
#include "tests/skinctl/SkinTestWindows_win.h"

namespace {

// Two officer names' characters as UTF-16 and as the GBK bytes the program works with.
const wchar_t kCaoCao[] = {0x66F9, 0x64CD, 0};  // 曹操
const char kCaoCaoGbk[] = "\xB2\xDC\xB2\xD9";
const wchar_t kGuanYu[] = {0x5173, 0x7FBD, 0};  // 关羽
const char kGuanYuGbk[] = "\xB9\xD8\xD3\xF0";

constexpr int kEditId = 100;

INT_PTR CALLBACK PlainDialogProc(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG;
}

// An in-memory dialog template with one edit control, laid out as the resource compiler does it.
class EditDialogTemplate {
  public:
    EditDialogTemplate() {
        DLGTEMPLATE dialog = {};
        dialog.style = WS_POPUP | WS_VISIBLE | WS_CAPTION;
        dialog.cdit = 1;
        dialog.x = 20;
        dialog.y = 20;
        dialog.cx = 160;
        dialog.cy = 60;
        Append(&dialog, sizeof dialog);
        AppendWords({0, 0, 0});  // no menu, the dialog class, no caption
        Align();
        DLGITEMTEMPLATE edit = {};
        edit.style = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
        edit.x = 10;
        edit.y = 10;
        edit.cx = 120;
        edit.cy = 14;
        edit.id = kEditId;
        Append(&edit, sizeof edit);
        AppendWords({0xFFFF, 0x0081, 0, 0});  // the edit class, no text, no creation data
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

std::string TextA(HWND window) {
    char text[64] = {};
    GetWindowTextA(window, text, int(sizeof text));
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
    void SetUp() override { InstallSkinHook(kSkinColour); }
    void TearDown() override { RemoveSkinHook(); }
};

// The name edits of the settings dialog: controls of a dialog made with the A functions. Unskinned, such an edit
// gets typed text as UTF-16 WM_CHAR from the system; through the skin it must still get each character whole.
TEST_F(SkinnedCharacters, EditOfAnAnsiDialogGetsTypedChineseWhole) {
    EditDialogTemplate dialogTemplate;
    HWND dialog =
        CreateDialogIndirectParamA(GetModuleHandleA(nullptr), dialogTemplate.get(), nullptr, PlainDialogProc, 0);
    ASSERT_NE(dialog, nullptr);
    HWND edit = GetDlgItem(dialog, kEditId);
    ASSERT_NE(edit, nullptr);
    PumpFor(50);

    SkinnedWindow record = {};
    ASSERT_TRUE(FindSkinnedWindow(edit, &record));
    EXPECT_EQ(record.kind, kSkinEdit);
    EXPECT_TRUE(record.unicode);
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SkinProc));

    SetFocus(edit);
    TypeW(edit, kCaoCao);
    EXPECT_EQ(TextW(edit), std::wstring(kCaoCao));
    EXPECT_EQ(TextA(edit), kCaoCaoGbk);

    // Text set through either character set reads back the same; the skin repaints on it without changing it.
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kGuanYuGbk));
    EXPECT_EQ(TextW(edit), std::wstring(kGuanYu));
    SendMessageW(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kCaoCao));
    EXPECT_EQ(TextA(edit), kCaoCaoGbk);

    // Unskinned, the edit runs its own procedure again and still gets typed text whole. (The system may hand back
    // the procedure it was given in another form, so the test does not compare it.)
    UnskinWindow(edit);
    EXPECT_FALSE(FindSkinnedWindow(edit, &record));
    EXPECT_NE(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SkinProc));
    EXPECT_NE(GetWindowLongPtrA(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SkinProc));
    SetWindowTextA(edit, "");
    TypeW(edit, kGuanYu);
    EXPECT_EQ(TextA(edit), kGuanYuGbk);
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
    EXPECT_TRUE(record.unicode);
    EXPECT_TRUE(IsWindowUnicode(edit));
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SkinProc));
    EXPECT_NE(record.previous, reinterpret_cast<WNDPROC>(&SkinProc));

    TypeW(edit, kGuanYu);
    EXPECT_EQ(TextA(edit), kGuanYuGbk);

    UnskinWindow(edit);
    EXPECT_FALSE(FindSkinnedWindow(edit, &record));
    EXPECT_TRUE(IsWindowUnicode(edit));
    EXPECT_EQ(GetWindowLongPtrW(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(record.previous));
    TypeW(edit, kCaoCao);
    EXPECT_EQ(TextW(edit), std::wstring(kGuanYu) + kCaoCao);
}

// An ANSI window keeps being one: SkinProc goes in, passes messages on and comes out through the A functions.
TEST_F(SkinnedCharacters, AnsiWindowStaysAnsiAndKeepsWorking) {
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
    EXPECT_FALSE(record.unicode);
    EXPECT_FALSE(IsWindowUnicode(edit));
    EXPECT_EQ(GetWindowLongPtrA(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&SkinProc));
    EXPECT_EQ(record.previous, &AnsiSubclassProc);

    for (const char* c = "Cao"; *c; ++c)
        SendMessageA(edit, WM_CHAR, WPARAM(static_cast<unsigned char>(*c)), 1);
    EXPECT_EQ(TextA(edit), "Cao");
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kGuanYuGbk));
    EXPECT_EQ(TextW(edit), std::wstring(kGuanYu));
    EXPECT_EQ(TextA(edit), kGuanYuGbk);
    SendMessageA(edit, EM_SETREADONLY, TRUE, 0);
    EXPECT_TRUE(GetWindowLongPtrA(edit, GWL_STYLE) & ES_READONLY);

    UnskinWindow(edit);
    EXPECT_FALSE(FindSkinnedWindow(edit, &record));
    EXPECT_FALSE(IsWindowUnicode(edit));
    EXPECT_EQ(GetWindowLongPtrA(edit, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&AnsiSubclassProc));
    SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(gEditProc));
}

}  // namespace
