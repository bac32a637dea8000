/* arith.c - arithmetic that the H8/300 cannot do inline.
 *
 * Fixture program for the symbol-file / line-file converter; it is only
 * compiled and linked, never run.  GCC turns the operations below into
 * calls of libgcc routines (32-bit division and modulo, 16-bit
 * multiplication and the single-precision floating-point emulation), so
 * the linked file also carries libgcc's own symbols and line numbers.
 * The floating-point addition in libgcc copies structures with memcpy,
 * which this program brings in newlib/libc/machine/h8300/memcpy.S.
 *
 * 32-bit multiplication and 16-bit division are avoided on purpose: see
 * the README about the libgcc.a shipped with the toolchain.
 */

long          l_num = 1000000L;
long          l_den = 37L;
unsigned long ul_num = 3000000000UL;
unsigned long ul_den = 7UL;
int           i_a = 123;
int           i_b = -45;
float         f_x = 1.25f;
float         f_y = -0.5f;
double        d_z = 10.0;

long          l_quot;
long          l_rem;
unsigned long ul_quot;
unsigned long ul_rem;
int           i_prod;
float         f_sum;
float         f_prod;
long          l_from_float;

static float  scale_factor = 0.125f;
static long   call_count;

static float __attribute__((noinline)) scaled(float v)
{
    float r = v;
    {
        static float last_input;

        last_input = v;
        r = last_input * scale_factor;
    }
    return r;
}

long divide_longs(long a, long b)
{
    l_rem = a % b;
    return a / b;
}

unsigned long divide_ulongs(unsigned long a, unsigned long b)
{
    ul_rem = a % b;
    return a / b;
}

int multiply_ints(int a, int b)
{
    return a * b;
}

float float_ops(float x, float y)
{
    f_sum = x + y;
    f_prod = x * y;
    return scaled(f_sum - f_prod);
}

int main(void)
{
    call_count++;
    l_quot = divide_longs(l_num, l_den);
    ul_quot = divide_ulongs(ul_num, ul_den);
    i_prod = multiply_ints(i_a, i_b);
    d_z = float_ops(f_x, f_y) + (float)i_prod;
    l_from_float = (long)d_z;
    return (int)(l_quot + (long)ul_quot + l_from_float + call_count);
}
