#include "skinctl/SkinLook.h"

#include "support/Gbk.h"

namespace {

SkinKind ClassifyButton(uint32_t style) {
    const bool pushLike = (style & skinstyle::kPushLike) != 0;
    switch (style & skinstyle::kButtonTypeMask) {
        case 0:  // BS_PUSHBUTTON
        case 1:  // BS_DEFPUSHBUTTON
            return kSkinPushButton;
        case 2:  // BS_CHECKBOX
        case 3:  // BS_AUTOCHECKBOX
        case 5:  // BS_3STATE
        case 6:  // BS_AUTO3STATE
            return pushLike ? kSkinPushButton : kSkinCheckBox;
        case 4:  // BS_RADIOBUTTON
        case 9:  // BS_AUTORADIOBUTTON
            return pushLike ? kSkinPushButton : kSkinRadioButton;
        case 7:  // BS_GROUPBOX
            return kSkinGroupBox;
        default:  // BS_USERBUTTON, BS_OWNERDRAW and the rest draw themselves
            return kSkinNone;
    }
}

// The rows of ReactToMessage that a kind takes before those shared by every control.
enum class OwnRows { kNone, kButton, kEdit, kCombo, kDialog };

struct KindRow {
    SkinKind kind;
    OwnRows own;
    bool control;      // also takes the rows shared by every control
    bool buttonState;  // starts with the button's check answer and BS_MULTILINE
};

// What each kind takes, one row per kind in the enum's order.
constexpr KindRow kKindRows[] = {
    {kSkinNone, OwnRows::kNone, false, false},  // the system's look: nothing changes
    {kSkinPushButton, OwnRows::kButton, true, true},  {kSkinCheckBox, OwnRows::kButton, true, true},
    {kSkinRadioButton, OwnRows::kButton, true, true}, {kSkinGroupBox, OwnRows::kButton, true, false},
    {kSkinEdit, OwnRows::kEdit, true, false},         {kSkinComboBox, OwnRows::kCombo, true, false},
    {kSkinDialog, OwnRows::kDialog, false, false},
};
static_assert(sizeof kKindRows / sizeof kKindRows[0] == kSkinKindCount, "every kind needs its row");

constexpr bool RowsFollowTheKinds() {
    for (uint32_t kind = 0; kind < kSkinKindCount; ++kind) {
        if (kKindRows[kind].kind != kind)
            return false;
    }
    return true;
}
static_assert(RowsFollowTheKinds(), "row i describes kind i");

// The row of kind, or nullptr for a value that names no kind.
const KindRow* RowOf(SkinKind kind) {
    return kind < kSkinKindCount ? &kKindRows[kind] : nullptr;
}

uint32_t WithBit(uint32_t state, uint32_t bit, bool on) {
    return on ? (state | bit) : (state & ~bit);
}

// Rows that only the button kinds (push, check, radio, group) take. False when the message is not one of them.
bool ReactAsButton(uint32_t message, uintptr_t wParam, SkinReaction* reaction) {
    uint32_t& state = reaction->state;
    switch (message) {
        case skinmsg::kSetText:
            break;
        case skinmsg::kSetCheck:
            state &= ~(kSkinChecked | kSkinIndeterminate);
            if (wParam == 1)
                state |= kSkinChecked;
            else if (wParam == 2)
                state |= kSkinIndeterminate;
            break;
        case skinmsg::kSetState:
            state = WithBit(state, kSkinPressed, wParam != 0);
            break;
        default:
            return false;
    }
    reaction->action = SkinAction::kRepaint;
    return true;
}

bool ReactAsEdit(uint32_t message, uintptr_t wParam, SkinReaction* reaction) {
    switch (message) {
        case skinmsg::kNcPaint:
            break;
        case skinmsg::kSetReadOnly:
            reaction->state = WithBit(reaction->state, kSkinReadOnly, wParam != 0);
            break;
        default:
            return false;
    }
    reaction->action = SkinAction::kRepaint;
    return true;
}

bool ReactAsCombo(uint32_t message, SkinReaction* reaction) {
    switch (message) {
        case skinmsg::kPaint:
        case skinmsg::kNcPaint:
            break;
        case skinmsg::kLButtonDown:
            reaction->state |= kSkinPressed;
            break;
        case skinmsg::kLButtonUp:
            reaction->state &= ~kSkinPressed;
            break;
        default:
            return false;
    }
    reaction->action = SkinAction::kRepaint;
    return true;
}

// A dialog's own rows: the colour messages, and leaving when it is destroyed.
void ReactAsDialog(uint32_t message, SkinReaction* reaction) {
    switch (message) {
        case skinmsg::kCtlColorBtn:
        case skinmsg::kCtlColorDlg:
        case skinmsg::kCtlColorStatic:
            reaction->action = SkinAction::kDialogColour;
            break;
        case skinmsg::kDestroy:
            reaction->action = SkinAction::kUnskin;  // so that a later window with the same handle is skinned
            break;
    }
}

// Rows shared by every control kind (the rows of the table with control set).
void ReactAsControl(uint32_t message, uintptr_t wParam, SkinReaction* reaction) {
    uint32_t& state = reaction->state;
    SkinAction& action = reaction->action;
    switch (message) {
        case skinmsg::kDestroy:
            action = SkinAction::kUnskin;
            break;
        case skinmsg::kSetFocus:
            state |= kSkinFocused;
            action = SkinAction::kRepaint;
            break;
        case skinmsg::kKillFocus:
            state &= ~kSkinFocused;
            action = SkinAction::kRepaint;
            break;
        case skinmsg::kEnable:
            state = WithBit(state, kSkinDisabled, wParam == 0);
            action = SkinAction::kRepaint;
            break;
        case skinmsg::kPaint:
            action = SkinAction::kRepaint;
            break;
        case skinmsg::kMouseMove:
            if ((state & kSkinHot) || (wParam & skinmsg::kLeftButtonHeld))
                break;
            state |= kSkinHot;
            action = SkinAction::kRepaintAndTrackLeave;
            break;
        case skinmsg::kMouseLeave:
            if (state & kSkinHot) {
                state &= ~kSkinHot;
                action = SkinAction::kRepaint;
            }
            break;
    }
}

// A gradient from one colour along the top edge to another along the bottom.
constexpr Corners4 Vertical(uint32_t top, uint32_t bottom) {
    return {top, top, bottom, bottom};
}

// A gradient along the diagonal: the top-left colour, the one of the two other corners, the bottom-right colour.
constexpr Corners4 Diagonal(uint32_t topLeft, uint32_t across, uint32_t bottomRight) {
    return {topLeft, across, across, bottomRight};
}

constexpr Corners4 kPushPressed = Vertical(SkinRgb(209, 204, 193), SkinRgb(242, 241, 238));
constexpr Corners4 kPushHot = Vertical(SkinRgb(255, 240, 207), SkinRgb(229, 151, 0));
constexpr Corners4 kPushChecked = {SkinRgb(214, 203, 189), SkinRgb(214, 207, 198), SkinRgb(247, 243, 239),
                                   SkinRgb(247, 243, 239)};
constexpr Corners4 kPushFocused = Vertical(SkinRgb(206, 231, 255), SkinRgb(105, 130, 238));
constexpr Corners4 kPushNormal = Vertical(SkinRgb(255, 255, 255), SkinRgb(226, 223, 214));
constexpr Corners4 kPushInnerDown = {SkinRgb(231, 227, 222), SkinRgb(231, 231, 231), SkinRgb(231, 227, 222),
                                     SkinRgb(231, 227, 222)};
constexpr Corners4 kPushInnerNormal = Vertical(SkinRgb(252, 252, 251), SkinRgb(236, 235, 230));

constexpr Corners4 kBoxPressed = Diagonal(SkinRgb(181, 178, 165), SkinRgb(214, 215, 206), SkinRgb(247, 239, 222));
constexpr Corners4 kBoxHot = Diagonal(SkinRgb(255, 243, 206), SkinRgb(255, 203, 99), SkinRgb(255, 178, 49));
constexpr Corners4 kBoxNormal = Diagonal(SkinRgb(222, 223, 214), SkinRgb(247, 243, 239), SkinRgb(255, 255, 255));

// Rows: disabled, pressed, hot, normal.
constexpr Corners4 kComboOuter[4] = {
    {SkinRgb(247, 243, 239), SkinRgb(231, 231, 222), SkinRgb(231, 227, 222), SkinRgb(231, 227, 222)},
    {SkinRgb(165, 174, 222), SkinRgb(189, 203, 247), SkinRgb(115, 130, 222), SkinRgb(181, 199, 247)},
    {SkinRgb(181, 199, 239), SkinRgb(148, 174, 231), SkinRgb(132, 162, 222), SkinRgb(140, 166, 222)},
    {SkinRgb(214, 227, 255), SkinRgb(189, 203, 247), SkinRgb(173, 195, 247), SkinRgb(181, 199, 247)},
};
constexpr Corners4 kComboInner[4] = {
    {SkinRgb(247, 247, 247), SkinRgb(239, 239, 231), SkinRgb(239, 235, 231), SkinRgb(231, 231, 222)},
    {SkinRgb(107, 142, 247), SkinRgb(132, 150, 247), SkinRgb(140, 158, 239), SkinRgb(214, 223, 239)},
    {SkinRgb(255, 255, 255), SkinRgb(206, 227, 255), SkinRgb(198, 223, 255), SkinRgb(189, 219, 255)},
    {SkinRgb(231, 235, 255), SkinRgb(189, 207, 255), SkinRgb(181, 203, 255), SkinRgb(173, 203, 247)},
};
constexpr Corners4 kComboCorners[4] = {
    {SkinRgb(247, 247, 247), SkinRgb(247, 243, 239), SkinRgb(247, 243, 239), SkinRgb(247, 243, 239)},
    {SkinRgb(189, 195, 222), SkinRgb(173, 182, 222), SkinRgb(222, 227, 255), SkinRgb(222, 227, 247)},
    {SkinRgb(206, 219, 239), SkinRgb(198, 207, 239), SkinRgb(198, 207, 231), SkinRgb(189, 203, 231)},
    {SkinRgb(231, 239, 255), SkinRgb(222, 231, 255), SkinRgb(222, 227, 255), SkinRgb(222, 227, 247)},
};

}  // namespace

