// cxxm_right.cpp - a third user of the header, with a second instance of
// the template (long) whose static member only this unit describes.
#include "shapes.h"

namespace {
int remembered(int v)
{
    static int last;
    int before = last;
    last = v;
    return before;
}
}  // namespace

int shapes_right(int n)
{
    geo::Rect r(n, 2);
    r.grow(1);
    geo::Accumulator<int> acc;
    acc.add(r.area());
    geo::Accumulator<long> wide;
    wide.add(static_cast<long>(n) * 1000);
    return geo::largest(acc.sum(), remembered(n)) + static_cast<int>(wide.sum());
}
