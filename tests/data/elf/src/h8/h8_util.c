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

/* h8_work_b is defined before h8_work_a, so its DIE comes after it (GCC
 * writes a unit's functions last-defined first), while ordered by name
 * (relaxsort) its code follows h8_work_a's: once relaxation has shrunk
 * h8_work_a, the length the compiler wrote for it runs into h8_work_b. */
int h8_work_b(int v)
{
    h8_ticks += v;
    return h8_buffer[1] + v;
}

int h8_work_a(int v)
{
    h8_total += v;
    h8_ticks += h8_step(v);
    h8_buffer[3] = (unsigned char)h8_ticks;
    h8_total += h8_accumulate(h8_total);
    h8_buffer[4] = (unsigned char)h8_total;
    h8_fill((unsigned char)v);
    h8_ticks += h8_buffer[5];
    return h8_work_b(h8_ticks);
}
