// The shader slots: loading, compiling and linking GLSL programs through the ARB shader-object
// entry points, the program in use, uniforms and attributes by name, and the shader commands.
#include "runtime/gfx3d/shaders.h"

#include <GL/gl.h>
#include <GL/glext.h>

#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "runtime/core/errors.h"
#include "runtime/gfx3d/engine3d.h"
#include "runtime/gfx3d/shader.h"
#include "runtime/platform/video.h"

static_assert(sizeof(GLhandleARB) == sizeof(uint32_t), "slot handles hold GLhandleARB values");

namespace rt {

struct ShaderEntryPoints {
    // GL_ARB_shader_objects.
    PFNGLCREATEPROGRAMOBJECTARBPROC glCreateProgramObjectARB = nullptr;
    PFNGLDELETEOBJECTARBPROC glDeleteObjectARB = nullptr;
    PFNGLCREATESHADEROBJECTARBPROC glCreateShaderObjectARB = nullptr;
    PFNGLSHADERSOURCEARBPROC glShaderSourceARB = nullptr;
    PFNGLCOMPILESHADERARBPROC glCompileShaderARB = nullptr;
    PFNGLGETOBJECTPARAMETERIVARBPROC glGetObjectParameterivARB = nullptr;
    PFNGLATTACHOBJECTARBPROC glAttachObjectARB = nullptr;
    PFNGLGETINFOLOGARBPROC glGetInfoLogARB = nullptr;
    PFNGLLINKPROGRAMARBPROC glLinkProgramARB = nullptr;
    PFNGLUSEPROGRAMOBJECTARBPROC glUseProgramObjectARB = nullptr;
    PFNGLGETUNIFORMLOCATIONARBPROC glGetUniformLocationARB = nullptr;
    PFNGLUNIFORM1FARBPROC glUniform1fARB = nullptr;
    PFNGLUNIFORM1IARBPROC glUniform1iARB = nullptr;
    // GL_ARB_vertex_shader.
    PFNGLGETATTRIBLOCATIONARBPROC glGetAttribLocationARB = nullptr;
    PFNGLVERTEXATTRIB1FARBPROC glVertexAttrib1fARB = nullptr;

