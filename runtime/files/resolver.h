// Name resolution: a requested name becomes the name itself (a plain file or a live memory
// file), the memory file name of an entry extracted from the pack, or a temporary file holding it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace rt {
struct PackBlock;
}

// One resolution context. Holds at most one extraction, released at its next use.
class PackResolver {
public:
    PackResolver() = default;
    ~PackResolver();
    PackResolver(const PackResolver&) = delete;
    PackResolver& operator=(const PackResolver&) = delete;

    // Frees the extracted block (its name stops resolving) and deletes the temporary file.
    void release();
    // Enables the resolver, releases its extraction and stores the pack name ("" for none; a name
    // above 1023 bytes counts as none).
    void set_pack(const char* pack_name);

    bool enabled() const { return enabled_; }
    const std::string& pack_name() const { return pack_name_; }
    const std::string& temporary_file() const { return temporary_file_; }

private:
    friend bool path_resolve(PackResolver&, const char*, std::string&, bool);

    bool enabled_ = true;
    std::string pack_name_;
    std::string temporary_file_;
    std::shared_ptr<rt::PackBlock> extracted_;
};

// Resolves name into out: true with an openable name, or false with out empty (or holding name
// itself when the pack could not be consulted). want_memory asks for a memory file name of the
// extracted entry rather than a temporary file. What it hands out stays valid until the next
// call on the same resolver; readers already open on it keep their bytes.
bool path_resolve(PackResolver& resolver, const char* name, std::string& out, bool want_memory);
// The same into a caller's buffer of at least 1024 bytes; returns 1 or 0.
int32_t path_resolve(PackResolver& resolver, const char* name, char* out, int32_t want_memory);

namespace rt {

// The resolver of channels, the line store, pictures, fonts, sounds and 3D objects.
PackResolver& main_resolver();
// The resolver of music and movie playback (asks for temporary files).
PackResolver& media_resolver();

}  // namespace rt
