// The built-in font: 5 x 6 dot patterns of the characters 32 ... 127 and the 128 x 64 font picture
// built from them (white dots with a dark outline on a transparent ground).
#include "runtime/gfx2d/builtin_font.h"

#include <array>
#include <cstddef>

namespace rt {
namespace {

// Eight glyphs side by side per band of six rows, '#' for a set dot; bands follow the character
// codes from 32 upwards.
constexpr const char* kSheet[] = {
    // ' ' '!' '"' '#' '$' '%' '&' "'"
    "..... ..#.. .#.#. .#.#. .#### ##..# .##.. ..#..",
    "..... ..#.. .#.#. ##### #.#.. ##.#. #..#. ..#..",
    "..... ..#.. ..... .#.#. .###. ..#.. .##.. .....",
    "..... ..... ..... ##### ..#.# .#.## #.#.# .....",
    "..... ..#.. ..... .#.#. ####. #..## #..#. .....",
    "..... ..... ..... ..... ..#.. ..... .##.# .....",
    // '(' ')' '*' '+' ',' '-' '.' '/'
    "...#. .#... ..... ..... ..... ..... ..... ....#",
    "..#.. ..#.. #.#.# ..#.. ..... ..... ..... ...#.",
    "..#.. ..#.. .###. ##### ..... .###. ..... ..#..",
    "..#.. ..#.. #.#.# ..#.. ..... ..... ..... .#...",
    "...#. .#... ..... ..... ..#.. ..... ..#.. #....",
    "..... ..... ..... ..... .#... ..... ..... .....",
    // '0' '1' '2' '3' '4' '5' '6' '7'
    ".###. ..#.. .###. ####. ...#. ##### .###. #####",
    "#..## .##.. #...# ....# ..##. #.... #.... ....#",
    "#.#.# ..#.. ..##. .###. .#.#. ####. ####. ...#.",
    "##..# ..#.. .#... ....# ##### ....# #...# ..#..",
    ".###. .###. ##### ####. ...#. ####. .###. ..#..",
    "..... ..... ..... ..... ..... ..... ..... .....",
    // '8' '9' ':' ';' '<' '=' '>' '?'
    ".###. .###. ..... ..... ...#. ..... .#... .###.",
    "#...# #...# ..#.. ..#.. ..#.. ##### ..#.. #...#",
    ".###. .#### ..... ..... .#... ..... ...#. ..##.",
    "#...# ....# ..#.. ..#.. ..#.. ##### ..#.. .....",
    ".###. .###. ..... .#... ...#. ..... .#... ..#..",
    "..... ..... ..... ..... ..... ..... ..... .....",
    // '@' 'A' 'B' 'C' 'D' 'E' 'F' 'G'
    ".###. .###. ####. .#### ####. ##### ##### .####",
    "#.### #...# #...# #.... #...# #.... #.... #....",
    "#.#.# ##### ####. #.... #...# ###.. ###.. #..##",
    "#.### #...# #...# #.... #...# #.... #.... #...#",
    "#.... #...# ####. .#### ####. ##### #.... .####",
    ".###. ..... ..... ..... ..... ..... ..... .....",
    // 'H' 'I' 'J' 'K' 'L' 'M' 'N' 'O'
    "#...# .###. ..### #...# #.... #...# #...# .###.",
    "#...# ..#.. ...#. #..#. #.... ##.## ##..# #...#",
    "##### ..#.. ...#. ###.. #.... #.#.# #.#.# #...#",
    "#...# ..#.. #..#. #..#. #.... #...# #..## #...#",
    "#...# .###. .##.. #...# ##### #...# #...# .###.",
    "..... ..... ..... ..... ..... ..... ..... .....",
    // 'P' 'Q' 'R' 'S' 'T' 'U' 'V' 'W'
    "####. .###. ####. .#### ##### #...# #...# #...#",
    "#...# #...# #...# #.... ..#.. #...# #...# #...#",
    "####. #...# ####. .###. ..#.. #...# #...# #.#.#",
    "#.... #..#. #..#. ....# ..#.. #...# .#.#. ##.##",
    "#.... .##.# #...# ####. ..#.. .###. ..#.. #...#",
    "..... ..... ..... ..... ..... ..... ..... .....",
    // 'X' 'Y' 'Z' '[' '\\' ']' '^' '_'
    "#...# #...# ##### .###. #.... .###. ..#.. .....",
    ".#.#. .#.#. ...#. .#... .#... ...#. .#.#. .....",
    "..#.. ..#.. ..#.. .#... ..#.. ...#. #...# .....",
    ".#.#. ..#.. .#... .#... ...#. ...#. ..... .....",
    "#...# ..#.. ##### .###. ....# .###. ..... .....",
    "..... ..... ..... ..... ..... ..... ..... #####",
    // '`' 'a' 'b' 'c' 'd' 'e' 'f' 'g'
    ".#... ..... #.... ..... ....# ..... ..##. .....",
    "..#.. .###. ####. .#### .#### .###. .#... .####",
    "..... #...# #...# #.... #...# ##### ####. #...#",
    "..... #..## #...# #.... #...# #.... .#... .####",
    "..... .##.# ####. .#### .#### .###. .#... ....#",
    "..... ..... ..... ..... ..... ..... ..... .###.",
    // 'h' 'i' 'j' 'k' 'l' 'm' 'n' 'o'
    "#.... ..#.. ...#. #.... .##.. ..... ..... .....",
    "####. ..... ..... #..#. ..#.. ##.#. ####. .###.",
    "#...# .##.. ...#. ###.. ..#.. #.#.# #...# #...#",
    "#...# ..#.. ...#. #.#.. ..#.. #.#.# #...# #...#",
    "#...# .###. #..#. #..#. .###. #.#.# #...# .###.",
    "..... ..... .##.. ..... ..... ..... ..... .....",
    // 'p' 'q' 'r' 's' 't' 'u' 'v' 'w'
    "..... ..... ..... ..... .#... ..... ..... .....",
    "####. .#### #.##. .###. ####. #...# #...# #...#",
    "#...# #...# ##... ##... .#... #...# #...# #.#.#",
    "####. .#### #.... ...## .#... #...# .#.#. #.#.#",
    "#.... ....# #.... .###. ..##. .#### ..#.. .#.#.",
    "#.... ....# ..... ..... ..... ..... ..... .....",
    // 'x' 'y' 'z' '{' '|' '}' '~' DEL
    "..... ..... ..... ..##. ..#.. .##.. ..... #####",
    "#..#. #...# ##### ..#.. ..#.. ..#.. .#... #...#",
    ".##.. #...# ...#. .#... ..#.. ...#. #.#.# #...#",
    ".##.. .#### ..#.. ..#.. ..#.. ..#.. ...#. #...#",
    "#..#. ....# ##### ..##. ..#.. .##.. ..... #####",
    "..... .###. ..... ..... ..#.. ..... ..... .....",

};

constexpr int32_t kGlyphsPerBand = 8;
constexpr size_t kBandRowLength = kGlyphsPerBand * (kGlyphColumns + 1) - 1;

constexpr size_t text_length(const char* s) {
    size_t n = 0;
    while (s[n] != '\0') ++n;
    return n;
}

// Bit row * 5 + column of each glyph, from the sheet at compile time.
constexpr std::array<uint32_t, kBuiltinGlyphCount> masks_from_sheet() {
    std::array<uint32_t, kBuiltinGlyphCount> masks{};
    for (int32_t glyph = 0; glyph < kBuiltinGlyphCount; ++glyph) {
        int32_t band = glyph / kGlyphsPerBand;
        int32_t slot = glyph % kGlyphsPerBand;
        for (int32_t row = 0; row < kGlyphRows; ++row) {
            const char* line = kSheet[band * kGlyphRows + row];
            for (int32_t column = 0; column < kGlyphColumns; ++column) {
                if (line[slot * (kGlyphColumns + 1) + column] == '#')
                    masks[glyph] |= 1u << (row * kGlyphColumns + column);
            }
        }
    }
    return masks;
}

constexpr bool sheet_is_well_formed() {
    if (std::size(kSheet) != static_cast<size_t>(kBuiltinGlyphCount / kGlyphsPerBand * kGlyphRows)) return false;
    for (const char* line : kSheet) {
        if (text_length(line) != kBandRowLength) return false;
        for (size_t i = 0; i < kBandRowLength; ++i) {
            bool gap = i % (kGlyphColumns + 1) == kGlyphColumns;
            if (gap ? line[i] != ' ' : line[i] != '.' && line[i] != '#') return false;
        }
    }
    return true;
}
static_assert(sheet_is_well_formed(), "every band row holds eight glyph rows of five dots");

constexpr std::array<uint32_t, kBuiltinGlyphCount> kMasks = masks_from_sheet();
static_assert(kMasks[0] == 0, "the space is empty");

}  // namespace

uint32_t builtin_glyph_mask(int32_t c) {
    if (c < kBuiltinFirstChar || c >= kBuiltinFirstChar + kBuiltinGlyphCount) return 0;
    return kMasks[static_cast<size_t>(c - kBuiltinFirstChar)];
}

void builtin_font_picture(Picture& out) {
    out.width = kBuiltinFontWidth;
    out.height = kBuiltinFontHeight;
    out.pixels.assign(static_cast<size_t>(kBuiltinFontWidth) * kBuiltinFontHeight * 4, 0);
    std::vector<uint8_t> set(static_cast<size_t>(kBuiltinFontWidth) * kBuiltinFontHeight, 0);
    for (int32_t c = kBuiltinFirstChar; c < kBuiltinFirstChar + kBuiltinGlyphCount; ++c) {
        uint32_t mask = builtin_glyph_mask(c);
        int32_t left = c % 16 * kBuiltinCellSize + 1;
        int32_t top = c / 16 * kBuiltinCellSize + 1;
        for (int32_t bit = 0; bit < kGlyphRows * kGlyphColumns; ++bit) {
            if ((mask >> bit & 1u) == 0) continue;
            int32_t x = left + bit % kGlyphColumns;
            int32_t y = top + bit / kGlyphColumns;
            set[static_cast<size_t>(y) * kBuiltinFontWidth + x] = 1;
        }
    }
    // The outline stays inside each cell: a glyph covers columns 1 ... 5 and rows 1 ... 6 of its
    // 8 x 8 cell, so its neighbours reach columns 0 ... 6 and rows 0 ... 7 at most.
    for (int32_t y = 0; y < kBuiltinFontHeight; ++y) {
        for (int32_t x = 0; x < kBuiltinFontWidth; ++x) {
            uint8_t* p = &out.pixels[(static_cast<size_t>(y) * kBuiltinFontWidth + x) * 4];
            if (set[static_cast<size_t>(y) * kBuiltinFontWidth + x]) {
                p[0] = p[1] = p[2] = p[3] = 255;
                continue;
            }
            bool next_to_dot = false;
            for (int32_t dy = -1; dy <= 1 && !next_to_dot; ++dy) {
                for (int32_t dx = -1; dx <= 1 && !next_to_dot; ++dx) {
                    int32_t nx = x + dx, ny = y + dy;
                    if (nx < 0 || ny < 0 || nx >= kBuiltinFontWidth || ny >= kBuiltinFontHeight) continue;
                    next_to_dot = set[static_cast<size_t>(ny) * kBuiltinFontWidth + nx] != 0;
                }
            }
            if (!next_to_dot) continue;
            p[0] = p[1] = p[2] = kOutlineGrey;
            p[3] = 255;
        }
    }
}

}  // namespace rt