    // Everything shader_load calls.
    bool loading() const {
        return glCreateProgramObjectARB && glDeleteObjectARB && glCreateShaderObjectARB && glShaderSourceARB &&
               glCompileShaderARB && glGetObjectParameterivARB && glAttachObjectARB && glGetInfoLogARB &&
               glLinkProgramARB;
    }
};

namespace {

// Longest compile or link log passed on; a driver's longer log is cut.
constexpr GLint kInfoLogMax = 1 << 20;

// One message and a line feed to the debug output.
void report(const char* text) {
    RtString line(text ? text : "");
    line.append("\n");
    debug_print(line);
}

template <typename Entry>
void fetch(Entry& entry, const char* name) {
    entry = reinterpret_cast<Entry>(platform_gl_proc_address(name));
}

}  // namespace

ShaderTable::ShaderTable() : gl_(std::make_unique<ShaderEntryPoints>()) {}

ShaderTable::~ShaderTable() = default;

const ShaderEntryPoints& ShaderTable::gl() {
    // Without a current context there is no version string; the fetch waits for one.
    if (fetched_ || !glGetString(GL_VERSION)) return *gl_;
    fetched_ = true;
    ShaderEntryPoints& e = *gl_;
    e = ShaderEntryPoints{};
    // A loader hands out addresses for names the driver lacks: only the extension list counts.
    if (platform_gl_extension_listed("GL_ARB_shader_objects")) {
        fetch(e.glCreateProgramObjectARB, "glCreateProgramObjectARB");
        fetch(e.glDeleteObjectARB, "glDeleteObjectARB");
        fetch(e.glCreateShaderObjectARB, "glCreateShaderObjectARB");
        fetch(e.glShaderSourceARB, "glShaderSourceARB");
        fetch(e.glCompileShaderARB, "glCompileShaderARB");
        fetch(e.glGetObjectParameterivARB, "glGetObjectParameterivARB");
        fetch(e.glAttachObjectARB, "glAttachObjectARB");
        fetch(e.glGetInfoLogARB, "glGetInfoLogARB");
        fetch(e.glLinkProgramARB, "glLinkProgramARB");
        fetch(e.glUseProgramObjectARB, "glUseProgramObjectARB");
        fetch(e.glGetUniformLocationARB, "glGetUniformLocationARB");
        fetch(e.glUniform1fARB, "glUniform1fARB");
        fetch(e.glUniform1iARB, "glUniform1iARB");
    }
    if (platform_gl_extension_listed("GL_ARB_vertex_shader")) {
        fetch(e.glGetAttribLocationARB, "glGetAttribLocationARB");
        fetch(e.glVertexAttrib1fARB, "glVertexAttrib1fARB");
    }
    return e;
}

ShaderSlot ShaderTable::slot(int32_t n) const {
    if (n < 0 || n >= kShaderSlotCount) return ShaderSlot{};
    return slots_[static_cast<size_t>(n)];
}

void ShaderTable::slot_clear(ShaderSlot& slot) {
    const ShaderEntryPoints& e = *gl_;
    // Handle 0 stands for no object; a program still current is deleted once it is replaced.
    for (uint32_t* handle : {&slot.program, &slot.vertex, &slot.fragment}) {
        if (*handle != 0 && e.glDeleteObjectARB) e.glDeleteObjectARB(*handle);
        *handle = 0;
    }
}

void ShaderTable::info_log_report(uint32_t object) {
    const ShaderEntryPoints& e = *gl_;
    GLint length = 0;
    e.glGetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    std::string log;
    if (length > 1) {
        if (length > kInfoLogMax) length = kInfoLogMax;
        log.assign(static_cast<size_t>(length), '\0');
        GLsizei written = 0;
        e.glGetInfoLogARB(object, length, &written, log.data());
        log.resize(written > 0 && written < length ? static_cast<size_t>(written) : std::strlen(log.c_str()));
    }
    report(log.c_str());
}

uint32_t ShaderTable::shader_compile(uint32_t type, const char* file, FileBytesReader reader, const char* failure,
                                     bool& failed) {
    if (!file || !reader) return 0;
    FileBytes bytes;
    if (!reader(file, bytes) || (bytes.size > 0 && !bytes.data)) return 0;
    // The text ends at its first zero byte, as a zero-terminated source would.
    const auto* text = reinterpret_cast<const char*>(bytes.data);
    size_t size = bytes.size;
    if (const void* zero = size > 0 ? std::memchr(text, 0, size) : nullptr) {
        size = static_cast<size_t>(static_cast<const char*>(zero) - text);
    }
    if (size > static_cast<size_t>(INT_MAX)) return 0;  // a text GL cannot take counts as unreadable
    const ShaderEntryPoints& e = *gl_;
    GLhandleARB shader = e.glCreateShaderObjectARB(type);
    if (shader == 0) {
        report(failure);
        failed = true;
        return 0;
    }
    const GLcharARB* source = size > 0 ? text : "";
    const GLint length = static_cast<GLint>(size);
    e.glShaderSourceARB(shader, 1, &source, &length);
    e.glCompileShaderARB(shader);
    GLint compiled = 0;
    e.glGetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &compiled);
    if (!compiled) {
        info_log_report(shader);
        report(failure);
        failed = true;
    }
    return shader;
}

int32_t ShaderTable::load(int32_t number, const char* vertex_file, const char* fragment_file, FileBytesReader reader) {
    if (number < 0 || number >= kShaderSlotCount) return 0;
    const ShaderEntryPoints& e = gl();
    if (!e.loading()) {
        if (notice_pending_) {
            notice_pending_ = false;
            report("No OpenGL 2.0 Shader Support");
        }
        return 0;
    }
    ShaderSlot& slot = slots_[static_cast<size_t>(number)];
    slot_clear(slot);
    bool failed = false;
    slot.vertex = shader_compile(GL_VERTEX_SHADER_ARB, vertex_file, reader, "vertex shader failed", failed);
    slot.fragment = shader_compile(GL_FRAGMENT_SHADER_ARB, fragment_file, reader, "fragment shader failed", failed);
    if (!failed && (slot.vertex != 0 || slot.fragment != 0)) {
        slot.program = e.glCreateProgramObjectARB();
        GLint linked = 0;
        if (slot.program != 0) {
            if (slot.vertex != 0) e.glAttachObjectARB(slot.program, slot.vertex);
            if (slot.fragment != 0) e.glAttachObjectARB(slot.program, slot.fragment);
            e.glLinkProgramARB(slot.program);
            e.glGetObjectParameterivARB(slot.program, GL_OBJECT_LINK_STATUS_ARB, &linked);
            if (!linked) info_log_report(slot.program);
        }
        if (!linked) {
            report("link shader failed");
            failed = true;
        }
    }
    // A failed load leaves nothing half-made in the slot.
    if (failed) slot_clear(slot);
    // The slot in use follows its new contents, so that uniforms set later reach the program
    // that draws.
    if (number == in_use_) use(number);
    return failed ? 0 : 1;
}

