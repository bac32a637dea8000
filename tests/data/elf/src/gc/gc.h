/* gc.h - declarations shared by the units of the gc program. */
#ifndef GC_H
#define GC_H

int gc_scale(int v);
int gc_sum(const int *v, int n);
int gc_pick(int which);
int gc_checked(int v);
int gc_one_used(int v);
int gc_renamed(int v) __asm__("fw_renamed_label");

extern int gc_live_table[4];
extern int gc_live_counter;

#endif
