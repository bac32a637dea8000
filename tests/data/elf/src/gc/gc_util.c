/* gc_util.c - helpers of the gc program, half of them never called. */
#include "gc.h"

int gc_live_table[4] = { 1, 2, 3, 4 };
int gc_util_unused_table[8] = { 1, 1, 2, 3, 5, 8, 13, 21 };
int gc_util_unused_bss[2];
static int gc_util_unused_static = 5;
static int gc_util_live_static = 3;
volatile int gc_fault_code;

/* Called only on unlikely paths: with hot/cold splitting on, the paths
 * that call it go to a .text.unlikely part of their function. */
void __attribute__((noinline, cold)) gc_report(int code)
{
    gc_fault_code = code;
}

int gc_scale(int v)
{
    gc_util_live_static += v;
    return v * gc_util_live_static + 1;
}

int gc_sum(const int *v, int n)
{
    int s = 0;
    int i;
    for (i = 0; i < n; i++)
        s += v[i];
    return s;
}

int gc_pick(int which)
{
    switch (which) {
    case 0: return gc_live_table[3];
    case 1: return gc_live_table[2];
    default: return which;
    }
}

/* The unlikely branch goes to a part of its own where hot/cold
 * splitting is on. */
int gc_checked(int v)
{
    if (__builtin_expect(v < -1000, 0)) {
        int k;
        for (k = 0; k < 4; k++)
            v = v * 3 + gc_live_table[k];
        gc_report(v);
        gc_report(k);
        return -v;
    }
    return v + 1;
}

int gc_util_unused_checked(int v)
{
    if (__builtin_expect(v > 5000, 0)) {
        int k;
        for (k = 0; k < 4; k++)
            v = v * 5 + gc_util_unused_table[k];
        gc_report(v);
        gc_report(k);
        return -v;
    }
    return v - gc_util_unused_static;
}

int gc_util_unused_mean(const int *v, int n)
{
    static int last_mean;
    last_mean = gc_sum(v, n) >> 2;
    return last_mean + gc_util_unused_bss[1];
}

int gc_util_unused_twice(int v)
{
    return v + v;
}
