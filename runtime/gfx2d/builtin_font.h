// The built-in font of the text commands: one 5 x 6 dot pattern per character 32 ... 127 and the
// 128 x 64 picture of 16 x 8 cells of 8 x 8 pixels drawn from them.
#pragma once

#include <cstdint>

#include "runtime/gfx2d/picture_codec.h"

namespace rt {

constexpr int32_t kBuiltinFirstChar = 32;
constexpr int32_t kBuiltinGlyphCount = 96;  // characters 32 ... 127
constexpr int32_t kGlyphColumns = 5;
constexpr int32_t kGlyphRows = 6;
constexpr int32_t kBuiltinCellSize = 8;
constexpr int32_t kBuiltinFontWidth = 128;
constexpr int32_t kBuiltinFontHeight = 64;
constexpr uint8_t kOutlineGrey = 8;

// The dot pattern of character c: bit row * 5 + column, row 0 at the top, column 0 at the left;
// 0 for characters outside 32 ... 127.
uint32_t builtin_glyph_mask(int32_t c);

// The font picture, top-down RGBA: set dots (255, 255, 255, 255) at offset (1, 1) of their cell,
// the unset pixels among their eight neighbours (8, 8, 8, 255), everything else (0, 0, 0, 0).
// Cells of characters 0 ... 31 stay empty.
void builtin_font_picture(Picture& out);

}  // namespace rt
