// shapes.h - classes and templates defined in a header and used by every
// unit of the cxxm program.
//
// Their inline members, the template's members and the template's static
// data member are emitted (and described in the DWARF) in every unit that
// uses them; the linker keeps one copy of the code and data.
#ifndef SHAPES_H
#define SHAPES_H

namespace geo {

struct Point {
    int x;
    int y;
};

class Rect {
public:
    Rect(int w, int h) : w_(w), h_(h) {}
    int area() const { return w_ * h_; }
    int width() const { return w_; }
    // Kept out of line at -O2 too: a COMDAT function that every unit
    // describes, whose code the linker keeps once.
    __attribute__((noinline)) void grow(int by)
    {
        w_ += by;
        h_ += by;
        ++grown;
    }
    int perimeter() const;
    static int grown;

private:
    int w_;
    int h_;
};

template <typename T>
class Accumulator {
public:
    void add(T v)
    {
        sum_ += v;
        ++count_;
        total += v;
    }
    T sum() const { return sum_; }
    int count() const { return count_; }
    static T total;

private:
    T sum_ = T();
    int count_ = 0;
};

template <typename T>
T Accumulator<T>::total;

template <typename T>
T largest(T a, T b)
{
    return a < b ? b : a;
}

}  // namespace geo

int shapes_left(int n);
int shapes_right(int n);

#endif
