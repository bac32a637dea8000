/* gc_boot.c - the reset entry of the gc program built with its code at
 * address 0: the linker script puts this function first, at 0, where
 * the removed functions' DWARF also points. */
int main(void);

void gc_reset_entry(void)
{
    main();
    for (;;)
        ;
}

void gc_boot_unused(void)
{
    gc_reset_entry();
}
