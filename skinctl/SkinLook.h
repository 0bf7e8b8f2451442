#pragma once

#include <array>
#include <cstdint>
#include <string>

// The skinned look of the standard controls as data: which windows take it, how their state bits follow the
// messages they receive, and every colour, table, pixel and line the painters draw. Nothing here knows Win32; the
// message, style and colour numbers are the platform's own values, and the Windows half checks them against its
// headers.

// The kind of a skinned window; 0 is a window that keeps the system's look.
enum SkinKind : uint32_t {
    kSkinNone = 0,
    kSkinPushButton = 1,
    kSkinCheckBox = 2,
    kSkinRadioButton = 3,
    kSkinGroupBox = 4,
    kSkinEdit = 5,
    kSkinComboBox = 6,
    kSkinDialog = 7,
    kSkinKindCount,  // not a kind: new kinds go above it, each with its row in SkinLook.cpp's table
};

// Bits of a skinned window's state word.
enum SkinState : uint32_t {
    kSkinDisabled = 0x01,
    kSkinPressed = 0x02,
    kSkinHot = 0x04,
    kSkinFocused = 0x08,
    kSkinMultiLine = 0x10,
    kSkinChecked = 0x20,
    kSkinIndeterminate = 0x40,
    kSkinReadOnly = 0x80,
};

// Window messages and style bits that the skinning reads (the Win32 values).
namespace skinmsg {
constexpr uint32_t kDestroy = 0x0002;
constexpr uint32_t kSetFocus = 0x0007;
constexpr uint32_t kKillFocus = 0x0008;
constexpr uint32_t kEnable = 0x000A;
constexpr uint32_t kSetText = 0x000C;
constexpr uint32_t kPaint = 0x000F;
constexpr uint32_t kNcDestroy = 0x0082;
constexpr uint32_t kNcPaint = 0x0085;
constexpr uint32_t kSetReadOnly = 0x00CF;  // EM_SETREADONLY
constexpr uint32_t kGetCheck = 0x00F0;     // BM_GETCHECK
constexpr uint32_t kSetCheck = 0x00F1;     // BM_SETCHECK
constexpr uint32_t kSetState = 0x00F3;     // BM_SETSTATE
constexpr uint32_t kCtlColorBtn = 0x0135;
constexpr uint32_t kCtlColorDlg = 0x0136;
constexpr uint32_t kCtlColorStatic = 0x0138;
constexpr uint32_t kMouseMove = 0x0200;
constexpr uint32_t kLButtonDown = 0x0201;
constexpr uint32_t kLButtonUp = 0x0202;
constexpr uint32_t kMouseLeave = 0x02A3;
constexpr uintptr_t kLeftButtonHeld = 0x0001;  // MK_LBUTTON in a mouse message's wParam
}  // namespace skinmsg

namespace skinstyle {
constexpr uint32_t kButtonTypeMask = 0x1F;
constexpr uint32_t kPushLike = 0x1000;         // BS_PUSHLIKE
constexpr uint32_t kButtonMultiLine = 0x2000;  // BS_MULTILINE
constexpr uint32_t kComboTypeMask = 0x3;
constexpr uint32_t kEditReadOnly = 0x0800;   // ES_READONLY
constexpr uint32_t kBorder = 0x00800000;     // WS_BORDER
constexpr uint32_t kDisabled = 0x08000000;   // WS_DISABLED
constexpr uint32_t kExClientEdge = 0x200;    // WS_EX_CLIENTEDGE
constexpr uint32_t kExStaticEdge = 0x20000;  // WS_EX_STATICEDGE
}  // namespace skinstyle

// The kind for a window class name (any case) and style; kSkinNone for everything the skin leaves alone.
SkinKind ClassifyClass(std::string className, uint32_t style);

// The state bits a window starts with when it is skinned: WS_DISABLED, the focus, the button's check answer
// (BM_GETCHECK: 1 checked, 2 indeterminate) and BS_MULTILINE for the button kinds, ES_READONLY for an edit box.
uint32_t InitialSkinState(SkinKind kind, uint32_t style, bool focused, intptr_t checkAnswer);

// What SkinProc does after the control's own procedure has handled a message.
enum class SkinAction {
    kNone,
    kRepaint,
    kRepaintAndTrackLeave,  // paint hot, then ask for WM_MOUSELEAVE
    kUnskin,                // the window is being destroyed
    kForget,                // the window is gone (WM_NCDESTROY): drop its record whatever else holds
    kDialogColour,          // answer with the skin background brush
};

struct SkinReaction {
    uint32_t state;
    SkinAction action;
};

// The state after message (with wParam) reached a window of kind in state, and what to do about it.
SkinReaction ReactToMessage(SkinKind kind, uint32_t message, uintptr_t wParam, uint32_t state);

