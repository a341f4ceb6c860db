// The scan code table, the key-state snapshot (quick taps, focus) and the character rules of keys.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "runtime/core/clock.h"
#include "runtime/core/globals.h"
#include "runtime/input/input.h"
#include "runtime/input/input_service.h"
#include "runtime/platform/events.h"
#include "runtime/platform/keys.h"

namespace {

// Every key the runtime names: the keys of the fallback table, by SDL's key names.
// clang-format off
const std::vector<std::pair<const char*, int32_t>> kNamedKeys = {
    {"Escape", 1}, {"1", 2}, {"2", 3}, {"3", 4}, {"4", 5}, {"5", 6}, {"6", 7}, {"7", 8}, {"8", 9}, {"9", 10},
    {"0", 11}, {"-", 12}, {"=", 13}, {"Backspace", 14}, {"Tab", 15}, {"Q", 16}, {"W", 17}, {"E", 18},
    {"R", 19}, {"T", 20}, {"Y", 21}, {"U", 22}, {"I", 23}, {"O", 24}, {"P", 25}, {"[", 26}, {"]", 27},
    {"Return", 28}, {"Left Ctrl", 29}, {"A", 30}, {"S", 31}, {"D", 32}, {"F", 33}, {"G", 34}, {"H", 35},
    {"J", 36}, {"K", 37}, {"L", 38}, {";", 39}, {"'", 40}, {"`", 41}, {"Left Shift", 42}, {"\\", 43},
    {"Z", 44}, {"X", 45}, {"C", 46}, {"V", 47}, {"B", 48}, {"N", 49}, {"M", 50}, {",", 51}, {".", 52},
    {"/", 53}, {"Right Shift", 54}, {"Keypad *", 55}, {"Left Alt", 56}, {"Space", 57}, {"CapsLock", 58},
    {"F1", 59}, {"F2", 60}, {"F3", 61}, {"F4", 62}, {"F5", 63}, {"F6", 64}, {"F7", 65}, {"F8", 66},
    {"F9", 67}, {"F10", 68}, {"Numlock", 69}, {"ScrollLock", 70}, {"Keypad 7", 71}, {"Keypad 8", 72},
    {"Keypad 9", 73}, {"Keypad -", 74}, {"Keypad 4", 75}, {"Keypad 5", 76}, {"Keypad 6", 77},
    {"Keypad +", 78}, {"Keypad 1", 79}, {"Keypad 2", 80}, {"Keypad 3", 81}, {"Keypad 0", 82},
    {"Keypad .", 83}, {"F11", 87}, {"F12", 88}, {"Keypad Enter", 156}, {"Right Ctrl", 157},
    {"Keypad /", 181}, {"Right Alt", 184}, {"Home", 199}, {"Up", 200}, {"PageUp", 201}, {"Left", 203},
    {"Right", 205}, {"End", 207}, {"Down", 208}, {"PageDown", 209}, {"Insert", 210}, {"Delete", 211},
    {"Left GUI", 219}, {"Right GUI", 220}, {"Application", 221},
};
// clang-format on

TEST(ScanCodes, EveryNamedKeyMapsBothWays) {
    for (const auto& [name, code] : kNamedKeys) {
        EXPECT_EQ(rt::platform_scan_code_from_key_name(name), code) << name;
        EXPECT_EQ(rt::platform_key_name_of_scan_code(code), name) << code;
    }
    // The key between left Shift and Z on international keyboards has no SDL name; position 86.
    int32_t sdl = rt::platform_sdl_from_scan_code(86);
    EXPECT_NE(sdl, 0);
    EXPECT_EQ(rt::platform_scan_code_from_sdl(sdl), 86);
}

TEST(ScanCodes, TableIsOneToOneAndLeavesUnnamedCodesEmpty) {
    std::set<int32_t> sdl_seen;
    int32_t mapped = 0;
    for (int32_t code = 0; code < 256; ++code) {
        int32_t sdl = rt::platform_sdl_from_scan_code(code);
        if (sdl == 0) continue;
        ++mapped;
        EXPECT_TRUE(sdl_seen.insert(sdl).second) << "two codes share SDL scancode " << sdl;
        EXPECT_EQ(rt::platform_scan_code_from_sdl(sdl), code) << code;
    }
    EXPECT_GE(mapped, 100);
    // No key has code 0, and 129 (the second Escape code of the exit rule) names no key.
    EXPECT_EQ(rt::platform_sdl_from_scan_code(0), 0);
    EXPECT_EQ(rt::platform_sdl_from_scan_code(129), 0);
    EXPECT_EQ(rt::platform_scan_code_from_sdl(-1), 0);
    EXPECT_EQ(rt::platform_scan_code_from_sdl(100000), 0);
    EXPECT_EQ(rt::platform_scan_code_from_key_name("no such key"), 0);
}

TEST(KeyCharacters, FixedCodesFollowTheirOwnRules) {
    EXPECT_EQ(key_char_translate(14), 8);    // Backspace
    EXPECT_EQ(key_char_translate(28), 10);   // Enter
    EXPECT_EQ(key_char_translate(156), 10);  // keypad Enter
    for (int32_t silent : {29, 42, 54, 56, 58, 69, 221}) EXPECT_EQ(key_char_translate(silent), 0) << silent;
    // Codes wrap at 256 like the table index.
    EXPECT_EQ(key_char_translate(256 + 14), 8);
}

// A fresh input state with the window active, fed with key events directly.
class KeySnapshot : public ::testing::Test {
protected:
    void SetUp() override { input.window_active_set(true); }
    // typed: the character the press typed in the layout (PlatformEvent::character).
    void key(int32_t code, bool down, int32_t typed = 0) {
        rt::PlatformEvent e;
        e.kind = down ? rt::PlatformEventKind::key_down : rt::PlatformEventKind::key_up;
        e.code = code;
        e.character = down ? typed : 0;
        input.event(e);
    }
    rt::InputService input;
};

TEST_F(KeySnapshot, HeldKeysShowOnlyAfterASnapshotAndGoWithTheirRelease) {
    key(205, true);
    EXPECT_FALSE(input.key_down(205));
    input.keyboard_update(true);
    EXPECT_TRUE(input.key_down(205));
    input.keyboard_update(true);
    EXPECT_TRUE(input.key_down(205));
    key(205, false);
    input.keyboard_update(false);
    EXPECT_FALSE(input.key_down(205));
}

TEST_F(KeySnapshot, QuickTapLastsThroughTheNextFrame) {
    input.keyboard_update(true);
    key(42, true);
    key(42, false);
    // Several reads within the frame (key_state updates before each) all see the jump key.
    input.keyboard_update(true);
    EXPECT_TRUE(input.key_down(42));
    input.keyboard_update(false);
    input.keyboard_update(false);
    EXPECT_TRUE(input.key_down(42));
    // The frame after no longer does.
    input.keyboard_update(true);
    EXPECT_FALSE(input.key_down(42));
}

TEST_F(KeySnapshot, QuickTapEndsWithoutFramesOnceItIsAQuarterSecondOld) {
    static int64_t fake_ns = 0;
    rt::clock_source_set(rt::ClockSource{[] { return fake_ns; }, nullptr});
    fake_ns = 1'000'000'000;
    key(57, true);
    key(57, false);
    input.keyboard_update(false);
    EXPECT_TRUE(input.key_down(57));
    fake_ns += 200'000'000;
    input.keyboard_update(false);
    EXPECT_TRUE(input.key_down(57));
    fake_ns += 100'000'000;  // a loop that presents no frames still sees the release
    input.keyboard_update(false);
    EXPECT_FALSE(input.key_down(57));
    rt::clock_source_set(rt::ClockSource{});
}

TEST_F(KeySnapshot, KeysGiveWhatTheirLatestPressTyped) {
    struct Case {
        int32_t code;
        int32_t typed;
        int32_t expected;
    };
    const Case cases[] = {
        {2, '!', '!'},                     // Shift+1
        {37, 'K', 'K'},                    // K with Caps Lock on
        {40, 0xE4, 0xE4},                  // a layout's own letter (Latin-1 a umlaut)
        {18, rt::kTypedOutsideLatin1, 0},  // AltGr+E typing the euro sign
        {28, '\r', 10},                    // Enter keeps its fixed character
        {42, 'x', 0},                      // and Shift its silence
    };
    for (const Case& c : cases) {
        key(c.code, true, c.typed);
        input.keyboard_update(true);
        EXPECT_EQ(input.key_char_get(), c.expected) << c.code;
        EXPECT_EQ(input.key_char_translate(c.code), c.expected) << c.code;
        key(c.code, false);
        input.keyboard_update(true);
        input.keyboard_update(true);
    }
    // A later press that types nothing (injected) no longer gives the earlier press's character.
    key(2, true);
    EXPECT_NE(input.key_char_translate(2), '!');
}

TEST_F(KeySnapshot, InactiveWindowKeepsTheLastSnapshot) {
    key(203, true);
    input.keyboard_update(true);
    input.window_active_set(false);
    key(203, false);
    input.keyboard_update(true);
    EXPECT_TRUE(input.key_down(203));
    input.window_active_set(true);
    input.keyboard_update(true);
    input.keyboard_update(true);
    EXPECT_FALSE(input.key_down(203));
}

}  // namespace
