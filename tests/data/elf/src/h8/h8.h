/* h8.h - declarations shared by the units of the H8 programs. */
#ifndef H8_H
#define H8_H

extern volatile int h8_ticks;
extern long h8_total;
extern unsigned char h8_buffer[16];

int h8_step(int v);
long h8_accumulate(long v);
void h8_fill(unsigned char value);
int h8_unused_util(int v);
int h8_work_a(int v);

static inline int h8_square(int v)
{
    return v * v;
}

#endif
