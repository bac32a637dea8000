/* lto_util.c - helpers of the lto program: a file-scope static and a
 * function-scope static that survive link-time optimisation. */
static int lto_util_scale = 3;

int __attribute__((noinline)) lto_filter(int v)
{
    lto_util_scale ^= v;
    return v * lto_util_scale;
}

int __attribute__((noinline)) lto_history(int v)
{
    static int previous;
    int before = previous;
    previous = v;
    return before + v;
}
