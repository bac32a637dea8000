/* h8_main.c - main unit of the H8 programs.
 *
 * Calls and global accesses throughout, so that with -mrelax the linker
 * turns absolute 24/32-bit operands into 16- or 8-bit ones and every
 * function shrinks after the compiler wrote its length. */
#include "h8.h"

volatile int h8_ticks;
long h8_total;
int h8_main_unused_data = 42;

int h8_main_unused(int v)
{
    return h8_step(v) + h8_main_unused_data;
}

int main(void)
{
    static int passes;
    int i;
    for (i = 0; i < 8; i++) {
        h8_ticks++;
        passes++;
        h8_total += h8_accumulate(h8_step(i));
        h8_fill((unsigned char)i);
        h8_total += h8_buffer[i];
        h8_total += h8_square(passes);
    }
    h8_ticks += passes + h8_work_a(passes);
    return (int)h8_total;
}
