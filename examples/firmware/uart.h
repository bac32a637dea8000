/* uart.h - polled output on the serial port of the example firmware. */
#ifndef UART_H
#define UART_H

void uart_init(unsigned char bit_rate);
void uart_putc(char c);
void uart_puts(const char *s);
void uart_put_hex(unsigned long value);

#endif
