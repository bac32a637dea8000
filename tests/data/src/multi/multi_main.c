/* multi_main.c - entry point of the "multi" program.
 *
 * Fixture program for the symbol-file / line-file converter; it is only
 * compiled and linked, never run.
 */
#include "multi.h"

int shared_counter;
struct record record_table[4];
unsigned short main_flags = 0x8001u;

static long main_accumulator;
static const char main_banner[] = "multi";

static void __attribute__((noinline)) accumulate(long amount)
{
    long before = main_accumulator;
    {
        static unsigned int accumulate_calls;

        accumulate_calls++;
        main_accumulator = before + amount + (long)accumulate_calls;
    }
}

int main(void)
{
    int v = main_banner[0];

    v = __twice(v);
    v += renamed_entry(v);
    v += big_line_numbers(v);
    accumulate(module_total(v));
    v = asm_add(v, 3);
    v = asm_sub(v, 1);
    v += nodebug_scale(v);
    record_table[1].value = (short)v;
    shared_counter += (int)main_flags;
    return (int)main_accumulator;
}
