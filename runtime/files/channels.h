// The eight numbered file channels of the game code, the whole-file and directory commands, and
// console text. Reads and writes that fail end the program (code 3; code 7 for a channel outside
// 0 to 7); opens, copies and queries set the error code and return.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

// ---- channels ----
// Lowest channel not in use, or -1.
int32_t file_channel_find_free();
// mode >= 1 reads (through the resolver and the pack), 0 writes a new file, < 0 appends.
bool file_open(int32_t channel, const RtString& name, int32_t mode);
void file_close(int32_t channel);
// True at or past the end; true as well for a channel outside 0 to 7 (nothing to read there).
bool file_at_end(int32_t channel);
int32_t file_position(int32_t channel);
// origin 0: absolute; > 0: from the position; < 0: from the end.
void file_seek(int32_t channel, int32_t distance, int32_t origin);

void file_read_byte(int32_t channel, int32_t& out);
void file_read_ubyte(int32_t channel, int32_t& out);
void file_read_word(int32_t channel, int32_t& out);
void file_read_uword(int32_t channel, int32_t& out);
// A 4-byte value does not fit a 32-bit integer unsigned: both give the same bits.
void file_read_long(int32_t channel, int32_t& out);
void file_read_ulong(int32_t channel, int32_t& out);
void file_read_float(int32_t channel, double& out);
void file_read_double(int32_t channel, double& out);
// n raw bytes (0 bytes included); n <= 0 gives the empty text without reading.
void file_read_text(int32_t channel, RtString& out, int32_t n);
void file_read_line(int32_t channel, RtString& out);
void file_read_line_real(int32_t channel, double& out);
void file_read_line_int(int32_t channel, int32_t& out);

void file_write_byte(int32_t channel, int32_t value);
void file_write_ubyte(int32_t channel, int32_t value);
void file_write_word(int32_t channel, int32_t value);
void file_write_uword(int32_t channel, int32_t value);
void file_write_long(int32_t channel, int32_t value);
void file_write_ulong(int32_t channel, int32_t value);
void file_write_float(int32_t channel, double value);
void file_write_double(int32_t channel, double value);
void file_write_text(int32_t channel, const RtString& text);
void file_write_line(int32_t channel, const RtString& text);
void file_write_line_real(int32_t channel, double value);
void file_write_line_int(int32_t channel, int32_t value);

// ---- whole files and directories ----
// Plain files and live memory files; the pack is not consulted.
bool file_exists(const RtString& name);
int32_t file_size(const RtString& name);
bool file_copy(const RtString& source, const RtString& destination);
bool file_delete(const RtString& name);
bool directory_create(const RtString& path);
bool path_is_directory(const RtString& path);
// Always ends in exactly one "/".
RtString directory_get_current();
bool directory_set_current(const RtString& path);
// Turns every backslash into "/" in place; returns the length.
int32_t path_to_forward_slashes(RtString& text);

// ---- console text ----
void console_print(const RtString& text);
void console_print_error(const RtString& text);
// One line of at most 4095 bytes from standard input without its line feed; "" at the end.
RtString console_read_line();
