// RtArray's out-of-line pieces: shape arithmetic, heap storage, text appends, and the
// instantiations for the runtime's own element kinds.
#include "runtime/arrays/rt_array.h"

namespace rt {

bool array_shape(int32_t s1, int32_t s2, int32_t s3, int32_t s4, int32_t step, size_t element_size,
                 ArrayShape& out) noexcept {
    const int32_t size1 = std::max(s1, 0);
    int64_t count = size1;
    for (int32_t s : {s2, s3, s4}) {
        count *= std::max(s, 1);  // both factors below 2^31: no 64-bit overflow
        if (count > INT32_MAX) return false;
    }
    const int64_t capacity = (count / step + 1) * step;
    if (capacity > INT32_MAX || static_cast<uint64_t>(capacity) * element_size > kArrayMaxBytes) return false;

    // Strides from max(1, size) per dimension, as the count: an unused dimension (only index 0)
    // or one with no valid index keeps the dimensions after it apart. Each stride is at most
    // the count, so it fits 32 bits.
    const int64_t stride3 = int64_t{size1} * std::max(s2, 1);
    const int64_t stride4 = stride3 * std::max(s3, 1);
    out.sizes[0] = size1;
    out.sizes[1] = s2;
    out.sizes[2] = s3;
    out.sizes[3] = s4;
    out.strides[0] = size1;
    out.strides[1] = static_cast<int32_t>(stride3);
    out.strides[2] = static_cast<int32_t>(stride4);
    out.dimensions = s4 != 0 ? 4 : s3 != 0 ? 3 : s2 != 0 ? 2 : size1 > 0 ? 1 : 0;
    out.count = static_cast<int32_t>(count);
    out.capacity = static_cast<int32_t>(capacity);
    return true;
}

void* array_storage_take(size_t bytes, size_t alignment) {
    void* storage = ::operator new (bytes, std::align_val_t{alignment}, std::nothrow);
    if (storage == nullptr) fatal(kErrOutOfMemory);
    return storage;
}

void array_storage_release(void* storage, size_t alignment) noexcept {
    ::operator delete (storage, std::align_val_t{alignment});
}

}  // namespace rt

void array_append(RtArray<RtString>& a, const RtString& value) {
    if (a.dimensions() > 1) rt::fatal(kErrArrayAppend);
    const int32_t n = a.size(0);
    if (n == INT32_MAX) rt::fatal(kErrOutOfMemory);
    RtString copy(value);  // value may be an element of a, which the re-dimension moves away
    a.redim(n + 1, 0, 0, 0);
    a.at(n, 0, 0, 0) = std::move(copy);
}

template class RtArray<int32_t>;
template class RtArray<double>;
template class RtArray<RtString>;
template class RtArray<uint8_t>;