SkinKind ClassifyClass(std::string className, uint32_t style) {
    LowerAsciiDbcs(&className[0], className.size());
    if (className == "button")
        return ClassifyButton(style);
    if (className == "edit")
        return kSkinEdit;
    if (className == "combobox") {
        const uint32_t type = style & skinstyle::kComboTypeMask;
        return (type == 2 || type == 3) ? kSkinComboBox : kSkinNone;  // CBS_DROPDOWN, CBS_DROPDOWNLIST
    }
    if (className == "#32770")
        return kSkinDialog;
    return kSkinNone;
}

uint32_t InitialSkinState(SkinKind kind, uint32_t style, bool focused, intptr_t checkAnswer) {
    uint32_t state = 0;
    if (style & skinstyle::kDisabled)
        state |= kSkinDisabled;
    if (focused)
        state |= kSkinFocused;
    const KindRow* row = RowOf(kind);
    if (row && row->buttonState) {
        if (checkAnswer == 1)
            state |= kSkinChecked;
        else if (checkAnswer == 2)
            state |= kSkinIndeterminate;
        if (style & skinstyle::kButtonMultiLine)
            state |= kSkinMultiLine;
    } else if (kind == kSkinEdit && (style & skinstyle::kEditReadOnly)) {
        state |= kSkinReadOnly;
    }
    return state;
}

