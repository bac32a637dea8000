/* Reset entry of the example firmware: set the stack pointer, clear .bss,
   call main and stay in a loop should it return. */
	.section .text.start, "ax"
	.global	_start
	.align	2
_start:
	mov.l	stack_top, r15
	mov.l	bss_start, r0
	mov.l	bss_end, r1
	mov	#0, r2
1:	cmp/hs	r1, r0
	bt	2f
	mov.l	r2, @r0
	bra	1b
	add	#4, r0
2:	mov.l	main_entry, r0
	jsr	@r0
	nop
3:	bra	3b
	nop

	.align	2
stack_top:	.long	__stack
bss_start:	.long	__bss_start
bss_end:	.long	__bss_end
main_entry:	.long	_main

	/* No executable stack: says so to the linker, which otherwise warns. */
	.section .note.GNU-stack, "", @progbits
