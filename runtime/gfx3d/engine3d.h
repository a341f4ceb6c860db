// Zevivedu3R, the 3D engine object: the table of numbered 3D objects and the shader slots. It is
// created once after the display; GL calls need the display's context to be current.
#pragma once

#include "runtime/core/file_bytes.h"
#include "runtime/gfx3d/objects.h"
#include "runtime/gfx3d/shaders.h"

class Zevivedu3R {
public:
    Zevivedu3R() = default;
    Zevivedu3R(const Zevivedu3R&) = delete;
    Zevivedu3R& operator=(const Zevivedu3R&) = delete;

    rt::ObjectTable& objects() { return objects_; }
    rt::ShaderTable& shaders() { return shaders_; }
    // How .ddd and shader files are found; start-up installs the file layer's search.
    void file_reader_set(rt::FileBytesReader reader) { file_reader_ = reader; }
    rt::FileBytesReader file_reader() const { return file_reader_; }
    // Frame presentation's per-frame reset: back to fixed-function drawing.
    void frame_reset() { rt::shader_table_frame_reset(shaders_); }

private:
    rt::ObjectTable objects_;
    rt::ShaderTable shaders_;
    rt::FileBytesReader file_reader_ = rt::file_bytes_read_plain;
};

namespace rt {
// The process's 3D engine; null before start-up.
Zevivedu3R* engine3d();
}  // namespace rt
