// cxxm_main.cpp - main unit of the multi-unit C++ program (cxxm).
#include "shapes.h"

namespace geo {
int Rect::grown = 0;

int Rect::perimeter() const
{
    return 2 * (w_ + h_);
}
}  // namespace geo

geo::Point origin = { 0, 0 };

int main()
{
    geo::Rect r(3, 4);
    r.grow(1);
    geo::Accumulator<int> acc;
    acc.add(r.area());
    acc.add(r.perimeter());
    origin.x = geo::largest(acc.sum(), shapes_left(2));
    origin.y = geo::largest(acc.count(), shapes_right(3));
    return geo::Accumulator<int>::total > 0 ? 0 : 1;
}