SkinReaction ReactToMessage(SkinKind kind, uint32_t message, uintptr_t wParam, uint32_t state) {
    SkinReaction reaction = {state, SkinAction::kNone};
    if (message == skinmsg::kNcDestroy) {
        reaction.action = SkinAction::kForget;
        return reaction;
    }
    const KindRow* row = RowOf(kind);
    if (!row)
        return reaction;
    bool taken = false;
    switch (row->own) {
        case OwnRows::kNone:
            break;
        case OwnRows::kButton:
            taken = ReactAsButton(message, wParam, &reaction);
            break;
        case OwnRows::kEdit:
            taken = ReactAsEdit(message, wParam, &reaction);
            break;
        case OwnRows::kCombo:
            taken = ReactAsCombo(message, &reaction);
            break;
        case OwnRows::kDialog:
            ReactAsDialog(message, &reaction);
            taken = true;
            break;
    }
    if (!taken && row->control)
        ReactAsControl(message, wParam, &reaction);
    return reaction;
}

uint32_t FaceMinus(uint32_t face, uint32_t delta) {
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int channel = int((face >> shift) & 0xFF) - int((delta >> shift) & 0xFF);
        result |= uint32_t(channel < 0 ? 0 : channel) << shift;
    }
    return result;
}

const Corners4* PushFaceTable(uint32_t state) {
    if (state & kSkinDisabled)
        return nullptr;
    if (state & kSkinPressed)
        return &kPushPressed;
    if (state & kSkinHot)
        return &kPushHot;
    if (state & (kSkinChecked | kSkinIndeterminate))
        return &kPushChecked;
    if (state & kSkinFocused)
        return &kPushFocused;
    return &kPushNormal;
}

