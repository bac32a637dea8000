/* macro_main.c - a unit built with -g3, as firmware projects do to see
 * their configuration macros in the debugger.  It includes board_config.h,
 * which the build writes (make_board_config.py): a few hundred macros whose
 * long, alike bodies fill .debug_str, so that zstd compresses that section
 * well over a thousand times. */
#include "board_config.h"

int macro_ticks;
static unsigned short macro_state;
const char *macro_banner = "board " BOARD_NAME;

static int macro_step(int v)
{
    macro_state = (unsigned short)(macro_state + v);
    return macro_state & BOARD_MASK;
}

int macro_poll(int n)
{
    int sum = 0;
    for (int i = 0; i < n; ++i)
        sum += macro_step(i);
    return sum;
}

int main(void)
{
    macro_ticks = macro_poll(BOARD_POLLS);
    return macro_ticks;
}
