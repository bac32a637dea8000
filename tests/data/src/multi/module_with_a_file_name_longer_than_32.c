/* module_with_a_file_name_longer_than_32.c
 *
 * The symbol file keeps at most 32 characters of a source-file name, and
 * statics outside any function are qualified with that shortened name.
 */
#include "multi.h"

static long module_sum;
static unsigned long module_calls = 0;
static struct record module_last;

/* Static function with a long name: its qualified name is
 * "_name@file" with both parts cut to 32 characters. */
static long __attribute__((noinline))
module_static_function_with_long_name(int n)
{
    long total = n;
    {
        static long running_total_inside_static_function;

        running_total_inside_static_function += total;
        total = running_total_inside_static_function;
    }
    return total;
}

long module_total(int n)
{
    module_calls++;
    module_sum += module_static_function_with_long_name(n);
    module_last.kind = record_table[2].kind;
    module_last.value = record_table[2].value;
    return module_sum + (long)module_last.kind;
}
