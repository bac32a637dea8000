/* Identical-code folding at -O2 (-fipa-icf): get_isr has the body of get,
   count_isr that of count and twice (a static) that of get, so the
   compiler emits each of them as a copy that jumps to the other, with an
   ELF symbol and line rows of its own, and leaves its DIE abstract (no
   address). */
volatile unsigned long tick;
static unsigned short hits;

unsigned long get(void) { return tick; }
unsigned long get_isr(void) { return tick; }

unsigned short count(void) { return ++hits; }
unsigned short count_isr(void) { return ++hits; }

static unsigned long twice(void) { return tick; }
unsigned long (*const main_hooks[])(void) = { twice, get_isr };

extern long scale(long);

int main(void) { return (int)(get() + get_isr() + count() + count_isr() + scale(3)); }

void _start(void)
{
    main();
    for (;;)
        ;
}
