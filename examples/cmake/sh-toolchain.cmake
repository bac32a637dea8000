# Cross-compiling the example firmware: GCC for SH compiles and assembles,
# sh-elf-ld links on its own (the compiler driver would add the start files
# and libraries of an SH Linux program).
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR sh)
set(CMAKE_C_COMPILER sh4-linux-gnu-gcc-12)
set(CMAKE_ASM_COMPILER sh4-linux-gnu-gcc-12)
set(CMAKE_C_LINK_EXECUTABLE "sh-elf-ld <LINK_FLAGS> <OBJECTS> -o <TARGET> <LINK_LIBRARIES>")
# The compiler checks build a library, since nothing links without the
# firmware's linker script.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
