// Start-up and shut-down of the file layer, as the runtime's start and end sequences call them.
#pragma once

#include <string>

namespace rt {

// Start-up: both resolvers enabled, released, and given the executable's full path as pack name.
void files_start(const std::string& executable_path);
// Shut-down: closes the eight channels.
void files_close_channels();
// Shut-down: writes back and empties the line store (as selecting none does, without touching
// the error code), and writes back a changed settings table.
void files_flush();
// Shut-down: releases both resolvers (extracted block freed, temporary file deleted).
void files_release();

}  // namespace rt
