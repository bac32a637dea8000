// cxxm_left.cpp - uses the header's classes and templates, as main does.
#include "shapes.h"

static int left_calls;

int shapes_left(int n)
{
    geo::Rect r(n, n + 1);
    r.grow(n);
    geo::Accumulator<int> acc;
    acc.add(r.area());
    acc.add(r.width());
    ++left_calls;
    return geo::largest(acc.sum(), left_calls);
}
