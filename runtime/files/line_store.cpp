// The line store over the main resolver (so its file may be a pack entry) and the line rule.
#include "runtime/files/line_store.h"

#include <algorithm>
#include <cstring>

#include "runtime/core/errors.h"
#include "runtime/files/file_reader.h"
#include "runtime/files/file_service.h"
#include "runtime/files/line_store_table.h"
#include "runtime/files/resolver.h"
#include "runtime/values/numbers.h"
#include "runtime/values/truncate.h"

namespace rt {

namespace {

// A slot's text: the bytes up to the first 0 byte, at most kLineStoreSlotBytes.
void store_slot(std::string& slot, const char* bytes, size_t count) {
    const void* zero = std::memchr(bytes, '\0', count);
    if (zero) count = static_cast<size_t>(static_cast<const char*>(zero) - bytes);
    slot.assign(bytes, std::min(count, kLineStoreSlotBytes));
}

void clear_store(LineStore& store) {
    for (std::string& line : store.lines_) line.clear();
    store.last_line_ = 0;
    store.changed_ = false;
    store.name_.clear();
}

}  // namespace

bool line_store_write_back(const LineStore& store) {
    if (store.name_.empty() || !store.changed_ || is_memory_file_name(store.name_.c_str())) return true;
    std::string text;
    for (int32_t i = 0; i <= store.last_line_ && i < kLineStoreLines; ++i) {
        text += store.lines_[static_cast<size_t>(i)];
        text += "\r\n";
    }
    return write_whole_file(store.name_.c_str(), text.data(), text.size());
}

}  // namespace rt

int32_t line_store_select(const char* name) {
    rt::LineStore& store = rt::file_service().line_store_;
    error_code_clear();
    if (name && store.name_ == name) return 0;
    // The lines held cannot stay once another file is selected: a failed write-back is reported
    // (the file on disk is still the complete old one).
    const bool kept = rt::line_store_write_back(store);
    rt::clear_store(store);
    if (!kept) error_code_set(kErrNoSuchFile);
    if (!name) return kept ? 0 : kErrNoSuchFile;
    // A name the layer cannot hand on is held as none, so that nothing is written under a cut name.
    if (std::strlen(name) <= rt::kNameMaxBytes) store.name_ = name;
    std::string resolved;
    FileReader reader;
    if (store.name_.empty() || !path_resolve(rt::main_resolver(), name, resolved, true) ||
        !reader.open(resolved.c_str())) {
        error_code_set(kErrNoSuchFile);
        return kErrNoSuchFile;
    }
    char line[rt::kLineMaxBytes];
    for (int32_t i = 0; i < rt::kLineStoreLines; ++i) {
        int32_t length = reader.read_line(line);
        if (length < 0) break;
        rt::store_slot(store.lines_[static_cast<size_t>(i)], line, static_cast<size_t>(length));
        store.last_line_ = i;
    }
    if (!kept) error_code_set(kErrNoSuchFile);
    return kept ? 0 : kErrNoSuchFile;
}

double line_store_read(const RtString& name, double line, RtString& out) {
    const int32_t n = rt::truncate_to_int32(line);
    if (n < 0 || n >= rt::kLineStoreLines) {
        out = "NO_DATA";
        error_code_set(kErrOutOfMemory);
        return kErrOutOfMemory;
    }
    int32_t result = line_store_select(name.c_str());
    if (result != 0) {
        out = "NO_FILE";
        return result;
    }
    const std::string& slot = rt::file_service().line_store_.lines_[static_cast<size_t>(n)];
    size_t length = slot.size();
    // Trailing control bytes (CR, tab, ...) go; bytes of 128 and above are text and stay.
    while (length > 0 && static_cast<unsigned char>(slot[length - 1]) < 32) --length;
    if (length == 0) {
        out = "NO_DATA";
    } else {
        out = RtString(slot.data(), static_cast<uint32_t>(length));
    }
    return 0;
}

double line_store_read_real(const RtString& name, double line, double& out) {
    RtString text;
    double result = line_store_read(name, line, text);
    out = string_to_real(text);
    return result;
}

double line_store_read_int(const RtString& name, double line, int32_t& out) {
    RtString text;
    double result = line_store_read(name, line, text);
    out = string_to_int(text);
    return result;
}

double line_store_write(const RtString& name, double line, const RtString& text) {
    const int32_t n = rt::truncate_to_int32(line);
    if (n < 0 || n >= rt::kLineStoreLines) {
        error_code_set(kErrOutOfMemory);
        return kErrOutOfMemory;
    }
    error_code_clear();
    // A file that cannot be read is made on write-back; a name too long to be written names no
    // file, and the write is reported as failed (the line still lands in the unnamed store).
    line_store_select(name.c_str());
    rt::LineStore& store = rt::file_service().line_store_;
    const bool nameless = std::strlen(name.c_str()) > rt::kNameMaxBytes;
    rt::store_slot(store.lines_[static_cast<size_t>(n)], text.c_str(), text.length());
    if (n > store.last_line_) store.last_line_ = n;
    store.changed_ = true;
    if (nameless) {
        error_code_set(kErrNoSuchFile);
        return kErrNoSuchFile;
    }
    return 0;
}

double line_store_write_real(const RtString& name, double line, double value) {
    return line_store_write(name, line, string_from_real(value));
}
