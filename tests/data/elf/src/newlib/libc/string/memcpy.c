/* memcpy.c - the byte copy GCC calls for structure assignments.
 *
 * The fixture programs link no C library; this stands in for the one a
 * real program would take from newlib.  Kept under newlib/libc/ so that
 * the unit's name holds "newlib/lib": its function still goes to the
 * symbol file, but the unit writes no line-file marker and no records.
 */
#include <stddef.h>

void *memcpy(void *dest, const void *src, size_t n)
{
    unsigned char *d = dest;
    const unsigned char *s = src;

    while (n-- != 0)
        *d++ = *s++;
    return dest;
}