// --- colours ------------------------------------------------------------------------------------------------------
// COLORREF values: red in the low byte, then green, then blue.
constexpr uint32_t SkinRgb(uint32_t red, uint32_t green, uint32_t blue) {
    return red | (green << 8) | (blue << 16);
}

// face darkened by delta channel by channel; a channel that would go below zero stops at zero instead of borrowing
// from the next one (for every face where no channel goes below zero this is face - delta).
uint32_t FaceMinus(uint32_t face, uint32_t delta);

// Four colours of a gradient: top-left, top-right, bottom-left, bottom-right.
struct Corners4 {
    uint32_t topLeft;
    uint32_t topRight;
    uint32_t bottomLeft;
    uint32_t bottomRight;
};

namespace skincolour {
constexpr uint32_t kPushFrame = SkinRgb(0, 60, 115);
constexpr uint32_t kPushDisabledFace = SkinRgb(245, 244, 234);
constexpr uint32_t kPushCornerInner = SkinRgb(82, 125, 165);
constexpr uint32_t kPushCornerEdge = SkinRgb(123, 150, 173);
constexpr uint32_t kPushGreyText = SkinRgb(165, 162, 148);
constexpr uint32_t kBoxFrame = SkinRgb(24, 81, 132);
constexpr uint32_t kMark = SkinRgb(33, 162, 33);
constexpr uint32_t kMarkDisabled = SkinRgb(206, 203, 189);
constexpr uint32_t kGroupLine = SkinRgb(117, 136, 173);
constexpr uint32_t kFieldFrame = SkinRgb(123, 158, 189);
constexpr uint32_t kArrow = SkinRgb(74, 97, 132);
constexpr uint32_t kArrowDisabled = SkinRgb(206, 203, 198);
}  // namespace skincolour

// The push button's face (null: disabled, a flat kPushDisabledFace) and inner fill (null: none).
const Corners4* PushFaceTable(uint32_t state);
const Corners4* PushInnerTable(uint32_t state);
uint32_t PushFrameColour(uint32_t state, uint32_t face);
uint32_t PushTextColour(uint32_t state);

// The check box and radio button box: frame and gradient (null: disabled, the stock white brush).
uint32_t BoxFrameColour(uint32_t state, uint32_t face);
const Corners4* BoxTable(uint32_t state);
// The one colour of the check box's 7 by 7 square; false when the square keeps the gradient.
bool CheckSquareFill(uint32_t state, uint32_t* colour);
uint32_t MarkColour(uint32_t state);

// The combo box: row 0 disabled, 1 pressed, 2 hot, 3 normal of its tables.
int ComboRow(uint32_t state);
const Corners4& ComboOuterTable(int row);
const Corners4& ComboInnerTable(int row);
const Corners4& ComboButtonCorners(int row);
uint32_t FieldFrameColour(uint32_t state, uint32_t face);
uint32_t ArrowColour(uint32_t state);

// --- geometry -----------------------------------------------------------------------------------------------------
struct SkinPoint {
    int x;
    int y;
};

struct SkinRect {
    int left;
    int top;
    int right;
    int bottom;
};

struct SkinPixel {
    int x;
    int y;
    uint32_t colour;
};

// The sixteen single pixels that round a w by h push button's corners.
std::array<SkinPixel, 16> PushCornerPixels(int width, int height, uint32_t state, uint32_t face);

// The 13 by 13 box of a check box or radio button of height h, centred vertically at the left edge.
SkinRect CheckBoxBox(int height);
// The 7 by 7 square inside it, for the indeterminate fill, the check mark and the radio dot.
SkinRect CheckSquare(int height);

// One vertical stroke of the check mark: x, from y = top down to y = bottom (bottom excluded).
struct SkinStroke {
    int x;
    int top;
    int bottom;
};
std::array<SkinStroke, 7> CheckMarkStrokes(int squareTop);

// Three connected lines from points[0] through points[1] to points[2].
using SkinPolyline = std::array<SkinPoint, 3>;
std::array<SkinPolyline, 3> ComboArrowLines(const SkinRect& button);

// The drop-down button of a combo box whose inset rectangle is inner: its right part, thumbWidth wide.
SkinRect ComboButtonRect(const SkinRect& inner, int thumbWidth);

// The group box line: six connected points from the caption gap's left end round to its right end. textWidth is
// the caption's measured width (-4 when there is no caption, which closes the line), textHeight its height.
std::array<SkinPoint, 6> GroupBoxPath(int width, int height, int textWidth, int textHeight);

// Where a check box's or radio button's text is drawn once measured: from x 18, centred vertically.
SkinRect CheckTextRect(int height, int measuredRight, int measuredHeight);

// How many inner frames an edit box gets (0, 1 or 2) and whether it has the outer frame at all.
bool EditHasFrame(uint32_t style, uint32_t exStyle);
int EditInnerFrames(uint32_t exStyle);
