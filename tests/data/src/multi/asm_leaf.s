; asm_leaf.s - hand-written leaf routines of the "multi" program.
;
; There is no .file directive, so the assembler names the source "fake".
; The routines use registers only, so the same text assembles for the
; H8/300, H8/300H and H8S (the build script puts the CPU directive in
; front of it).
;
; _asm_add is described like a compiled function (.bf/.ef) but has no
; .ln directives: the line-number table holds only its entry 0.
; _asm_sub has a typed function symbol but no .bf/.ef.
; _asm_counter is a typed static outside any function.
; _asm_io_port is a typed external with an absolute value (section
; number -1): an I/O register address, as board support code defines them.

	.section .text
	.align 1
	.def	_asm_add
	.val	_asm_add
	.scl	2
	.type	044
	.endef
	.global	_asm_add
_asm_add:
	.def	.bf
	.val	.
	.scl	101
	.line	21
	.endef
	add.w	r1,r0
	rts
	.def	.ef
	.val	.
	.scl	101
	.line	3
	.endef
	.def	_asm_add
	.val	.
	.scl	-1
	.endef

	.def	_asm_sub
	.val	_asm_sub
	.scl	2
	.type	044
	.endef
	.global	_asm_sub
_asm_sub:
	sub.w	r1,r0
	rts

	.section .data
	.align 1
asm_counter:
	.word	0
	.def	_asm_counter
	.val	asm_counter
	.scl	3
	.type	04
	.endef

	.global	_asm_io_port
_asm_io_port = 0xffd8
	.def	_asm_io_port
	.val	_asm_io_port
	.scl	2
	.type	014
	.endef
