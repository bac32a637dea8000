/* helpers.h - static inline helpers used by both units of the inl
 * program.  At -O0 nothing is inlined: each unit gets its own copy of
 * every helper it calls, described with DW_AT_decl_file naming this
 * header, and the copies' rows in the line table name this file. */
#ifndef HELPERS_H
#define HELPERS_H

static inline int inl_clamp(int v, int lo, int hi)
{
    if (v < lo)
        return lo;
    if (v > hi)
        return hi;
    return v;
}

static inline int inl_count_calls(void)
{
    static int calls;
    return ++calls;
}

static inline unsigned short inl_swap16(unsigned short v)
{
    return (unsigned short)((v << 8) | (v >> 8));
}

#endif
