/* File statics whose names are longer than 32 characters, and an
   external that shares its first 32 characters with two in cut_main.c. */
static int power_management_state_of_peripheral_uart;
static int power_management_state_of_peripheral_spi;

unsigned long interrupt_controller_priority_level_c;

int power_management_state_of_peripheral_total(void)
{
    interrupt_controller_priority_level_c++;
    return ++power_management_state_of_peripheral_uart + ++power_management_state_of_peripheral_spi;
}
