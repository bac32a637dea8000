/* Names that are told apart only after the 32 characters a symbol-file
   line keeps: externals, statics of functions whose names are cut, and
   file statics whose qualified names are cut. */
unsigned long interrupt_controller_priority_level_a;
unsigned long interrupt_controller_priority_level_b;
unsigned short short_name;

int interrupt_controller_priority_level_get(void)
{
    static int calls;
    return (int)interrupt_controller_priority_level_a + ++calls;
}

int interrupt_controller_priority_level_set(int level)
{
    static int calls;
    interrupt_controller_priority_level_b = (unsigned long)level;
    return ++calls;
}

extern int power_management_state_of_peripheral_total(void);

int main(void)
{
    return interrupt_controller_priority_level_get() + interrupt_controller_priority_level_set(2) +
           power_management_state_of_peripheral_total() + short_name;
}

void _start(void)
{
    main();
    for (;;)
        ;
}
