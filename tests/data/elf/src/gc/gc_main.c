/* gc_main.c - the main unit of the gc program.
 *
 * Built with -ffunction-sections -fdata-sections and linked with
 * --gc-sections: every function and variable goes to a section of its
 * own, and those nothing refers to are removed by the linker while their
 * DWARF stays behind with address 0.  This unit has several of each,
 * among them a static inside a removed function and a function renamed
 * with an assembler label. */
#include "gc.h"

int gc_live_counter;
int gc_main_unused_data[3] = { 7, 8, 9 };
int gc_main_unused_bss;
const char gc_main_unused_text[] = "never referenced";

int gc_main_unused_a(int v)
{
    static int calls;
    calls += v;
    return calls;
}

int gc_main_unused_b(int v)
{
    return gc_scale(v) + gc_main_unused_data[1];
}

/* Renamed: its symbol is fw_renamed_label, without the prefix. */
int gc_renamed(int v)
{
    static int renamed_hits;
    renamed_hits++;
    return v + renamed_hits;
}

int main(void)
{
    static int rounds;
    int total = 0;
    for (rounds = 0; rounds < 3; rounds++) {
        total += gc_scale(rounds);
        total += gc_pick(rounds);
        total += gc_checked(total);
    }
    total += gc_sum(gc_live_table, 4);
    total += gc_one_used(total);
    gc_live_counter = gc_renamed(total);
    return 0;
}
