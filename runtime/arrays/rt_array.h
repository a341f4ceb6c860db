// RtArray: the runtime's array value of up to four dimensions (integers, reals, texts, bytes and
// the game's plain records) with bounds-tested element access. A bad index ends the program
// with error code 9, storage that cannot be had with error code 7.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <new>
#include <type_traits>
#include <utility>

#include "runtime/core/errors.h"
#include "runtime/values/rt_string.h"

namespace rt {

// Storage rules per element kind. Capacity is the next multiple of step strictly above the
// element count; a capacity up to inline_limit lives in the block of inline_block elements
// inside the array value.
template <typename T>
struct ArrayKind {
    static constexpr int32_t step = 64;
    static constexpr int32_t inline_block = 0;
    static constexpr int32_t inline_limit = 0;
};
template <>
struct ArrayKind<int32_t> {
    static constexpr int32_t step = 8;
    static constexpr int32_t inline_block = 16;
    static constexpr int32_t inline_limit = 8;  // element count below 8
};
template <>
struct ArrayKind<double> {
    static constexpr int32_t step = 8;
    static constexpr int32_t inline_block = 16;
    static constexpr int32_t inline_limit = 16;  // element count below 16
};

template <typename T, int32_t N>
struct ArrayInlineBlock {
    T elements[N];
};
template <typename T>
struct ArrayInlineBlock<T, 0> {};

// Largest storage one array may take, in bytes.
inline constexpr uint64_t kArrayMaxBytes = uint64_t{1} << 31;

// A shape with its element count and capacity, computed in 64 bits.
struct ArrayShape {
    int32_t sizes[4];    // size 1 as max(s1, 0); sizes 2 to 4 as given
    int32_t strides[3];  // strides 2 to 4
    int32_t dimensions;
    int32_t count;
    int32_t capacity;
};

// False when the count exceeds INT32_MAX or the capacity's bytes exceed kArrayMaxBytes.
// Strides come from max(1, size) per dimension, like the count.
bool array_shape(int32_t s1, int32_t s2, int32_t s3, int32_t s4, int32_t step, size_t element_size,
                 ArrayShape& out) noexcept;

// Heap storage; array_storage_take ends the program with error code 7 when none can be had.
void* array_storage_take(size_t bytes, size_t alignment);
void array_storage_release(void* storage, size_t alignment) noexcept;

// Index test of dimensions 2 to 4: below a positive size, only 0 for an unused dimension
// (size 0), never for a negative size.
constexpr bool array_index_fits(int32_t index, int32_t size) noexcept {
    const int32_t limit = size > 0 ? size : (size == 0 ? 1 : 0);
    return static_cast<uint32_t>(index) < static_cast<uint32_t>(limit);
}

// Plain records: valid when zero-filled, copied bytewise, nothing to destroy.
template <typename T>
inline constexpr bool kPlainRecord = std::is_trivially_copyable_v<T>&& std::is_trivially_destructible_v<T>;

template <typename T>
concept ArrayElement = std::is_same_v<T, RtString> || kPlainRecord<T>;

}  // namespace rt

template <typename T>
class RtArray {
    static_assert(rt::ArrayElement<T>, "array elements are RtString or plain records valid when zero-filled");
    using Kind = rt::ArrayKind<T>;
    static constexpr bool kStrings = std::is_same_v<T, RtString>;

public:
    RtArray() noexcept {}
    RtArray(const RtArray& other);
    RtArray(RtArray&& other) noexcept { take(other); }
    RtArray& operator=(const RtArray& other);
    RtArray& operator=(RtArray&& other) noexcept;
    ~RtArray() { release(); }

    // Sets the shape and clears every element of the storage.
    void dim(int32_t s1, int32_t s2, int32_t s3, int32_t s4);
    // Sets the shape and keeps the elements inside both shapes (texts: first two dimensions only).
    void redim(int32_t s1, int32_t s2, int32_t s3, int32_t s4);
    // Dimensions like source and copies its elements; copying an array onto itself keeps it.
    void copy_from(const RtArray& source);
    void set_list(int32_t n, const T* values);

