// The key assignment page's codes without a window: every code a category shows comes back
// when applied again, list positions outside their tables never index them, numbers are
// held to their fields, and captured keys keep their side and add up.
#include <gtest/gtest.h>

#include "keyboard/AssignmentTables.h"
#include "keyboard/KeyAssignmentForm.h"
#include "keyboard/KeyTables.h"

using namespace talyx;

namespace {

constexpr int kMacros = 5;
constexpr uint32_t kCurrent = 0x200004;
constexpr uint32_t kDefault = 0x200005;

uint32_t roundTrip(uint32_t code) {
    return BuildAssignmentCode(FormForAssignment(code, kMacros), kCurrent, kDefault, kMacros);
}

} // namespace

TEST(KeyAssignmentForm, EveryShownCodeComesBackWhenAppliedAgain) {
    std::vector<uint32_t> codes;
    for (const NamedCode& r : kMouseButtonActions)
        codes.push_back(r.code);
    for (const NamedCode& r : kDpiStepActions)
        codes.push_back(r.code);
    for (const NamedCode& r : kSystemActions)
        codes.push_back(r.code);
    for (const NamedCode& r : kMediaActions)
        codes.push_back(r.code);
    for (const NamedCode& r : kShortcutActions)
        codes.push_back(r.code);
    for (uint8_t low : {0x01, 0x7F, 0x81, 0xFF, 0xFD, 0x80 | 64})
        for (uint8_t type : {kAssignHorizontalScroll, kAssignVerticalScroll})
            codes.push_back(MakeAssignment(type, 0xF3, low));
    codes.insert(codes.end(), {
                                  0x14FF00, 0x140AFF,                     // fire key
                                  0x200005, 0x201205, 0x201000, 0x20FF1D, // keys, right and several modifiers
                                  0x200000,                               // nothing: a disabled key
                                  0x700000, 0x700403, 0x710001, 0x7104FF, // macros
                                  0x720000, 0x720300,                     // recoil patterns
                              });
    for (uint32_t code : codes)
        EXPECT_EQ(roundTrip(code), code) << std::hex << code;

    // The wheel's second direction counts down from 128; the tilt's is a flag.
    EXPECT_EQ(FormForAssignment(0x1200FD, kMacros).vertical.count, 3);
    EXPECT_EQ(FormForAssignment(0x1200FD, kMacros).vertical.direction, 1);
    EXPECT_EQ(FormForAssignment(0x110085, kMacros).horizontal.count, 5);
    // Codes no category shows, and a keyboard key that is a shortcut.
    EXPECT_EQ(FormForAssignment(0x000000, kMacros).category, kCategoryNone);
    EXPECT_EQ(FormForAssignment(0xA00100, kMacros).category, kCategoryNone);
    EXPECT_EQ(FormForAssignment(0x201006, kMacros).category, kCategoryShortcut);
    EXPECT_EQ(FormForAssignment(0x201013, kMacros).category, kCategoryKeyboardKey);
    // A macro past the library selects none.
    EXPECT_EQ(FormForAssignment(0x700500, kMacros).macro, -1);
}

