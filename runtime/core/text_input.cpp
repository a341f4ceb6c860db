// The line-input command. It lives in core because it spans three subsystems: the display (the
// screen copy and the text), the keyboard (typed characters) and frame presentation.
#include "runtime/core/text_input.h"

#include "runtime/core/frame.h"
#include "runtime/gfx2d/display_service.h"
#include "runtime/input/input.h"
#include "runtime/input/input_service.h"

namespace rt {
namespace {

// The picture slot that holds the screen under the edited text.
constexpr int32_t kTextInputSlot = 3;
// Passes without a typed character between two flips of the cursor.
constexpr int32_t kCursorBlinkPasses = 20;
constexpr int32_t kBackspace = 8;
constexpr int32_t kEnter = 10;

}  // namespace
}  // namespace rt

void text_input(RtString& variable, int32_t x, int32_t y) {
    DuraVUZododivi* display = rt::display_service();
    // Without a window or a keyboard no Enter could ever come.
    if (!display || !display->window() || !rt::input_service()) return;

    display->picture_slot_grab(rt::kTextInputSlot);
    display->picture_slot_draw(rt::kTextInputSlot);
    display->text_draw(variable, x, y);
    screen_present();

    bool cursor_visible = true;
    int32_t idle_passes = 0;
    for (;;) {
        int32_t c = key_char_get();
        if (c == rt::kEnter) break;
        if (c == rt::kBackspace) {
            if (!variable.empty()) variable.set_length(variable.length() - 1);
        } else if (c != 0) {
            const char typed = static_cast<char>(c);
            variable.append(&typed, 1);
        } else if (++idle_passes > rt::kCursorBlinkPasses) {
            cursor_visible = !cursor_visible;
            idle_passes = 0;
        }
        display->picture_slot_draw(rt::kTextInputSlot);
        display->text_draw(cursor_visible ? variable + "_" : variable, x, y);
        screen_present();
    }
    display->picture_slot_clear(rt::kTextInputSlot);
}