const Corners4* PushInnerTable(uint32_t state) {
    if (state & (kSkinPressed | kSkinChecked | kSkinIndeterminate))
        return &kPushInnerDown;
    if (state & kSkinDisabled)
        return nullptr;
    return &kPushInnerNormal;
}

uint32_t PushFrameColour(uint32_t state, uint32_t face) {
    return (state & kSkinDisabled) ? FaceMinus(face, 0x202020) : skincolour::kPushFrame;
}

uint32_t PushTextColour(uint32_t state) {
    return (state & (kSkinDisabled | kSkinIndeterminate)) ? skincolour::kPushGreyText : 0;
}

uint32_t BoxFrameColour(uint32_t state, uint32_t face) {
    return (state & kSkinDisabled) ? FaceMinus(face, 0x202020) : skincolour::kBoxFrame;
}

const Corners4* BoxTable(uint32_t state) {
    if (state & kSkinDisabled)
        return nullptr;
    if (state & kSkinPressed)
        return &kBoxPressed;
    if (state & kSkinHot)
        return &kBoxHot;
    return &kBoxNormal;
}

bool CheckSquareFill(uint32_t state, uint32_t* colour) {
    const bool hotOnly = (state & kSkinHot) && !(state & kSkinPressed);
    if (state & kSkinIndeterminate) {
        if (state & kSkinDisabled)
            *colour = SkinRgb(206, 203, 189);
        else if (state & kSkinPressed)
            *colour = SkinRgb(24, 138, 24);
        else if (state & kSkinHot)
            *colour = SkinRgb(33, 162, 33);
        else
            *colour = SkinRgb(115, 195, 115);
        return true;
    }
    if (!hotOnly)
        return false;
    *colour = (state & kSkinChecked) ? SkinRgb(247, 247, 247) : SkinRgb(231, 231, 231);
    return true;
}

uint32_t MarkColour(uint32_t state) {
    return (state & kSkinDisabled) ? skincolour::kMarkDisabled : skincolour::kMark;
}

int ComboRow(uint32_t state) {
    if (state & kSkinDisabled)
        return 0;
    if (state & kSkinPressed)
        return 1;
    if (state & kSkinHot)
        return 2;
    return 3;
}

const Corners4& ComboOuterTable(int row) {
    return kComboOuter[row];
}

