/* multi_util.c - helpers of the "multi" program with unusual names.
 *
 * The last function uses #line to reach line numbers of six digits, as
 * generated sources (parsers, state machines) do.
 */
#include "multi.h"

/* Assembler name without the usual leading underscore. */
int renamed_entry(int v)
{
    int r = v + 1;
    {
        static int inner_count;

        inner_count += r;
        r = inner_count;
    }
    return r;
}

/* C name with two leading underscores: its symbol has three. */
int __twice(int v)
{
    int r = v;
    {
        static char twice_flag;

        twice_flag = (char)r;
        r = r + r + twice_flag;
    }
    shared_counter++;
    return r;
}

static unsigned char __attribute__((noinline)) util_kind(int v)
{
    unsigned char k = (unsigned char)v;
    {
        static unsigned char last_kind;

        if (k == last_kind)
            k++;
        last_kind = k;
    }
    return k;
}

int big_line_numbers(int v)
{
    int r = v;

    record_table[0].kind = util_kind(v);
#line 123456
    r += 3;
    record_table[0].value = (short)r;
    return r;
}
