// The shader slots: GLSL programs through the ARB shader-object entry points, the slot in use and
// the one-time notice for contexts without shader support.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "runtime/core/file_bytes.h"

namespace rt {

constexpr int32_t kShaderSlotCount = 255;

// GL object handles of one slot; 0 = none.
struct ShaderSlot {
    uint32_t program = 0;
    uint32_t vertex = 0;
    uint32_t fragment = 0;
};

struct ShaderEntryPoints;  // the fetched ARB entry points, defined with the table's code

// GL is called only while the display's context is current. The destructor never calls GL: the
// table lives until process exit, long after the context is gone. release() deletes the GL
// objects explicitly and must run while the context that made them is still current.
class ShaderTable {
public:
    ShaderTable();
    ~ShaderTable();
    ShaderTable(const ShaderTable&) = delete;
    ShaderTable& operator=(const ShaderTable&) = delete;

    // Compiles and links the two files (read whole through reader) into slot number: 1, or 0 when
    // the number is out of range, shaders are unsupported, or a compile or link failed (the slot
    // is then empty). A file that cannot be read adds no shader; two such files leave the slot
    // empty and give 1.
    int32_t load(int32_t number, const char* vertex_file, const char* fragment_file, FileBytesReader reader);
    // 0 to 254: that slot's program becomes current (none when the slot is empty); anything else
    // returns to fixed-function drawing.
    void use(int32_t number);
    // Uniforms and constant vertex attributes of the program in use, by name. A name the
    // program lacks is reported ("undefined uniform:" / "undefined attrib:", then the name).
    void float_set(const char* name, float value);
    void int_set(const char* name, int32_t value);
    void attrib_float_set(const char* name, float value);
    // The scene's texture units: "TextureID1" = 0 and "TextureID2" = 1, silently skipped when the
    // program in use has no such uniform.
    void texture_units_set();

    int32_t in_use() const { return in_use_; }
    // Slot n, or an empty slot for a number out of range.
    ShaderSlot slot(int32_t n) const;
    bool notice_pending() const { return notice_pending_; }

    // Deletes every program and shader, returns to fixed-function drawing and forgets the entry
    // points (fetched again from the next context). The context must be current.
    void release();

private:
    // The entry points, fetched on first need from the current context; null members where the
    // context lacks them.
    const ShaderEntryPoints& gl();
    void slot_clear(ShaderSlot& slot);
    // One compiled shader object of type from the file's text; 0 when the file cannot be read;
    // failed set on a compile failure (log and message reported).
    uint32_t shader_compile(uint32_t type, const char* file, FileBytesReader reader, const char* failure, bool& failed);
    // The log of a shader or program object to the debug output.
    void info_log_report(uint32_t object);
    // Location of a uniform of the program in use; -1 when there is none or no slot is in use.
    int32_t uniform_location(const char* name);

    std::array<ShaderSlot, kShaderSlotCount> slots_{};
    int32_t in_use_ = -1;
    bool notice_pending_ = true;
    bool fetched_ = false;
    std::unique_ptr<ShaderEntryPoints> gl_;
};

// Makes fixed-function drawing current again (called at the end of every frame).
void shader_table_frame_reset(ShaderTable& table);

}  // namespace rt
