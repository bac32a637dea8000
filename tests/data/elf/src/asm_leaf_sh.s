! asm_leaf_sh.s - hand-written SH leaf routines of the "multi" program.
!
! The SH counterpart of ../../src/multi/asm_leaf.s (H8 code).  Assembled
! with debugging information, it is a compile unit of its own, written in
! assembler (DW_AT_language 0x8001): the assembler describes where its
! code lies, gives it a line table and describes each symbol typed as a
! function (no return type, so no size class); it describes no variables.
! asm_helper is local: a static function of the unit.

	.text
	.align	1
	.global	_asm_add
	.type	_asm_add, @function
_asm_add:
	mov	r4,r0
	rts
	add	r5,r0
	.size	_asm_add, .-_asm_add

	.align	1
	.global	_asm_sub
	.type	_asm_sub, @function
_asm_sub:
	mov	r4,r0
	rts
	sub	r5,r0
	.size	_asm_sub, .-_asm_sub

	.align	1
	.type	asm_helper, @function
asm_helper:
	rts
	shll	r0
	.size	asm_helper, .-asm_helper

	.data
	.align	2
	.type	asm_counter, @object
asm_counter:
	.long	0
	.size	asm_counter, 4

	.global	_asm_io_port
_asm_io_port = 0xffffffd8

	.section	.note.GNU-stack,"",@progbits
