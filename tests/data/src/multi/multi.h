/* multi.h - declarations shared by the files of the "multi" program. */
#ifndef MULTI_H
#define MULTI_H

struct record {
    unsigned char kind;
    short value;
    long stamp;
};

extern int shared_counter;
extern struct record record_table[4];

int __twice(int v);
int renamed_entry(int v) __asm__("plain_label");
int big_line_numbers(int v);
long module_total(int n);
int asm_add(int a, int b);
int asm_sub(int a, int b);
int nodebug_scale(int v);

#endif
