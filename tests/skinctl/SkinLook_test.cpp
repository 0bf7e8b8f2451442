#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "skinctl/SkinLook.h"

namespace {

using namespace skinmsg;

constexpr uint32_t kPushLike = 0x1000;
constexpr uint32_t kOwnerDraw = 0xB;

TEST(SkinClassify, ButtonTypesAndPushLike) {
    const std::pair<uint32_t, SkinKind> plain[] = {
        {0, kSkinPushButton}, {1, kSkinPushButton},    {2, kSkinCheckBox}, {3, kSkinCheckBox}, {4, kSkinRadioButton},
        {5, kSkinCheckBox},   {6, kSkinCheckBox},      {7, kSkinGroupBox}, {8, kSkinNone},     {9, kSkinRadioButton},
        {10, kSkinNone},      {kOwnerDraw, kSkinNone}, {31, kSkinNone},
    };
    for (const auto& [type, kind] : plain)
        EXPECT_EQ(ClassifyClass("button", type | 0x50000000), kind) << "type " << type;
    for (uint32_t type : {2u, 3u, 4u, 5u, 6u, 9u})
        EXPECT_EQ(ClassifyClass("button", type | kPushLike), kSkinPushButton) << "push-like type " << type;
    EXPECT_EQ(ClassifyClass("button", 7 | kPushLike), kSkinGroupBox);
    EXPECT_EQ(ClassifyClass("button", kOwnerDraw | kPushLike), kSkinNone);
}

TEST(SkinClassify, ClassNamesWholeAndInAnyCase) {
    EXPECT_EQ(ClassifyClass("BUTTON", 0), kSkinPushButton);
    EXPECT_EQ(ClassifyClass("Edit", 0), kSkinEdit);
    EXPECT_EQ(ClassifyClass("#32770", 0), kSkinDialog);
    EXPECT_EQ(ClassifyClass("ComboBox", 2), kSkinComboBox);  // CBS_DROPDOWN
    EXPECT_EQ(ClassifyClass("combobox", 3), kSkinComboBox);  // CBS_DROPDOWNLIST
    EXPECT_EQ(ClassifyClass("combobox", 1), kSkinNone);      // CBS_SIMPLE
    EXPECT_EQ(ClassifyClass("combobox", 0), kSkinNone);
    EXPECT_EQ(ClassifyClass("static", 0), kSkinNone);
    EXPECT_EQ(ClassifyClass("buttons", 0), kSkinNone);
    EXPECT_EQ(ClassifyClass("InstallButtonClass", 0), kSkinNone);
    EXPECT_EQ(ClassifyClass("", 0), kSkinNone);
}

TEST(SkinState, InitialBitsPerKind) {
    constexpr uint32_t kDisabledStyle = 0x08000000;
    constexpr uint32_t kMultiLineStyle = 0x2000;
    constexpr uint32_t kReadOnlyStyle = 0x0800;
    EXPECT_EQ(InitialSkinState(kSkinPushButton, kDisabledStyle, true, 0), kSkinDisabled | kSkinFocused);
    EXPECT_EQ(InitialSkinState(kSkinCheckBox, 0, false, 1), kSkinChecked);
    EXPECT_EQ(InitialSkinState(kSkinCheckBox, 0, false, 2), kSkinIndeterminate);
    EXPECT_EQ(InitialSkinState(kSkinRadioButton, kMultiLineStyle, false, 0), kSkinMultiLine);
    // BS_MULTILINE and ES_READONLY share bits with other kinds' styles: each counts only for its own kind.
    EXPECT_EQ(InitialSkinState(kSkinEdit, kMultiLineStyle | kReadOnlyStyle, false, 1), kSkinReadOnly);
    EXPECT_EQ(InitialSkinState(kSkinPushButton, kReadOnlyStyle, false, 0), 0u);
    EXPECT_EQ(InitialSkinState(kSkinGroupBox, kMultiLineStyle, false, 1), 0u);
    EXPECT_EQ(InitialSkinState(kSkinComboBox, kReadOnlyStyle | kMultiLineStyle, false, 0), 0u);
}

TEST(SkinState, CheckAnswersReplaceEachOther) {
    const uint32_t start = kSkinFocused | kSkinChecked;
    SkinReaction r = ReactToMessage(kSkinCheckBox, kSetCheck, 2, start);
    EXPECT_EQ(r.state, kSkinFocused | kSkinIndeterminate);
    EXPECT_EQ(r.action, SkinAction::kRepaint);
    r = ReactToMessage(kSkinCheckBox, kSetCheck, 1, r.state);
    EXPECT_EQ(r.state, kSkinFocused | kSkinChecked);
    EXPECT_EQ(ReactToMessage(kSkinCheckBox, kSetCheck, 0, r.state).state, kSkinFocused);
    EXPECT_EQ(ReactToMessage(kSkinRadioButton, kSetCheck, 7, kSkinChecked | kSkinIndeterminate).state, 0u);
    EXPECT_EQ(ReactToMessage(kSkinGroupBox, kSetCheck, 1, 0).state, kSkinChecked);
    // Not a button: the message passes without a change.
    EXPECT_EQ(ReactToMessage(kSkinEdit, kSetCheck, 1, 0).state, 0u);
    EXPECT_EQ(ReactToMessage(kSkinEdit, kSetCheck, 1, 0).action, SkinAction::kNone);
}

TEST(SkinState, PressedFollowsSetStateOnButtonsAndTheMouseOnComboBoxes) {
    EXPECT_EQ(ReactToMessage(kSkinPushButton, kSetState, 1, 0).state, kSkinPressed);
    EXPECT_EQ(ReactToMessage(kSkinPushButton, kSetState, 0, kSkinPressed | kSkinHot).state, kSkinHot);
    EXPECT_EQ(ReactToMessage(kSkinComboBox, kLButtonDown, 1, 0).state, kSkinPressed);
    EXPECT_EQ(ReactToMessage(kSkinComboBox, kLButtonUp, 0, kSkinPressed).state, 0u);
    EXPECT_EQ(ReactToMessage(kSkinPushButton, kLButtonDown, 1, 0).state, 0u);  // the button says so by BM_SETSTATE
    EXPECT_EQ(ReactToMessage(kSkinComboBox, kSetState, 1, 0).action, SkinAction::kNone);
}

TEST(SkinState, HotOnlyWithoutTheLeftButtonAndOnce) {
    const SkinReaction first = ReactToMessage(kSkinPushButton, kMouseMove, 0, 0);
    EXPECT_EQ(first.state, kSkinHot);
    EXPECT_EQ(first.action, SkinAction::kRepaintAndTrackLeave);
    EXPECT_EQ(ReactToMessage(kSkinPushButton, kMouseMove, 0, kSkinHot).action, SkinAction::kNone);
    const SkinReaction held = ReactToMessage(kSkinCheckBox, kMouseMove, kLeftButtonHeld, 0);
    EXPECT_EQ(held.state, 0u);
    EXPECT_EQ(held.action, SkinAction::kNone);
    const SkinReaction left = ReactToMessage(kSkinEdit, kMouseLeave, 0, kSkinHot | kSkinReadOnly);
    EXPECT_EQ(left.state, kSkinReadOnly);
    EXPECT_EQ(left.action, SkinAction::kRepaint);
    EXPECT_EQ(ReactToMessage(kSkinEdit, kMouseLeave, 0, 0).action, SkinAction::kNone);
}

TEST(SkinState, FocusEnableAndReadOnly) {
    EXPECT_EQ(ReactToMessage(kSkinComboBox, kSetFocus, 0, 0).state, kSkinFocused);
    EXPECT_EQ(ReactToMessage(kSkinComboBox, kKillFocus, 0, kSkinFocused).state, 0u);
    EXPECT_EQ(ReactToMessage(kSkinGroupBox, kEnable, 0, 0).state, kSkinDisabled);
    EXPECT_EQ(ReactToMessage(kSkinGroupBox, kEnable, 1, kSkinDisabled).state, 0u);
    EXPECT_EQ(ReactToMessage(kSkinEdit, kSetReadOnly, 1, 0).state, kSkinReadOnly);
    EXPECT_EQ(ReactToMessage(kSkinEdit, kSetReadOnly, 0, kSkinReadOnly).state, 0u);
    EXPECT_EQ(ReactToMessage(kSkinPushButton, kSetReadOnly, 1, 0).state, 0u);
}

TEST(SkinState, WhatEachKindRepaints) {
    EXPECT_EQ(ReactToMessage(kSkinPushButton, kSetText, 0, 0).action, SkinAction::kRepaint);
    EXPECT_EQ(ReactToMessage(kSkinEdit, kSetText, 0, 0).action, SkinAction::kNone);
    EXPECT_EQ(ReactToMessage(kSkinEdit, kNcPaint, 1, 0).action, SkinAction::kRepaint);
    EXPECT_EQ(ReactToMessage(kSkinPushButton, kNcPaint, 1, 0).action, SkinAction::kNone);
    EXPECT_EQ(ReactToMessage(kSkinComboBox, kNcPaint, 1, 0).action, SkinAction::kRepaint);
    for (SkinKind kind : {kSkinPushButton, kSkinCheckBox, kSkinRadioButton, kSkinGroupBox, kSkinEdit, kSkinComboBox}) {
        EXPECT_EQ(ReactToMessage(kind, kPaint, 0, 0).action, SkinAction::kRepaint) << kind;
        EXPECT_EQ(ReactToMessage(kind, kDestroy, 0, 0).action, SkinAction::kUnskin) << kind;
        EXPECT_EQ(ReactToMessage(kind, kCtlColorStatic, 0, 0).action, SkinAction::kNone) << kind;
        EXPECT_EQ(ReactToMessage(kind, 0x0400, 0, kSkinHot).state, kSkinHot) << kind;
    }
}

TEST(SkinState, DialogsAnswerColourMessagesAndLeaveWhenDestroyed) {
    for (uint32_t message : {kCtlColorBtn, kCtlColorDlg, kCtlColorStatic})
        EXPECT_EQ(ReactToMessage(kSkinDialog, message, 0, 0).action, SkinAction::kDialogColour);
    for (uint32_t message : {kPaint, kMouseMove, kSetFocus, kEnable, kSetCheck})
        EXPECT_EQ(ReactToMessage(kSkinDialog, message, 0, 0).action, SkinAction::kNone);
    EXPECT_EQ(ReactToMessage(kSkinDialog, kMouseMove, 0, 0).state, 0u);
    EXPECT_EQ(ReactToMessage(kSkinDialog, kDestroy, 0, 0).action, SkinAction::kUnskin);
    for (SkinKind kind : {kSkinDialog, kSkinPushButton, kSkinEdit})
        EXPECT_EQ(ReactToMessage(kind, kNcDestroy, 0, 0).action, SkinAction::kForget);
}

// The system's look and values that name no kind (a record's kind read from a bad slot, say) take no row: their
// state never changes and only WM_NCDESTROY makes the record go. A kind added to the enum without a row in the
// table does not build (its static_assert).
TEST(SkinState, UnskinnedAndUnknownKindsAreLeftAlone) {
    for (SkinKind kind : {kSkinNone, kSkinKindCount, SkinKind(0x100), SkinKind(0xFFFFFFFFu)}) {
        for (uint32_t message : {kPaint, kNcPaint, kMouseMove, kSetFocus, kEnable, kSetCheck, kSetText, kDestroy,
                                 kCtlColorDlg, kLButtonDown}) {
            const SkinReaction reaction = ReactToMessage(kind, message, 1, kSkinHot | kSkinPressed);
            EXPECT_EQ(reaction.state, kSkinHot | kSkinPressed) << kind << " " << message;
            EXPECT_EQ(reaction.action, SkinAction::kNone) << kind << " " << message;
        }
        EXPECT_EQ(ReactToMessage(kind, kNcDestroy, 0, 0).action, SkinAction::kForget) << kind;
        EXPECT_EQ(InitialSkinState(kind, skinstyle::kDisabled | skinstyle::kButtonMultiLine | skinstyle::kEditReadOnly,
                                   true, 1),
                  kSkinDisabled | kSkinFocused)
            << kind;
    }
}

TEST(SkinTables, PushButtonFaceByPriority) {
    const Corners4* normal = PushFaceTable(0);
    ASSERT_NE(normal, nullptr);
    EXPECT_EQ(normal->topLeft, SkinRgb(255, 255, 255));
    EXPECT_EQ(normal->bottomRight, SkinRgb(226, 223, 214));
    EXPECT_EQ(PushFaceTable(kSkinPressed | kSkinHot | kSkinChecked | kSkinFocused)->bottomLeft, SkinRgb(242, 241, 238));
    EXPECT_EQ(PushFaceTable(kSkinHot | kSkinChecked | kSkinFocused)->bottomLeft, SkinRgb(229, 151, 0));
    EXPECT_EQ(PushFaceTable(kSkinIndeterminate | kSkinFocused)->topRight, SkinRgb(214, 207, 198));
    EXPECT_EQ(PushFaceTable(kSkinFocused)->bottomLeft, SkinRgb(105, 130, 238));
    EXPECT_EQ(PushFaceTable(kSkinDisabled | kSkinHot), nullptr);

    EXPECT_EQ(PushInnerTable(0)->topLeft, SkinRgb(252, 252, 251));
    EXPECT_EQ(PushInnerTable(kSkinChecked)->topRight, SkinRgb(231, 231, 231));
    EXPECT_EQ(PushInnerTable(kSkinDisabled), nullptr);
    EXPECT_EQ(PushInnerTable(kSkinDisabled | kSkinChecked)->topLeft, SkinRgb(231, 227, 222));
    EXPECT_EQ(PushTextColour(0), 0u);
    EXPECT_EQ(PushTextColour(kSkinDisabled), SkinRgb(165, 162, 148));
    EXPECT_EQ(PushTextColour(kSkinIndeterminate), SkinRgb(165, 162, 148));
}

TEST(SkinTables, BoxesAndTheirSquare) {
    EXPECT_EQ(BoxTable(0)->topLeft, SkinRgb(222, 223, 214));
    EXPECT_EQ(BoxTable(kSkinHot)->bottomRight, SkinRgb(255, 178, 49));
    EXPECT_EQ(BoxTable(kSkinHot | kSkinPressed)->topLeft, SkinRgb(181, 178, 165));
    EXPECT_EQ(BoxTable(kSkinDisabled | kSkinPressed), nullptr);

    const std::pair<uint32_t, uint32_t> filled[] = {
        {kSkinIndeterminate, SkinRgb(115, 195, 115)},
        {kSkinIndeterminate | kSkinHot, SkinRgb(33, 162, 33)},
        {kSkinIndeterminate | kSkinHot | kSkinPressed, SkinRgb(24, 138, 24)},
        {kSkinIndeterminate | kSkinDisabled | kSkinPressed, SkinRgb(206, 203, 189)},
        {kSkinHot, SkinRgb(231, 231, 231)},
        {kSkinHot | kSkinChecked, SkinRgb(247, 247, 247)},
    };
    for (const auto& [state, colour] : filled) {
        uint32_t got = 0;
        EXPECT_TRUE(CheckSquareFill(state, &got)) << state;
        EXPECT_EQ(got, colour) << state;
    }
    uint32_t unused = 0;
    EXPECT_FALSE(CheckSquareFill(0, &unused));
    EXPECT_FALSE(CheckSquareFill(kSkinChecked, &unused));
    EXPECT_FALSE(CheckSquareFill(kSkinHot | kSkinPressed, &unused));
    EXPECT_EQ(MarkColour(kSkinDisabled), SkinRgb(206, 203, 189));
}

TEST(SkinTables, ComboRowsByPriority) {
    EXPECT_EQ(ComboRow(kSkinDisabled | kSkinPressed | kSkinHot), 0);
    EXPECT_EQ(ComboRow(kSkinPressed | kSkinHot), 1);
    EXPECT_EQ(ComboRow(kSkinHot | kSkinFocused), 2);
    EXPECT_EQ(ComboRow(kSkinFocused), 3);
    EXPECT_EQ(ComboOuterTable(1).bottomLeft, SkinRgb(115, 130, 222));
    EXPECT_EQ(ComboInnerTable(3).bottomRight, SkinRgb(173, 203, 247));
    EXPECT_EQ(ComboButtonCorners(2).topRight, SkinRgb(198, 207, 239));
    EXPECT_EQ(ArrowColour(kSkinDisabled), SkinRgb(206, 203, 198));
}

TEST(SkinColours, FaceMinusNeverBorrowsAcrossChannels) {
    // Where no channel goes below zero it is plain subtraction.
    EXPECT_EQ(FaceMinus(0xF0F0F0, 0x202020), 0xF0F0F0u - 0x202020u);
    EXPECT_EQ(FaceMinus(SkinRgb(212, 208, 200), 0x151515), SkinRgb(191, 187, 179));
    // A dark red channel stops at zero instead of taking one from green.
    EXPECT_EQ(FaceMinus(SkinRgb(0x10, 0x80, 0x80), 0x202020), SkinRgb(0, 0x60, 0x60));
    EXPECT_EQ(FaceMinus(0, 0x111111), 0u);
    EXPECT_EQ(PushFrameColour(kSkinDisabled, SkinRgb(0x10, 0x80, 0x80)), SkinRgb(0, 0x60, 0x60));
    EXPECT_EQ(PushFrameColour(0, 0xFFFFFF), SkinRgb(0, 60, 115));
    EXPECT_EQ(BoxFrameColour(0, 0), SkinRgb(24, 81, 132));
    EXPECT_EQ(FieldFrameColour(kSkinDisabled, 0xC0C0C0), 0xA0A0A0u);
}

TEST(SkinGeometry, PushButtonCornersRoundEachCorner) {
    const uint32_t face = SkinRgb(212, 208, 200);
    const auto pixels = PushCornerPixels(75, 23, 0, face);
    std::set<std::pair<int, int>> places;
    for (const SkinPixel& p : pixels) {
        places.insert({p.x, p.y});
        EXPECT_TRUE(p.x <= 1 || p.x >= 73) << p.x;
        EXPECT_TRUE(p.y <= 1 || p.y >= 21) << p.y;
    }
    EXPECT_EQ(places.size(), 16u);  // no pixel set twice
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(pixels[i].colour, face);
    EXPECT_EQ(pixels[0].x, 0);
    EXPECT_EQ(pixels[2].x, 74);
    EXPECT_EQ(pixels[2].y, 22);
    EXPECT_EQ(pixels[6].colour, SkinRgb(82, 125, 165));
    EXPECT_EQ(pixels[15].colour, SkinRgb(123, 150, 173));
    const auto disabled = PushCornerPixels(75, 23, kSkinDisabled, face);
    EXPECT_EQ(disabled[4].colour, SkinRgb(191, 187, 179));
    EXPECT_EQ(disabled[8].colour, SkinRgb(195, 191, 183));
}

TEST(SkinGeometry, CheckBoxBoxSquareAndMark) {
    EXPECT_EQ(CheckBoxBox(23).top, 5);
    EXPECT_EQ(CheckBoxBox(23).bottom, 18);
    EXPECT_EQ(CheckBoxBox(10).top, -1);  // (10 - 13) / 2 truncates toward zero
    const SkinRect square = CheckSquare(23);
    EXPECT_EQ(square.left, 3);
    EXPECT_EQ(square.right, 10);
    EXPECT_EQ(square.bottom - square.top, 7);
    const auto strokes = CheckMarkStrokes(square.top);
    EXPECT_EQ(strokes.front().x, 3);
    EXPECT_EQ(strokes.back().x, 9);
    for (const SkinStroke& s : strokes) {
        EXPECT_EQ(s.bottom - s.top, 3) << s.x;
        EXPECT_GE(s.top, square.top);
        EXPECT_LE(s.bottom, square.bottom);
    }
    EXPECT_EQ(strokes[2].top, square.top + 4);  // the bottom of the tick
    EXPECT_EQ(strokes[6].top, square.top);      // the top of its long arm
    const SkinRect text = CheckTextRect(23, 80, 13);
    EXPECT_EQ(text.left, 18);
    EXPECT_EQ(text.top, 5);
    EXPECT_EQ(text.right, 80);
    EXPECT_EQ(text.bottom, 18);
}

TEST(SkinGeometry, ComboButtonAndArrow) {
    const SkinRect button = ComboButtonRect({2, 2, 118, 19}, 17);
    EXPECT_EQ(button.left, 101);
    EXPECT_EQ(button.right, 118);
    const auto lines = ComboArrowLines({103, 4, 117, 18});
    EXPECT_EQ(lines[0][0].x, 106);
    EXPECT_EQ(lines[0][0].y, 9);
    EXPECT_EQ(lines[0][1].x, 110);
    EXPECT_EQ(lines[0][1].y, 13);
    EXPECT_EQ(lines[0][2].x, 115);
    EXPECT_EQ(lines[0][2].y, 8);
    EXPECT_EQ(lines[2][1].y, 11);
    EXPECT_EQ(lines[2][2].y, 7);
}

TEST(SkinGeometry, GroupBoxLineLeavesTheCaptionGapOrClosesWithoutOne) {
    const auto captioned = GroupBoxPath(200, 100, 40, 15);
    EXPECT_EQ(captioned[0].x, 6);
    EXPECT_EQ(captioned[0].y, 7);
    EXPECT_EQ(captioned[2].y, 98);
    EXPECT_EQ(captioned[3].x, 198);
    EXPECT_EQ(captioned[5].x, 50);
    const auto bare = GroupBoxPath(200, 100, -4, 15);
    EXPECT_EQ(bare[5].x, bare[0].x);
    EXPECT_EQ(bare[5].y, bare[0].y);
}

TEST(SkinGeometry, EditFramesByStyle) {
    EXPECT_FALSE(EditHasFrame(0x50010000, 0));
    EXPECT_TRUE(EditHasFrame(0x00800000, 0));
    EXPECT_TRUE(EditHasFrame(0, 0x20000));
    EXPECT_EQ(EditInnerFrames(0), 0);
    EXPECT_EQ(EditInnerFrames(0x200), 1);
    EXPECT_EQ(EditInnerFrames(0x20000), 1);
    EXPECT_EQ(EditInnerFrames(0x20200), 2);
}

}  // namespace
