/* uart.c - polled output on the serial port of the example firmware. */
#include "uart.h"

#define SCI_BASE 0xFFE80000u
#define SCSMR  (*(volatile unsigned short *)(SCI_BASE + 0x00))
#define SCBRR  (*(volatile unsigned char *)(SCI_BASE + 0x04))
#define SCSCR  (*(volatile unsigned short *)(SCI_BASE + 0x08))
#define SCFTDR (*(volatile unsigned char *)(SCI_BASE + 0x0C))
#define SCFSR  (*(volatile unsigned short *)(SCI_BASE + 0x10))
#define TDFE   0x0020u /* room in the transmit FIFO */

static const char hex_digits[] = "0123456789ABCDEF";

void uart_init(unsigned char bit_rate)
{
    SCSCR = 0;
    SCSMR = 0;          /* 8 data bits, no parity, 1 stop bit */
    SCBRR = bit_rate;
    SCSCR = 0x0020;     /* transmitter on */
}

void uart_putc(char c)
{
    while ((SCFSR & TDFE) == 0) {
    }
    SCFTDR = (unsigned char)c;
    SCFSR = (unsigned short)(SCFSR & ~TDFE);
}

void uart_puts(const char *s)
{
    while (*s != '\0')
        uart_putc(*s++);
}

void uart_put_hex(unsigned long value)
{
    int shift;

    for (shift = 28; shift >= 0; shift -= 4)
        uart_putc(hex_digits[(value >> shift) & 0xF]);
    uart_putc('\n');
}
