// The storage of the input image.
//
// The image is filled by one read straight after it is sized, so its bytes
// are left uninitialised: zeroing tens of megabytes first would cost as much
// as the conversion. Large images get their own mapping aligned to huge
// pages, so that filling them costs a handful of page faults instead of one
// per 4 KB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace dravont {

// Large blocks for the image: allocate_large never returns null (it throws
// std::bad_alloc), and free_large takes the size that was asked for.
constexpr size_t kLargeBlock = size_t{1} << 20;
void* allocate_large(size_t bytes);
void free_large(void* block, size_t bytes);

template <typename T>
struct ImageAllocator {
    using value_type = T;
    template <typename U>
    struct rebind {
        using other = ImageAllocator<U>;
    };
    ImageAllocator() = default;
    template <typename U>
    ImageAllocator(const ImageAllocator<U>&) noexcept {}

    T* allocate(size_t n) {
        if (n * sizeof(T) >= kLargeBlock) return static_cast<T*>(allocate_large(n * sizeof(T)));
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, size_t n) noexcept {
        if (n * sizeof(T) >= kLargeBlock) {
            free_large(p, n * sizeof(T));
        } else {
            std::allocator<T>().deallocate(p, n);
        }
    }
    template <typename U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;  // no value-initialisation: left as is
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
    template <typename U>
    bool operator==(const ImageAllocator<U>&) const noexcept {
        return true;
    }
    template <typename U>
    bool operator!=(const ImageAllocator<U>&) const noexcept {
        return false;
    }
};

using ByteBuffer = std::vector<uint8_t, ImageAllocator<uint8_t>>;

}  // namespace dravont
