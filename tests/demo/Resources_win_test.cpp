#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "resources/resource.h"

// The resources are linked into this test program, so they are read from its own module the way the installer
// reads them from its executable.

namespace {

constexpr int kSkinSize = 450;
constexpr uint16_t kButtonAtom = 0x0080;
constexpr uint16_t kEditAtom = 0x0081;
constexpr uint16_t kStaticAtom = 0x0082;
constexpr UINT kGbkCodePage = 936;

HMODULE Self() {
    return GetModuleHandleA(nullptr);
}

std::string ToGbk(const std::u16string& text) {
    if (text.empty())
        return std::string();
    const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
    int size = WideCharToMultiByte(kGbkCodePage, 0, wide, static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(kGbkCodePage, 0, wide, static_cast<int>(text.size()), &out[0], size, nullptr, nullptr);
    return out;
}

// Reads a dialog template in resource memory: little-endian words, strings and ordinals, DWORD-aligned items.
class TemplateReader {
  public:
    explicit TemplateReader(const unsigned char* data) : start_(data), at_(data) {}

    uint16_t Word() {
        uint16_t value;
        std::memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    uint32_t Dword() {
        uint32_t value;
        std::memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    int16_t Short() { return static_cast<int16_t>(Word()); }
    unsigned char Byte() { return *at_++; }
    std::u16string String() {
        std::u16string text;
        for (uint16_t c = Word(); c != 0; c = Word())
            text.push_back(static_cast<char16_t>(c));
        return text;
    }
    // A string or an ordinal (0xFFFF followed by the number): *ordinal is 0 for a string.
    std::u16string StringOrOrdinal(uint16_t* ordinal) {
        *ordinal = 0;
        if (Word() == 0xFFFF) {
            *ordinal = Word();
            return std::u16string();
        }
        at_ -= sizeof(uint16_t);
        return String();
    }
    void AlignDword() {
        while ((at_ - start_) % 4 != 0)
            ++at_;
    }
    void Skip(size_t count) { at_ += count; }

  private:
    const unsigned char* start_;
    const unsigned char* at_;
};

struct DialogItem {
    uint32_t style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint32_t id = 0;
    uint16_t classAtom = 0;
    std::u16string className;
    std::string text;  // GBK
};

struct Dialog {
    uint16_t version = 0, signature = 0;
    uint32_t style = 0;
    int16_t x = 0, y = 0, cx = 0, cy = 0;
    uint16_t menuOrdinal = 0, classOrdinal = 0;
    std::u16string menu, windowClass;
    std::string caption;  // GBK
    uint16_t pointSize = 0, weight = 0;
    unsigned char italic = 0, charset = 0;
    std::string face;  // GBK
    std::vector<DialogItem> items;
};

bool ReadDialog(int id, Dialog* dialog) {
    HRSRC found = FindResourceA(Self(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));  // RT_DIALOG
    if (!found)
        return false;
    TemplateReader in(static_cast<const unsigned char*>(LockResource(LoadResource(Self(), found))));
    dialog->version = in.Word();
    dialog->signature = in.Word();
    if (dialog->version != 1 || dialog->signature != 0xFFFF)
        return false;  // only the extended form is read here
    in.Dword();        // help id
    in.Dword();        // extended style
    dialog->style = in.Dword();
    uint16_t count = in.Word();
    dialog->x = in.Short();
    dialog->y = in.Short();
    dialog->cx = in.Short();
    dialog->cy = in.Short();
    dialog->menu = in.StringOrOrdinal(&dialog->menuOrdinal);
    dialog->windowClass = in.StringOrOrdinal(&dialog->classOrdinal);
    dialog->caption = ToGbk(in.String());
    if (dialog->style & DS_SETFONT) {
        dialog->pointSize = in.Word();
        dialog->weight = in.Word();
        dialog->italic = in.Byte();
        dialog->charset = in.Byte();
        dialog->face = ToGbk(in.String());
    }
    for (uint16_t i = 0; i < count; ++i) {
        in.AlignDword();
        DialogItem item;
        in.Dword();  // help id
        in.Dword();  // extended style
        item.style = in.Dword();
        item.x = in.Short();
        item.y = in.Short();
        item.cx = in.Short();
        item.cy = in.Short();
        item.id = in.Dword();
        item.className = in.StringOrOrdinal(&item.classAtom);
        uint16_t textOrdinal;
        item.text = ToGbk(in.StringOrOrdinal(&textOrdinal));
        in.Skip(in.Word());  // creation data
        dialog->items.push_back(item);
    }
    return true;
}

// Windows accepts a control class as an atom or by name; the resource compiler may write either.
uint16_t ClassAtom(const DialogItem& item) {
    if (item.classAtom)
        return item.classAtom;
    std::string name = ToGbk(item.className);
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (name == "button")
        return kButtonAtom;
    if (name == "edit")
        return kEditAtom;
    if (name == "static")
        return kStaticAtom;
    return 0;
}

bool IsKey(const unsigned char* pixel) {
    return pixel[0] == 255 && pixel[1] == 0 && pixel[2] == 255;
}

TEST(Resources, SkinPicturesLoadByNameAsBottomUp24BitPictures) {
    for (const char* name : {"window1.bmp", "WINDOW2.BMP"}) {
        SCOPED_TRACE(name);
        HBITMAP bitmap = static_cast<HBITMAP>(LoadImageA(Self(), name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
        ASSERT_NE(nullptr, bitmap);
        DIBSECTION section{};
        ASSERT_EQ(static_cast<int>(sizeof section), GetObjectA(bitmap, sizeof section, &section));
        EXPECT_EQ(kSkinSize, section.dsBm.bmWidth);
        EXPECT_EQ(kSkinSize, section.dsBm.bmHeight);
        EXPECT_EQ(24, section.dsBm.bmBitsPixel);
        EXPECT_EQ(kSkinSize, section.dsBmih.biHeight);  // positive: bottom-up
        EXPECT_EQ(static_cast<DWORD>(BI_RGB), section.dsBmih.biCompression);

        // Magenta in the corners, the picture in the middle. Memory row 0 is the picture's bottom row.
        const unsigned char* bits = static_cast<const unsigned char*>(section.dsBm.bmBits);
        const int stride = section.dsBm.bmWidthBytes;
        auto pixel = [&](int x, int y) { return bits + (kSkinSize - 1 - y) * stride + x * 3; };
        EXPECT_TRUE(IsKey(pixel(0, 0)));
        EXPECT_TRUE(IsKey(pixel(kSkinSize - 1, kSkinSize - 1)));
        EXPECT_FALSE(IsKey(pixel(kSkinSize / 2, kSkinSize / 2)));
        DeleteObject(bitmap);
    }
}

TEST(Resources, HandCursorIsMonochromeWithItsHotSpotOnTheFingertip) {
    HCURSOR cursor = LoadCursorA(Self(), MAKEINTRESOURCEA(IDR_HAND_CURSOR));
    ASSERT_NE(nullptr, cursor);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(cursor, &info));
    EXPECT_FALSE(info.fIcon);
    EXPECT_EQ(6u, info.xHotspot);
    EXPECT_EQ(1u, info.yHotspot);
    EXPECT_EQ(nullptr, info.hbmColor);
    BITMAP mask{};
    ASSERT_NE(0, GetObjectA(info.hbmMask, sizeof mask, &mask));
    EXPECT_EQ(32, mask.bmWidth);
    EXPECT_EQ(64, mask.bmHeight);  // AND mask above XOR mask
    DeleteObject(info.hbmMask);
    if (info.hbmColor)
        DeleteObject(info.hbmColor);
}

TEST(Resources, IconGroupOffersSmallAndLargeSizes) {
    HRSRC found = FindResourceA(Self(), MAKEINTRESOURCEA(IDI_APP), MAKEINTRESOURCEA(14));  // RT_GROUP_ICON
    ASSERT_NE(nullptr, found);
    TemplateReader in(static_cast<const unsigned char*>(LockResource(LoadResource(Self(), found))));
    EXPECT_EQ(0, in.Word());
    EXPECT_EQ(1, in.Word());  // icons, not cursors
    uint16_t count = in.Word();
    std::vector<int> sizes;
    for (uint16_t i = 0; i < count; ++i) {
        sizes.push_back(in.Byte());
        in.Skip(3);  // height, colours, reserved
        in.Word();   // planes
        EXPECT_EQ(32, in.Word());
        in.Skip(4 + 2);  // bytes, id
    }
    EXPECT_EQ((std::vector<int>{16, 24, 32, 48}), sizes);
    for (int size : {16, 32, 48}) {
        HICON icon = static_cast<HICON>(LoadImageA(Self(), MAKEINTRESOURCEA(IDI_APP), IMAGE_ICON, size, size, 0));
        EXPECT_NE(nullptr, icon) << size;
        if (icon)
            DestroyIcon(icon);
    }
}

TEST(Resources, SettingsDialogHasItsCaptionFontAndSize) {
    Dialog dialog;
    ASSERT_TRUE(ReadDialog(IDD_SETTINGS, &dialog));
    const uint32_t style = DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    EXPECT_EQ(style, dialog.style);
    EXPECT_EQ(0, dialog.x);
    EXPECT_EQ(0, dialog.y);
    EXPECT_EQ(207, dialog.cx);
    EXPECT_EQ(108, dialog.cy);
    EXPECT_TRUE(dialog.menu.empty() && dialog.menuOrdinal == 0);
    EXPECT_TRUE(dialog.windowClass.empty() && dialog.classOrdinal == 0);
    EXPECT_EQ("设置", dialog.caption);
    EXPECT_EQ(12, dialog.pointSize);
    EXPECT_EQ("宋体", dialog.face);
    EXPECT_EQ(GB2312_CHARSET, dialog.charset);
    EXPECT_EQ(12u, dialog.items.size());
}

TEST(Resources, SettingsDialogControlsMatchTheirTable) {
    struct Expected {
        int id;
        uint16_t atom;
        uint32_t kind;  // the low style bits that make the kind of control
        const char* text;
        int16_t x, y, cx, cy;
    };
    const Expected expected[] = {
        {IDOK, kButtonAtom, BS_DEFPUSHBUTTON, "返回", 78, 89, 53, 14},
        {IDC_GEFORCE2MX, kButtonAtom, BS_AUTOCHECKBOX, "打开GeForce2MX 兼容模式", 7, 95, 108, 10},
        {-1, kButtonAtom, BS_GROUPBOX, "修改自创武将名", 4, 4, 200, 80},
        {-1, kStaticAtom, SS_LEFT, "Save文档:", 9, 16, 37, 8},
        {IDC_SAVE_PATH, kEditAtom, ES_AUTOHSCROLL | ES_READONLY, "", 52, 15, 147, 12},
        {-1, kStaticAtom, SS_LEFT, "自创武将名1:", 9, 34, 49, 8},
        {IDC_NAME1, kEditAtom, ES_AUTOHSCROLL, "", 71, 32, 56, 13},
        {-1, kStaticAtom, SS_LEFT, "自创武将名2:", 9, 50, 49, 8},
        {IDC_NAME2, kEditAtom, ES_AUTOHSCROLL, "", 71, 48, 56, 13},
        {IDC_OPEN_SAVE, kButtonAtom, BS_PUSHBUTTON, "打开", 149, 31, 50, 14},
        {IDC_CANCEL_SAVE, kButtonAtom, BS_PUSHBUTTON, "取消", 149, 47, 50, 14},
        {IDC_CHOOSE_FONT, kButtonAtom, BS_PUSHBUTTON, "选择字体", 9, 65, 50, 14},
    };
    Dialog dialog;
    ASSERT_TRUE(ReadDialog(IDD_SETTINGS, &dialog));
    ASSERT_EQ(sizeof expected / sizeof expected[0], dialog.items.size());
    for (size_t i = 0; i < dialog.items.size(); ++i) {
        const DialogItem& item = dialog.items[i];
        const Expected& want = expected[i];
        SCOPED_TRACE(want.text);
        EXPECT_EQ(static_cast<uint32_t>(want.id) & 0xFFFF, item.id & 0xFFFF);
        EXPECT_EQ(want.atom, ClassAtom(item));
        EXPECT_EQ(want.text, item.text);
        EXPECT_EQ(want.x, item.x);
        EXPECT_EQ(want.y, item.y);
        EXPECT_EQ(want.cx, item.cx);
        EXPECT_EQ(want.cy, item.cy);
        const uint32_t kindMask = want.atom == kEditAtom ? (ES_AUTOHSCROLL | ES_READONLY | ES_MULTILINE) : 0xF;
        EXPECT_EQ(want.kind, item.style & kindMask);
        EXPECT_TRUE(item.style & WS_CHILD);
        if (want.atom == kEditAtom) {
            EXPECT_TRUE(item.style & WS_BORDER);
        }
        // The compatibility box exists but can be neither seen nor changed; everything else is shown.
        const bool hiddenBox = want.id == IDC_GEFORCE2MX;
        EXPECT_EQ(!hiddenBox, (item.style & WS_VISIBLE) != 0);
        EXPECT_EQ(hiddenBox, (item.style & WS_DISABLED) != 0);
    }
}

}  // namespace
