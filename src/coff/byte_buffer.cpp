#include "coff/byte_buffer.h"

#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace dravont {

#if defined(__linux__)

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

size_t round_up(size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

}  // namespace

void* allocate_large(size_t bytes) {
    // Map one huge page more than needed, then trim the mapping to a huge-page
    // boundary on both sides.
    const size_t length = round_up(bytes);
    void* mapped = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
    if (aligned > start) munmap(mapped, aligned - start);
    const uintptr_t tail = aligned + length;
    const uintptr_t end = start + length + kHugePage;
    if (end > tail) munmap(reinterpret_cast<void*>(tail), end - tail);
#if defined(MADV_HUGEPAGE)
    madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);  // only a hint
#endif
    return reinterpret_cast<void*>(aligned);
}

void free_large(void* block, size_t bytes) { munmap(block, round_up(bytes)); }

#else

void* allocate_large(size_t bytes) {
    void* block = std::malloc(bytes);
    if (!block) throw std::bad_alloc();
    return block;
}

void free_large(void* block, size_t) { std::free(block); }

#endif

}  // namespace dravont
