/* scopes_inline.h - a helper inlined into scopes.c from a header in
 * another directory: at -O2 its rows in the line table name this file,
 * not the unit's own source, and belong in no line record. */
#ifndef SCOPES_INLINE_H
#define SCOPES_INLINE_H

static inline int clamp_to_byte(int v)
{
    if (v < 0)
        return 0;
    if (v > 255)
        return 255;
    return v;
}

#endif