TEST(KeyAssignmentForm, PositionsOutsideTheirListsAndNumbersOutsideTheirFieldsIndexNothing) {
    auto build = [](auto change) {
        KeyAssignmentForm f;
        change(f);
        return BuildAssignmentCode(f, kCurrent, kDefault, kMacros);
    };
    for (int row : {-1, 5, 1000}) {
        SCOPED_TRACE(row);
        EXPECT_EQ(build([&](KeyAssignmentForm& f) { f.category = kCategoryMouseButton, f.mouseButton = row; }),
                  kCurrent);
        EXPECT_EQ(build([&](KeyAssignmentForm& f) { f.category = kCategoryMedia, f.media = row * 4; }), kCurrent);
        EXPECT_EQ(build([&](KeyAssignmentForm& f) { f.category = kCategoryShortcut, f.shortcut = row * 3; }), kCurrent);
        EXPECT_EQ(build([&](KeyAssignmentForm& f) { f.category = kCategoryMacro, f.macro = row, f.playMode = 0; }),
                  kCurrent);
        EXPECT_EQ(build([&](KeyAssignmentForm& f) { f.category = kCategoryRecoil, f.recoil = row; }), kCurrent);
    }
    EXPECT_EQ(build([](KeyAssignmentForm& f) { f.category = kCategoryMacro, f.macro = 1, f.playMode = 9; }), kCurrent);
    for (int category : {-3, 12, 99})
        EXPECT_EQ(build([&](KeyAssignmentForm& f) { f.category = category; }), kDefault);
    // Counts, delays, speeds and repeats are held to what their bits carry.
    EXPECT_EQ(build([](KeyAssignmentForm& f) {
                  f.category = kCategoryVerticalScroll;
                  f.vertical = {1, 3, 20, -1};
              }),
              0x12F0FDu);
    EXPECT_EQ(build([](KeyAssignmentForm& f) {
                  f.category = kCategoryHorizontalScroll;
                  f.horizontal = {1, 300, 2, 3};
              }),
              0x1123FFu);
    EXPECT_EQ(build([](KeyAssignmentForm& f) {
                  f.category = kCategoryHorizontalScroll;
                  f.horizontal = {0, 0, 0, 0};
              }),
              0x110001u);
    EXPECT_EQ(build([](KeyAssignmentForm& f) {
                  f.category = kCategoryMacro, f.macro = 2, f.playMode = 4, f.repeatCount = 0;
              }),
              0x710201u);
    EXPECT_EQ(build([](KeyAssignmentForm& f) {
                  f.category = kCategoryMacro, f.macro = 2, f.playMode = 4, f.repeatCount = 900;
              }),
              0x7102FFu);
    EXPECT_EQ(
        build([](KeyAssignmentForm& f) { f.category = kCategoryFireKey, f.fireInterval = 999, f.fireShots = -4; }),
        0x14FF00u);
}

TEST(KeyAssignmentForm, CapturedModifiersAreTakenByKindAndAddUp) {
    KeyAssignmentForm f;
    f.category = kCategoryKeyboardKey;
    ASSERT_TRUE(CaptureKeyIntoForm(f, 0x1D, true)); // right Ctrl
    EXPECT_EQ(f.modifierMask, 0x01) << "the Ctrl choice writes the left-hand bit";
    EXPECT_EQ(ModifierChoiceOfMask(f.modifierMask), 1) << "shown as the Ctrl choice";
    ASSERT_TRUE(CaptureKeyIntoForm(f, 0x2A, false)); // left Shift
    EXPECT_EQ(f.modifierMask, 0x03);
    EXPECT_EQ(ModifierChoiceOfMask(f.modifierMask), -1) << "several kinds: no single choice";
    ASSERT_TRUE(CaptureKeyIntoForm(f, 0x30, false)); // B
    EXPECT_EQ(BuildAssignmentCode(f, 0, 0, 0), 0x200305u);
    ASSERT_TRUE(CaptureKeyIntoForm(f, 0x1D, false)); // left Ctrl after a whole combination
    EXPECT_EQ(BuildAssignmentCode(f, 0, 0, 0), 0x200100u) << "a new combination, the key emptied";
    ASSERT_TRUE(CaptureKeyIntoForm(f, 0x48, true)); // Up
    EXPECT_EQ(BuildAssignmentCode(f, 0, 0, 0), 0x200152u);
    EXPECT_FALSE(CaptureKeyIntoForm(f, 0x01, true));
    EXPECT_FALSE(CaptureKeyIntoForm(f, 0x7F, false));
    EXPECT_EQ(BuildAssignmentCode(f, 0, 0, 0), 0x200152u) << "unchanged";
    EXPECT_EQ(ModifierChoiceOfMask(0x80), 4) << "right Windows";
}
