/* h8_util.c - helpers of the H8 programs, one of them never called. */
#include "h8.h"

unsigned char h8_buffer[16];
static long h8_history;

int h8_step(int v)
{
    static int last;
    int d = v - last;
    last = v;
    h8_ticks++;
    return d + h8_buffer[0];
}

long h8_accumulate(long v)
{
    h8_history += v;
    h8_total -= h8_history >> 1;
    h8_ticks++;
    return h8_history;
}

void h8_fill(unsigned char value)
{
    int i;
    for (i = 0; i < 16; i++)
        h8_buffer[i] = (unsigned char)(value + i);
    h8_ticks++;
}

int h8_unused_util(int v)
{
    return v * 3 + h8_buffer[2];
}
