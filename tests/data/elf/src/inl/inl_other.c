/* inl_other.c - second user of the helpers in helpers.h. */
#include "helpers.h"

static int inl_local_twice(int v)
{
    return v * 2;
}

int inl_other(int v)
{
    inl_count_calls();
    return inl_local_twice(inl_clamp(v, -10, 10));
}
