// Room in a list that is emptied and refilled item after item.
#pragma once

#include <cstddef>

namespace dravont {

// Makes room for at least `n` elements, rounded up to a power of two: a list
// reused for items of about the same size then settles on one block, rather
// than moving to a slightly larger one (fresh memory, faulted in anew) for
// each item a little larger than the last.
template <typename Vector>
void reserve_rounded(Vector& v, size_t n) {
    if (n <= v.capacity()) return;
    size_t capacity = 16;
    while (capacity < n) capacity *= 2;
    v.reserve(capacity);
}

}  // namespace dravont
