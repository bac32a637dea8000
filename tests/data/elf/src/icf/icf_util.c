/* A second unit with a folded external and a folded static named like
   the static of icf_main.c: two DIEs named twice, told apart by the line
   table that holds the rows of each copy. */
static long factor = 3;

long scale(long v) { return v * factor + 1; }
long scale_isr(long v) { return v * factor + 1; }
static long twice(long v) { return v * factor + 1; }

long (*const util_hooks[])(long) = { scale_isr, twice };

void set_factor(long f) { factor = f; }
