// The one table between SDL scancodes (physical key positions) and the runtime's keyboard scan
// codes (0 to 255: Escape 1, left Shift 42, arrows 200/203/205/208, ...), and the characters
// that keys give in the active keyboard layout.
#pragma once

#include <cstdint>
#include <string>

namespace rt {

// Runtime scan code of an SDL scancode; 0 when the key has none.
int32_t platform_scan_code_from_sdl(int32_t sdl_scancode);
// SDL scancode of a runtime scan code; 0 (unknown) when the code names no key.
int32_t platform_sdl_from_scan_code(int32_t scan_code);

// The same table through SDL's key names ("Escape", "Left Shift", "Keypad 1", ...): the runtime
// scan code of a key name (0 when none), and the name of a runtime scan code ("" when none).
int32_t platform_scan_code_from_key_name(const char* name);
std::string platform_key_name_of_scan_code(int32_t scan_code);

// The character the key gives without modifiers in the active layout: a byte 1 … 255 (Latin-1),
// or 0 when the key gives none. Keypad digits and the decimal point give characters only while
// Num Lock is on.
int32_t platform_key_character(int32_t scan_code);

}  // namespace rt
