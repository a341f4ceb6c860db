// The line-input command: edits a text variable on screen, over a still copy of the screen,
// until Enter is pressed.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

// Shows variable's text at (x, y) with the current font and a blinking "_" cursor; typed
// characters are appended, Backspace removes the last one, Enter ends. Presents a frame per pass.
void text_input(RtString& variable, int32_t x, int32_t y);
