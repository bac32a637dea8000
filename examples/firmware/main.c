/* main.c - the example firmware: counts passes of its main loop and
 * reports every REPORT_EVERY-th on the serial port. */
#include "uart.h"

unsigned short report_every = 1000;
static unsigned long passes;

static void count_pass(void)
{
    passes++;
}

/* Called from nowhere: the link with --gc-sections drops it. */
void self_test(void)
{
    uart_puts("self test\n");
}

int main(void)
{
    unsigned short until_report = report_every;

    uart_init(12);
    uart_puts("firmware up\n");
    for (;;) {
        count_pass();
        if (--until_report == 0) {
            uart_put_hex(passes);
            until_report = report_every;
        }
    }
}
