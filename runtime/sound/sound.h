// Sound effect commands: numbered sounds loaded from WAVE files and played as channels.
#pragma once

#include <cstdint>

#include "runtime/values/rt_string.h"

// The lowest free sound number, or −1 when all 4096 are in use.
int32_t sound_find_free();
// Loads a WAVE file into a sound number (above 4095 becomes 4095) with 1 … 4 copies; a failed
// load leaves the number free.
void sound_load(const RtString& file_name, int32_t number, int32_t copies);
// Starts a copy with pan −1 (left) … 1 (right) and volume 0 … 1; the channel number
// (number × 256 + copy), or −1 when nothing started.
int32_t sound_play(int32_t number, double pan, double volume);
// 1 while the channel's copy still sounds, else 0.
int32_t sound_is_playing(int32_t channel);
// Stops the channel's copy, or every copy of its sound when the copy index is not a loaded copy.
void sound_stop(int32_t channel);
void sound_stop_all();