    T& at(int32_t i, int32_t j, int32_t k, int32_t l) {
        if (i < 0) i += size_[0];  // a negative first index counts from the end
        if (data_ == nullptr || static_cast<uint32_t>(i) >= static_cast<uint32_t>(size_[0]) ||
            !rt::array_index_fits(j, size_[1]) || !rt::array_index_fits(k, size_[2]) ||
            !rt::array_index_fits(l, size_[3])) [[unlikely]] {
            rt::fatal(kErrOutOfBounds);
        }
        return data_[static_cast<ptrdiff_t>(i) + static_cast<ptrdiff_t>(j) * stride2_ +
                     static_cast<ptrdiff_t>(k) * stride3_ + static_cast<ptrdiff_t>(l) * stride4_];
    }
    const T& at(int32_t i, int32_t j, int32_t k, int32_t l) const { return const_cast<RtArray*>(this)->at(i, j, k, l); }

    T* data() noexcept { return data_; }
    const T* data() const noexcept { return data_; }
    // Size of dimension 0 to 3; 0 for any other number.
    int32_t size(int32_t dim) const noexcept { return dim >= 0 && dim < 4 ? size_[dim] : 0; }
    // Elements between neighbours in index dim (0 to 3); 0 for any other number.
    int32_t stride(int32_t dim) const noexcept {
        const int32_t strides[4] = {1, stride2_, stride3_, stride4_};
        return dim >= 0 && dim < 4 ? strides[dim] : 0;
    }
    int32_t dimensions() const noexcept { return dimensions_; }
    int32_t capacity() const noexcept { return capacity_; }
    // Elements of the shape (not of the storage).
    int32_t count() const noexcept {
        int64_t n = size_[0];
        for (int m = 1; m < 4; ++m) n *= std::max(size_[m], 1);
        return static_cast<int32_t>(n);  // checked when the shape was set
    }
    bool uses_inline_block() const noexcept { return data_ != nullptr && data_ == inline_elements(); }

private:
    const T* inline_elements() const noexcept {
        if constexpr (Kind::inline_block > 0) {
            return inline_.elements;
        } else {
            return nullptr;
        }
    }
    T* inline_elements() noexcept { return const_cast<T*>(std::as_const(*this).inline_elements()); }

    void acquire(int32_t capacity);
    void release() noexcept;
    void take(RtArray& other) noexcept;
    void zero_fill() noexcept { std::memset(static_cast<void*>(data_), 0, sizeof(T) * static_cast<size_t>(capacity_)); }
    // Clears the elements from index first up to (not including) end.
    void clear_range(int32_t first, int32_t end) noexcept {
        for (int32_t x = first; x < end; ++x) {
            if constexpr (kStrings) {
                data_[x].clear();
            } else {
                std::memset(static_cast<void*>(data_ + x), 0, sizeof(T));
            }
        }
    }
    void clear_shape() noexcept {
        stride2_ = stride3_ = stride4_ = 0;
        size_[0] = size_[1] = size_[2] = size_[3] = 0;
        dimensions_ = 0;
    }

    T* data_ = nullptr;  // null until dimensioned; may point at inline_
    [[no_unique_address]] rt::ArrayInlineBlock<T, Kind::inline_block> inline_;
    int32_t stride2_ = 0;
    int32_t stride3_ = 0;
    int32_t stride4_ = 0;
    int32_t size_[4] = {0, 0, 0, 0};
    int32_t dimensions_ = 0;
    int32_t capacity_ = 0;
};

// ---- members ----

