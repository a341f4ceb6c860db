// Name resolution through the disk, live memory files and the pack at the end of a file.
#include "runtime/files/resolver.h"

#include <algorithm>
#include <cstring>

#include "runtime/files/file_reader.h"
#include "runtime/files/file_service.h"
#include "runtime/files/pack.h"
#include "runtime/files/pack_commands.h"
#include "runtime/platform/fs.h"
#include "runtime/platform/os.h"

namespace rt {

PackResolver& main_resolver() { return file_service().main_resolver_; }
PackResolver& media_resolver() { return file_service().media_resolver_; }

namespace {

// Writes an extracted entry to "sbx" + two letters + entry name in the temporary directory.
// The old file of that name is deleted first and the new one made exclusively, so a link
// planted under that name is never followed.
bool write_temporary(const PackEntry& entry, const PackBlock& block, std::string& path) {
    const uint8_t position_low = static_cast<uint8_t>(entry.raw_position_);
    const uint8_t size_low = static_cast<uint8_t>(entry.stored_size_);
    path = platform_temp_dir();
    path += "sbx";
    path += static_cast<char>('A' + position_low % 26);
    path += static_cast<char>('A' + size_low % 26);
    path += entry.name_;
    if (path.size() > kNameMaxBytes) return false;
    platform_file_delete(path.c_str());
    PlatformFile file = platform_file_open(path.c_str(), FileOpenMode::kCreateNew, 0600);
    if (!file) return false;
    if (!platform_file_write(file, block.bytes_.get(), block.size_)) {
        file.reset();
        platform_file_delete(path.c_str());
        return false;
    }
    return true;
}

}  // namespace

}  // namespace rt

PackResolver::~PackResolver() { release(); }

void PackResolver::release() {
    if (extracted_) {
        rt::memory_file_unregister(extracted_->bytes_.get());
        extracted_.reset();
    }
    if (!temporary_file_.empty()) {
        rt::platform_file_delete(temporary_file_.c_str());
        temporary_file_.clear();
    }
}

void PackResolver::set_pack(const char* pack_name) {
    enabled_ = true;
    release();
    if (pack_name && std::strlen(pack_name) <= rt::kNameMaxBytes) {
        pack_name_ = pack_name;
    } else {
        pack_name_.clear();
    }
}

bool path_resolve(PackResolver& resolver, const char* name, std::string& out, bool want_memory) {
    resolver.release();
    out.clear();
    if (!name || !*name) return false;
    // A longer name would not fit the 1024-byte names the layer hands out; cut, it could name
    // another file.
    if (std::strlen(name) > rt::kNameMaxBytes) return false;
    out = name;
    if (rt::is_memory_file_name(name)) {
        rt::MemoryView view;
        if (rt::memory_file_lookup(name, view)) return true;
        // Not a block the runtime holds: fails like a missing file, and is never looked up.
        out.clear();
        return false;
    }
    if (rt::file_readable(name)) return true;
    if (!resolver.enabled_) return false;

    FileReader pack;
    rt::PlatformOpenError why = rt::PlatformOpenError::kMissing;
    if (resolver.pack_name_.empty() || !pack.open(resolver.pack_name_.c_str(), &why)) {
        // A moment's shortage of descriptors or memory fails this lookup only; a pack that is
        // missing, no regular file or refused switches the resolver off until the next pack_set.
        if (why != rt::PlatformOpenError::kTransient) resolver.enabled_ = false;
        return false;
    }
    out.clear();
    rt::PackEntry entry;
    if (!rt::pack_find(pack, rt::pack_last_component(name), entry)) return false;
    auto block = std::make_shared<rt::PackBlock>();
    if (!rt::pack_extract(pack, entry, *block)) return false;

    if (want_memory) {
        const uint8_t* bytes = block->bytes_.get();
        std::string mem_name = rt::memory_file_register(block, bytes, block->size_);
        if (mem_name.empty()) return false;
        resolver.extracted_ = std::move(block);
        out = std::move(mem_name);
        return true;
    }
    std::string path;
    if (!rt::write_temporary(entry, *block, path)) return false;
    resolver.temporary_file_ = path;
    out = std::move(path);
    return true;
}

int32_t path_resolve(PackResolver& resolver, const char* name, char* out, int32_t want_memory) {
    std::string resolved;
    bool ok = path_resolve(resolver, name, resolved, want_memory != 0);
    if (out) {
        size_t n = std::min(resolved.size(), rt::kNameMaxBytes);
        std::memcpy(out, resolved.data(), n);
        out[n] = '\0';
    }
    return ok ? 1 : 0;
}

void pack_set(const RtString& main_pack, const char* media_pack) {
    rt::main_resolver().set_pack(main_pack.c_str());
    rt::media_resolver().set_pack(media_pack);
}
