/* memcpy.S - byte-wise memcpy for the H8/300, used by libgcc's
   floating-point addition.

   The file sits under newlib/libc/machine/h8300/ like the assembler
   sources of the C library: the symbol file treats source files whose
   name contains "newlib/lib" as library files (no line-file marker).
   Being preprocessed, it also shows how the assembler turns the line
   markers of the preprocessor into extra source-file entries.

   void *memcpy(void *dst, const void *src, size_t n);
   dst in r0 (also the result), src in r1, n in r2.  */

	.section .text
	.align 1
	.def	_memcpy
	.val	_memcpy
	.scl	2
	.type	041
	.endef
	.global	_memcpy
_memcpy:
	.def	.bf
	.val	.
	.scl	101
	.line	26
	.endef
	mov.w	r4,@-r7
	mov.w	r0,r3
	mov.w	r2,r2
	beq	.Ldone
.Lloop:
	mov.b	@r1+,r4l
	mov.b	r4l,@r3
	adds	#1,r3
	subs	#1,r2
	mov.w	r2,r2
	bne	.Lloop
.Ldone:
	mov.w	@r7+,r4
	rts
	.def	.ef
	.val	.
	.scl	101
	.line	15
	.endef
	.def	_memcpy
	.val	.
	.scl	-1
	.endef

	.section .bss
	.align 1
memcpy_scratch:
	.space	2
	.def	_memcpy_scratch
	.val	memcpy_scratch
	.scl	3
	.type	04
	.endef