void ShaderTable::use(int32_t number) {
    const ShaderEntryPoints& e = gl();
    if (!e.glUseProgramObjectARB) return;
    if (number >= 0 && number < kShaderSlotCount) {
        in_use_ = number;
        e.glUseProgramObjectARB(slots_[static_cast<size_t>(number)].program);
    } else {
        e.glUseProgramObjectARB(0);
        in_use_ = -1;
    }
}

int32_t ShaderTable::uniform_location(const char* name) {
    const uint32_t program = in_use_ >= 0 ? slots_[static_cast<size_t>(in_use_)].program : 0;
    if (program == 0 || !name || !gl_->glGetUniformLocationARB) return -1;
    return gl_->glGetUniformLocationARB(program, name);
}

void ShaderTable::float_set(const char* name, float value) {
    const ShaderEntryPoints& e = gl();
    if (!e.glGetUniformLocationARB || !e.glUniform1fARB || in_use_ < 0) return;
    const GLint location = uniform_location(name);
    if (location < 0) {
        report("undefined uniform:");
        report(name);
        return;
    }
    e.glUniform1fARB(location, value);
}

void ShaderTable::int_set(const char* name, int32_t value) {
    const ShaderEntryPoints& e = gl();
    if (!e.glGetUniformLocationARB || !e.glUniform1iARB || in_use_ < 0) return;
    const GLint location = uniform_location(name);
    if (location < 0) {
        report("undefined uniform:");
        report(name);
        return;
    }
    e.glUniform1iARB(location, value);
}

void ShaderTable::attrib_float_set(const char* name, float value) {
    const ShaderEntryPoints& e = gl();
    if (!e.glGetAttribLocationARB || !e.glVertexAttrib1fARB || in_use_ < 0) return;
    const uint32_t program = slots_[static_cast<size_t>(in_use_)].program;
    const GLint location = program != 0 && name ? e.glGetAttribLocationARB(program, name) : -1;
    if (location < 0) {
        report("undefined attrib:");
        report(name);
        return;
    }
    e.glVertexAttrib1fARB(static_cast<GLuint>(location), value);
}

void ShaderTable::texture_units_set() {
    const ShaderEntryPoints& e = gl();
    if (!e.glGetUniformLocationARB || !e.glUniform1iARB || in_use_ < 0) return;
    const GLint first = uniform_location("TextureID1");
    if (first >= 0) e.glUniform1iARB(first, 0);
    const GLint second = uniform_location("TextureID2");
    if (second >= 0) e.glUniform1iARB(second, 1);
}

void ShaderTable::release() {
    if (fetched_) {
        if (in_use_ >= 0 && gl_->glUseProgramObjectARB) gl_->glUseProgramObjectARB(0);
        for (ShaderSlot& slot : slots_) slot_clear(slot);
    }
    slots_.fill(ShaderSlot{});
    in_use_ = -1;
    fetched_ = false;
    *gl_ = ShaderEntryPoints{};
}

void shader_table_frame_reset(ShaderTable& table) {
    // Only this table makes programs current: with none in use fixed-function drawing is on.
    if (table.in_use() >= 0) table.use(-1);
}

}  // namespace rt

int32_t shader_load(int32_t number, const RtString& vertex_file, const RtString& fragment_file) {
    Zevivedu3R* engine = rt::engine3d();
    if (!engine) return 0;
    try {
        return engine->shaders().load(number, vertex_file.c_str(), fragment_file.c_str(), engine->file_reader());
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

void shader_use(int32_t number) {
    if (Zevivedu3R* engine = rt::engine3d()) engine->shaders().use(number);
}

void shader_set_float(const RtString& name, float value) {
    Zevivedu3R* engine = rt::engine3d();
    if (!engine) return;
    try {
        engine->shaders().float_set(name.c_str(), value);
    } catch (const std::bad_alloc&) {
    }
}
