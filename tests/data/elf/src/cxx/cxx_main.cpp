// cxx_main.cpp - the C++ program of the ELF fixtures.
//
// Fixture source for the symbol-file / line-file converter; it is only
// compiled and linked, never run (built with -fno-exceptions -fno-rtti and
// no C++ library).  Mangled names come from DW_AT_linkage_name; a class's
// static data member is defined outside the class, so its defining DIE
// refers to the declaration in the class through DW_AT_specification.

namespace app {

class Counter {
public:
    explicit Counter(int start) : value_(start) {}
    int bump(int step);
    int value() const { return value_; }
    static long instances;

private:
    int value_;
};

long Counter::instances = 0;

int Counter::bump(int step)
{
    value_ += step;
    ++instances;
    return value_;
}

unsigned short limit = 500;

}  // namespace app

namespace {

// A function-scope static with a constant initialiser needs no guard.
int next_ticket()
{
    static int tickets = 100;
    return ++tickets;
}

}  // namespace

static double __attribute__((noinline)) average(const app::Counter& c, int n)
{
    static double last_average;
    last_average = static_cast<double>(c.value()) / n;
    return last_average;
}

char status_char = 'k';

int main()
{
    app::Counter counter(3);
    counter.bump(4);
    counter.bump(next_ticket());
    double a = average(counter, 2);
    return static_cast<int>(a) + static_cast<int>(app::Counter::instances) + app::limit +
           status_char;
}