template <typename T>
RtArray<T>::RtArray(const RtArray& other)
    : stride2_(other.stride2_),
      stride3_(other.stride3_),
      stride4_(other.stride4_),
      size_{other.size_[0], other.size_[1], other.size_[2], other.size_[3]},
      dimensions_(other.dimensions_) {
    if (other.data_ == nullptr) return;
    acquire(other.capacity_);  // inline again exactly when other is inline
    std::copy_n(other.data_, capacity_, data_);
}

template <typename T>
RtArray<T>& RtArray<T>::operator=(const RtArray& other) {
    if (this != &other) {
        RtArray copy(other);
        release();
        take(copy);
    }
    return *this;
}

template <typename T>
RtArray<T>& RtArray<T>::operator=(RtArray&& other) noexcept {
    if (this != &other) {
        release();
        take(other);
    }
    return *this;
}

template <typename T>
void RtArray<T>::acquire(int32_t capacity) {
    if constexpr (Kind::inline_limit > 0) {
        if (capacity <= Kind::inline_limit) {
            data_ = inline_elements();
            capacity_ = capacity;
            zero_fill();
            return;
        }
    }
    void* storage = rt::array_storage_take(sizeof(T) * static_cast<size_t>(capacity), alignof(T));
    data_ = static_cast<T*>(storage);
    capacity_ = capacity;
    if constexpr (kStrings) {
        for (int32_t x = 0; x < capacity; ++x) new (data_ + x) RtString();
    } else {
        zero_fill();
    }
}

template <typename T>
void RtArray<T>::release() noexcept {
    if (data_ == nullptr) return;
    if constexpr (kStrings) {
        for (int32_t x = 0; x < capacity_; ++x) data_[x].~RtString();
    }
    if (!uses_inline_block()) rt::array_storage_release(data_, alignof(T));
    data_ = nullptr;
    capacity_ = 0;
}

// Takes other's storage and shape; this holds no storage. Other is left never-dimensioned.
template <typename T>
void RtArray<T>::take(RtArray& other) noexcept {
    if (other.uses_inline_block()) {
        data_ = inline_elements();
        std::copy_n(other.data_, other.capacity_, data_);
    } else {
        data_ = other.data_;
    }
    capacity_ = other.capacity_;
    stride2_ = other.stride2_;
    stride3_ = other.stride3_;
    stride4_ = other.stride4_;
    std::copy_n(other.size_, 4, size_);
    dimensions_ = other.dimensions_;
    other.data_ = nullptr;
    other.capacity_ = 0;
    other.clear_shape();
}

template <typename T>
void RtArray<T>::dim(int32_t s1, int32_t s2, int32_t s3, int32_t s4) {
    rt::ArrayShape shape;
    if (!rt::array_shape(s1, s2, s3, s4, Kind::step, sizeof(T), shape)) rt::fatal(kErrOutOfMemory);
    if (data_ == nullptr || capacity_ < shape.capacity || s1 <= 0) {
        release();
        acquire(shape.capacity);  // comes cleared
    } else if constexpr (kStrings) {
        for (int32_t x = 0; x < capacity_; ++x) data_[x] = RtString();
    } else {
        zero_fill();
    }
    stride2_ = shape.strides[0];
    stride3_ = shape.strides[1];
    stride4_ = shape.strides[2];
    std::copy_n(shape.sizes, 4, size_);
    dimensions_ = shape.dimensions;
}

