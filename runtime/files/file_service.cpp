// Start-up and shut-down of the file layer, and the exit clean-up of its state.
#include "runtime/files/file_service.h"

#include "runtime/files/pack_commands.h"

namespace rt {

FileService::FileService() = default;

FileService::~FileService() {
    // The exit clean-up: a program that ends without the shut-down sequence (no display was
    // made) still keeps what the game wrote. Error state is not touched here.
    for (FileReader& channel : channels_) channel.close();
    line_store_write_back(line_store_);
    line_store_.changed_ = false;
    settings_write_back(settings_);
    settings_.changed_ = false;
}

void files_start(const std::string& executable_path) {
    pack_set(RtString(executable_path.c_str(), static_cast<uint32_t>(executable_path.size())), executable_path.c_str());
}

void files_close_channels() {
    for (FileReader& channel : file_service().channels_) channel.close();
}

void files_flush() {
    FileService& files = file_service();
    line_store_write_back(files.line_store_);
    files.line_store_ = LineStore{};
    settings_write_back(files.settings_);
    files.settings_.changed_ = false;
}

void files_release() {
    file_service().main_resolver_.release();
    file_service().media_resolver_.release();
}

}  // namespace rt
