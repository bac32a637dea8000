#include "meter.h"

namespace fw {
volatile unsigned long hardware_clock;
// Two objects constructed at start-up, from the one static constructor
// function of this unit.
Meter boot_meter(3);
Meter idle_meter(hardware_clock + 1);
}  // namespace fw

unsigned long report(unsigned long);

int main() { return static_cast<int>(report(fw::boot_meter.elapsed()) + fw::idle_meter.elapsed()); }

extern "C" void _start()
{
    main();
    for (;;)
        ;
}
