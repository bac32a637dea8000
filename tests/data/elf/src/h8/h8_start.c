/* h8_start.c - start-up of the H8 programs: the entry the linker script
 * names, which clears a counter and calls main. */
int main(void);
extern volatile int h8_ticks;

void _start(void)
{
    h8_ticks = 0;
    main();
    for (;;)
        ;
}
