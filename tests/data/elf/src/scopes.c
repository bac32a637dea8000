/* scopes.c - linked into the "types" program of the ELF fixtures.
 *
 * Fixture source for the symbol-file / line-file converter; it is only
 * compiled and linked, never run.  It adds what types.c (written for the
 * H8 COFF fixtures) lacks: the C99 types, qualifiers, statics at several
 * depths of lexical blocks, a function inlined away at -O2 that holds a
 * static, functions GCC clones at -O2, a function it splits into a hot
 * and a cold part (with -freorder-blocks-and-partition, which GCC leaves
 * off for SH) and code inlined from a header in another directory.
 */
#include "include/scopes_inline.h"

/* External variables of the types types.c does not have. */
long long               s64_value = -5000000000LL;
unsigned long long      u64_value = 10000000000ULL;
_Bool                   flag_value = 1;
const int               const_int = 17;
volatile short          volatile_short;
const volatile unsigned char status_register;
const char             *const_text = "const";
char *const             fixed_text_ptr = 0;
long long             **ll_ptr_ptr;
_Complex float          complex_value;
long double             ldouble_array[2];
void                   *opaque_ptr;
void                  (*callback)(void);
_Bool                   flags[3];

typedef volatile long long ticks64_t;
typedef const ticks64_t    const_ticks64_t;
const_ticks64_t            boot_ticks = 99;

/* File-scope statics of the same types. */
static long long        s_sum64;
static _Bool            s_ready = 1;
static const double     s_half = 0.5;
static volatile float   s_gain = 2.0f;

/* Statics at three depths of nested blocks.  noinline keeps the function
 * out of its callers so that its statics belong to it alone. */
int __attribute__((noinline)) nested_blocks(int n)
{
    int r = n;
    {
        static int depth1;
        depth1 += n;
        {
            static short depth2;
            depth2 = (short)(depth2 + depth1);
            {
                static long long depth3;
                depth3 += depth2;
                r += (int)depth3;
            }
        }
    }
    return r;
}

/* Inlined into every caller at -O2: no code of its own remains, yet its
 * static is still in memory and qualified with its name. */
static inline int next_sequence(void)
{
    static unsigned short sequence;
    return ++sequence;
}

/* Called with the same constant from several places: at -O2 GCC clones
 * it with the constant propagated (weigh.constprop.0). */
static int __attribute__((noinline)) weigh(int value, int factor)
{
    static int weighings;
    weighings++;
    return value * factor + weighings;
}

struct sample {
    int value;
    int unused[6];
};

/* Reads one field of the structure it is given: at -O2 GCC passes that
 * field alone (measure.isra.0). */
static int __attribute__((noinline)) measure(const struct sample *s)
{
    return s->value * 3 + 1;
}

/* A call on an unlikely path to a cold function: at -O2 GCC may move the
 * path out of line (report.cold). */
void __attribute__((noinline, cold)) report_failure(int code)
{
    volatile_short = (short)code;
}

int __attribute__((noinline)) checked_sum(int a, int b)
{
    int sum = a + b;
    if (__builtin_expect(sum < 0, 0)) {
        report_failure(sum);
        report_failure(a);
        sum = -sum;
    }
    return sum;
}

int scopes_entry(int n)
{
    struct sample s = { n, { 0 } };
    int r = nested_blocks(n);
    r += next_sequence();
    r += next_sequence();
    r += weigh(r, 7);
    r += weigh(n, 7);
    r += measure(&s);
    r += checked_sum(r, n);
    s_sum64 += s64_value + (long long)u64_value + (long long)boot_ticks;
    if (s_ready && flag_value)
        r += (int)(s_half * s_gain) + const_int + status_register;
    return clamp_to_byte(r);
}
