// The file layer's process-wide state: the registry of memory blocks, the two resolvers, the
// eight channels, the line store and the settings table. Lives in rt::globals; its destructor
// at process exit writes back what is still changed and removes extracted temporary files.
#pragma once

#include <array>

#include "runtime/files/channels.h"
#include "runtime/files/file_reader.h"
#include "runtime/files/line_store.h"
#include "runtime/files/memory_files.h"
#include "runtime/files/resolver.h"
#include "runtime/files/settings.h"

namespace rt {

struct FileState {
    FileState();
    ~FileState();
    FileState(const FileState&) = delete;
    FileState& operator=(const FileState&) = delete;

    // First, so that it is destroyed last: the resolvers unregister their blocks as they go.
    MemoryBlockRegistry memory_blocks_;
    PackResolver main_resolver_;
    PackResolver media_resolver_;
    std::array<FileReader, kChannelCount> channels_;
    LineStore line_store_;
    SettingsTable settings_;
};

}  // namespace rt
