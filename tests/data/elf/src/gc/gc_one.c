/* gc_one.c - a unit of which the linker removes exactly one function:
 * its line program then holds one sequence that starts at address 0. */
#include "gc.h"

int gc_one_used(int v)
{
    return v ^ 0x55;
}

int gc_one_dropped(int v)
{
    int r = v;
    r = r * 7 + 3;
    r ^= r >> 3;
    return r + gc_live_counter;
}
