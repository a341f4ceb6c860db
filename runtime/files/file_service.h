// The file layer's service: the registry of memory blocks, the two resolvers, the eight channels,
// the line store, the settings table and the loaded outside modules, with the start-up and
// shut-down steps the runtime's start and end sequences call. Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/files/file_reader.h"
#include "runtime/files/line_store_table.h"
#include "runtime/files/memory_files.h"
#include "runtime/files/resolver.h"
#include "runtime/files/settings_table.h"
#include "runtime/platform/sysinfo.h"
#include "runtime/values/rt_string.h"

namespace rt {

// File channels of the game code, numbered 0 to 7.
constexpr int32_t kChannelCount = 8;

// Outside modules loaded for the game's declared functions; each stays loaded until shut-down.
struct ModuleTable {
    std::vector<PlatformLibrary> handles_;
    std::vector<RtString> names_;  // lower-cased, parallel to handles_
    bool requested_ = false;       // a module was asked for since start (or the last release)
};

// Lives for the whole process (memory files and settings work before start-up and after
// shut-down); its destructor at process exit writes back what is still changed and removes
// extracted temporary files.
struct FileService {
    FileService();
    ~FileService();
    FileService(const FileService&) = delete;
    FileService& operator=(const FileService&) = delete;

    // First, so that it is destroyed last: the resolvers unregister their blocks as they go.
    MemoryBlockRegistry memory_blocks_;
    PackResolver main_resolver_;
    PackResolver media_resolver_;
    std::array<FileReader, kChannelCount> channels_;
    LineStore line_store_;
    SettingsTable settings_;
    ModuleTable modules_;
    // Answers the platform information's "GLEXT:" key: whether the display's GL context offers an
    // entry point. Core sets it to the display's query; null answers no.
    bool (*gl_entry_point_query_)(const char* name) = nullptr;
};

// The process's file service.
FileService& file_service();

// Start-up: both resolvers enabled, released, and given the executable's full path as pack name.
void files_start(const std::string& executable_path);
// Shut-down: closes the eight channels.
void files_close_channels();
// Shut-down: writes back and empties the line store (as selecting none does, without touching
// the error code), and writes back a changed settings table.
void files_flush();
// Shut-down: releases both resolvers (extracted block freed, temporary file deleted).
void files_release();
// Shut-down: releases every loaded module, latest first. Safe to call when none was requested.
void module_table_release();

}  // namespace rt