const Corners4& ComboInnerTable(int row) {
    return kComboInner[row];
}

const Corners4& ComboButtonCorners(int row) {
    return kComboCorners[row];
}

uint32_t FieldFrameColour(uint32_t state, uint32_t face) {
    return (state & kSkinDisabled) ? FaceMinus(face, 0x202020) : skincolour::kFieldFrame;
}

uint32_t ArrowColour(uint32_t state) {
    return (state & kSkinDisabled) ? skincolour::kArrowDisabled : skincolour::kArrow;
}

std::array<SkinPixel, 16> PushCornerPixels(int w, int h, uint32_t state, uint32_t face) {
    const bool disabled = (state & kSkinDisabled) != 0;
    const uint32_t inner = disabled ? FaceMinus(face, 0x151515) : skincolour::kPushCornerInner;
    const uint32_t edge = disabled ? FaceMinus(face, 0x111111) : skincolour::kPushCornerEdge;
    return {{
        {0, 0, face},
        {0, h - 1, face},
        {w - 1, h - 1, face},
        {w - 1, 0, face},
        {1, 1, inner},
        {1, h - 2, inner},
        {w - 2, h - 2, inner},
        {w - 2, 1, inner},
        {0, 1, edge},
        {1, 0, edge},
        {w - 2, 0, edge},
        {w - 1, 1, edge},
        {0, h - 2, edge},
        {1, h - 1, edge},
        {w - 1, h - 2, edge},
        {w - 2, h - 1, edge},
    }};
}

SkinRect CheckBoxBox(int height) {
    const int top = (height - 13) / 2;  // C++ division truncates toward zero, as the look wants
    return {0, top, 13, top + 13};
}

SkinRect CheckSquare(int height) {
    const SkinRect box = CheckBoxBox(height);
    return {box.left + 3, box.top + 3, box.right - 3, box.bottom - 3};
}

std::array<SkinStroke, 7> CheckMarkStrokes(int t) {
    return {{
        {3, t + 2, t + 5},
        {4, t + 3, t + 6},
        {5, t + 4, t + 7},
        {6, t + 3, t + 6},
        {7, t + 2, t + 5},
        {8, t + 1, t + 4},
        {9, t + 0, t + 3},
    }};
}

std::array<SkinPolyline, 3> ComboArrowLines(const SkinRect& a) {
    const int cx = a.left + (a.right - a.left) / 2;
    const int cy = a.top + (a.bottom - a.top) / 2;
    return {{
        {{{cx - 4, cy - 2}, {cx, cy + 2}, {cx + 5, cy - 3}}},
        {{{cx - 3, cy - 2}, {cx, cy + 1}, {cx + 4, cy - 3}}},
        {{{cx - 3, cy - 3}, {cx, cy}, {cx + 4, cy - 4}}},
    }};
}

SkinRect ComboButtonRect(const SkinRect& inner, int thumbWidth) {
    return {inner.right - thumbWidth, inner.top, inner.right, inner.bottom};
}

std::array<SkinPoint, 6> GroupBoxPath(int w, int h, int textWidth, int textHeight) {
    const int y = textHeight / 2;
    return {{{6, y}, {0, y}, {0, h - 2}, {w - 2, h - 2}, {w - 2, y}, {textWidth + 10, y}}};
}

SkinRect CheckTextRect(int height, int measuredRight, int measuredHeight) {
    const int top = (height - measuredHeight) / 2;
    return {18, top, measuredRight, top + measuredHeight};
}

bool EditHasFrame(uint32_t style, uint32_t exStyle) {
    return (style & skinstyle::kBorder) || (exStyle & (skinstyle::kExClientEdge | skinstyle::kExStaticEdge));
}

int EditInnerFrames(uint32_t exStyle) {
    return ((exStyle & skinstyle::kExClientEdge) ? 1 : 0) + ((exStyle & skinstyle::kExStaticEdge) ? 1 : 0);
}
