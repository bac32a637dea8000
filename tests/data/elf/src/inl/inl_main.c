/* inl_main.c - first user of the helpers in helpers.h. */
#include "helpers.h"

int inl_other(int v);
unsigned short inl_word;

int main(void)
{
    int v = inl_clamp(inl_other(5), 0, 100);
    inl_word = inl_swap16((unsigned short)v);
    return inl_count_calls() + v;
}