template <typename T>
void RtArray<T>::redim(int32_t s1, int32_t s2, int32_t s3, int32_t s4) {
    if (s1 < 1) {
        clear_range(0, count());  // the storage stays, cleared beyond the shape as always
        clear_shape();
        return;
    }
    // A one-dimensional array that stays one-dimensional and fits its storage keeps it: the
    // elements beyond the shape are always cleared, so only a shrink has anything to clear.
    // This keeps appends to text arrays linear.
    if (data_ != nullptr && size_[1] == 0 && size_[2] == 0 && size_[3] == 0 && s2 == 0 && s3 == 0 && s4 == 0) {
        rt::ArrayShape shape;
        if (!rt::array_shape(s1, 0, 0, 0, Kind::step, sizeof(T), shape)) rt::fatal(kErrOutOfMemory);
        if (shape.capacity <= capacity_) {
            clear_range(s1, size_[0]);
            stride2_ = shape.strides[0];
            stride3_ = stride4_ = 0;
            std::copy_n(shape.sizes, 4, size_);
            dimensions_ = shape.dimensions;
            return;
        }
    }
    RtArray fresh;
    fresh.dim(s1, s2, s3, s4);
    // Indices kept per dimension: below both sizes; an unused dimension keeps index 0 only,
    // a negative size (no valid index) keeps nothing.
    auto kept = [](int32_t old_size, int32_t new_size) {
        if (old_size < 0 || new_size < 0) return 0;
        return std::max(std::min(old_size, new_size), 1);
    };
    const int32_t n1 = std::min(size_[0], fresh.size_[0]);
    const int32_t n2 = kept(size_[1], fresh.size_[1]);
    int32_t n3 = kept(size_[2], fresh.size_[2]);
    int32_t n4 = kept(size_[3], fresh.size_[3]);
    if constexpr (kStrings) {
        n3 = std::min(n3, 1);
        n4 = std::min(n4, 1);
    }
    for (int32_t l = 0; l < n4; ++l) {
        for (int32_t k = 0; k < n3; ++k) {
            for (int32_t j = 0; j < n2; ++j) {
                for (int32_t i = 0; i < n1; ++i) fresh.at(i, j, k, l) = std::move(at(i, j, k, l));
            }
        }
    }
    *this = std::move(fresh);
}

template <typename T>
void RtArray<T>::copy_from(const RtArray& source) {
    if (this == &source) return;
    dim(source.size_[0], source.size_[1], source.size_[2], source.size_[3]);
    const int32_t n = source.count();
    if (n > 0) std::copy_n(source.data_, n, data_);
}

template <typename T>
void RtArray<T>::set_list(int32_t n, const T* values) {
    dim(n, 0, 0, 0);
    if (n > 0) std::copy_n(values, n, data_);
}

// ---- commands ----

template <typename T>
void array_dim(RtArray<T>& a, int32_t s1, int32_t s2, int32_t s3, int32_t s4) {
    a.dim(s1, s2, s3, s4);
}

template <typename T>
void array_redim(RtArray<T>& a, int32_t s1, int32_t s2, int32_t s3, int32_t s4) {
    a.redim(s1, s2, s3, s4);
}

template <typename T>
inline T& array_element(RtArray<T>& a, int32_t i, int32_t j, int32_t k, int32_t l) {
    return a.at(i, j, k, l);
}

// The generated code's plain a[i].
template <typename T>
inline T& array_element_1d(RtArray<T>& a, int32_t i) {
    return a.at(i, 0, 0, 0);
}

// Size of dimension 0 to 3; 0 for any other number.
template <typename T>
inline int32_t array_bounds(const RtArray<T>& a, int32_t dim) {
    return a.size(dim);
}

template <typename T>
void array_copy(RtArray<T>& target, const RtArray<T>& source) {
    target.copy_from(source);
}

// An array literal: dimensioned to n, elements 0 to n - 1 from values.
template <typename T>
void array_set_list(RtArray<T>& a, int32_t n, const std::type_identity_t<T>* values) {
    a.set_list(n, values);
}

template <typename T>
void array_set_list(RtArray<T>& a, std::type_identity_t<std::initializer_list<T>> values) {
    a.set_list(static_cast<int32_t>(values.size()), values.begin());
}

// One-dimensional text arrays only (error code 8 otherwise): the first size grows by one and the
// new last element becomes a copy of value.
void array_append(RtArray<RtString>& a, const RtString& value);

extern template class RtArray<int32_t>;
extern template class RtArray<double>;
extern template class RtArray<RtString>;
extern template class RtArray<uint8_t>;
