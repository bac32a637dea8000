/* types.c - one translation unit with data of every basic C type.
 *
 * Fixture program for the symbol-file / line-file converter.  It is only
 * compiled and linked, never run.  Each definition is here to give the
 * COFF symbol table one particular kind of entry; the comments say which.
 */

struct point {                  /* C_STRTAG / C_MOS / C_EOS entries */
    short x;
    short y;
};

union word_or_bytes {           /* C_UNTAG / C_MOU entries */
    unsigned short word;
    unsigned char bytes[2];
};

enum colour { RED, GREEN = 5, BLUE };   /* C_ENTAG / C_MOE entries */

typedef unsigned long ticks_t;  /* C_TPDEF entry */

/* External variables, initialised (.data) and common (.bss). */
char                g_char = 'c';
signed char         g_schar = -3;
unsigned char       g_uchar = 200;
short               g_short = -1234;
unsigned short      g_ushort = 54321u;
int                 g_int = -7;
unsigned int        g_uint = 7u;
long                g_long = -100000L;
unsigned long       g_ulong = 4000000000UL;
float               g_float = 1.5f;
double              g_double = 2.25;
long double         g_ldouble = 3.5L;
char               *g_str = "text";
int                *g_int_ptr;
char              **g_str_ptr_ptr;
int               (*g_func_ptr)(int);
int                 g_int_array[5] = { 1, 2, 3, 4, 5 };
char                g_char_matrix[2][3];
unsigned long       g_ulong_array[4];
struct point        g_point = { 1, 2 };
struct point        g_points[3];
struct point       *g_point_ptr = &g_point;
union word_or_bytes g_wb;
enum colour         g_colour = GREEN;
ticks_t             g_ticks;

/* Names longer than the 32 characters the symbol file keeps. */
int an_external_variable_whose_name_is_quite_long = 42;
int exactly_31_chars_external_name_;            /* "_" + 31 = 32 */

/* File-scope statics (C_STAT, qualified with the file name). */
static char          s_char = 'x';
static unsigned char s_uchar_buf[8];
static short         s_short = 3;
static int           s_int;
static unsigned int  s_uint = 9u;
static long          s_long = 123456L;
static unsigned long s_ulong;
static float         s_float = 0.5f;
static double        s_double;
static int          *s_int_ptr = &g_int;
static struct point  s_point;
static union word_or_bytes s_wb;
static enum colour   s_colour = BLUE;

/* Static function with static locals.  GCC only describes a function's
 * locals in the debug information when the body has an inner block, so
 * the statics sit inside one. */
static int __attribute__((noinline)) bump_counter(int step)
{
    int result = step;
    {
        static int calls;
        static unsigned long total = 1;
        int scratch = step * 2;

        calls++;
        total += (unsigned long)scratch;
        result = calls;
    }
    return result;
}

/* A static function whose qualified name is longer than 32 characters,
 * holding a static local: the local's qualified name runs past 65
 * characters. */
static char __attribute__((noinline))
static_function_with_a_rather_long_name(char c)
{
    char r = c;
    {
        static char last_seen_character_value;
        char prev = last_seen_character_value;

        last_seen_character_value = c;
        r = (char)(prev ^ c);
    }
    return r;
}

/* External functions returning the various basic types. */
char get_char(void)
{
    return g_char;
}

unsigned char get_uchar(void)
{
    return g_uchar;
}

short get_short(void)
{
    return g_short;
}

unsigned short get_ushort(void)
{
    return g_ushort;
}

unsigned int get_uint(void)
{
    return g_uint + s_uint;
}

long get_long(void)
{
    return g_long + s_long;
}

unsigned long get_ulong(void)
{
    return g_ulong;
}

float get_float(void)
{
    s_double = g_double;
    g_float = s_float;
    return g_float;
}

double get_double(void)
{
    return g_double;
}

char *get_str(void)
{
    return g_str;
}

struct point *get_point(void)
{
    return g_point_ptr;
}

enum colour get_colour(void)
{
    return g_colour;
}

void set_values(int a, long b)
{
    s_int = a;
    s_ulong = (unsigned long)b;
    g_int_ptr = s_int_ptr;
    s_point.x = (short)a;
    s_point.y = (short)(a + 1);
    s_wb.word = (unsigned short)a;
    g_wb.bytes[0] = s_wb.bytes[1];
}

int main(void)
{
    int i;
    int sum = 0;

    for (i = 0; i < 5; i++)
        sum += g_int_array[i];
    set_values(sum, g_long);
    sum += bump_counter(3);
    sum += static_function_with_a_rather_long_name(s_char);
    sum += get_char() + get_uchar() + get_short() + get_ushort();
    sum += (int)get_uint() + (int)get_long() + (int)get_ulong();
    sum += (int)get_str()[0] + get_point()->x + (int)get_colour();
    g_char_matrix[1][2] = (char)sum;
    g_ulong_array[2] = (unsigned long)sum;
    g_points[1] = s_point;
    g_ticks = (ticks_t)s_colour;
    s_uchar_buf[0] = (unsigned char)s_short;
    return sum + an_external_variable_whose_name_is_quite_long
        + exactly_31_chars_external_name_;
}
