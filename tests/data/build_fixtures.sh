#!/usr/bin/env bash
# Rebuild the COFF test fixtures in tests/data from the sources in
# tests/data/src, record the reference listings of h8300-hms-objdump next
# to them and derive the expected symbol and line files.
#
# Needs the Debian packages gcc-h8300-hms and binutils-h8300-hms
# (h8300-hms-gcc 3.4.6, h8300-hms-as/ld/objdump 2.16.1) and python3.
#
#   bash tests/data/build_fixtures.sh
#
# For every fixture NAME the script writes:
#   NAME.coff              linked big-endian COFF executable (-g)
#   NAME.objdump-x.txt     h8300-hms-objdump -x NAME.coff
#   NAME.objdump-t.txt     h8300-hms-objdump -t NAME.coff
#   NAME.expected.sym      \
#   NAME.expected.lin       > written by derive_expected.py from the listings
#   NAME.expected.counts   /
#
# NAME is <program>_<mode>_<optimisation>; mode 300 is the plain H8/300
# (no flag), h is H8/300H (-mh), s is H8S (-ms).
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
SRC=$HERE/src
CC=h8300-hms-gcc
AS=h8300-hms-as
OBJDUMP=h8300-hms-objdump

for tool in "$CC" "$AS" "$OBJDUMP" python3; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "build_fixtures.sh: $tool not found (install gcc-h8300-hms and binutils-h8300-hms)" >&2
        exit 1
    }
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# Flags common to every C compilation.  -fno-working-directory keeps the
# build directory out of the debugging information, so the fixtures do
# not depend on where they were built.
CFLAGS_COMMON="-g -fno-working-directory -Wall"
# Linked executables without start-up files or C library; _main is the
# entry point.  The toolchain's default linker script is used as it is.
LDFLAGS_COMMON="-nostdlib -Wl,-e,_main"

mode_flag() {
    case "$1" in
        300) echo "" ;;
        h)   echo "-mh" ;;
        s)   echo "-ms" ;;
        *)   echo "unknown mode $1" >&2; exit 1 ;;
    esac
}

# The hand-written assembler source carries no CPU directive (so that it
# keeps the assembler's "fake" source-file entry and assembles for every
# mode); this file, assembled in front of it, selects the CPU.
cpu_directive_file() {
    local f=$WORK/cpu_$1.s
    case "$1" in
        300) : > "$f" ;;
        h)   printf '\t.h8300h\n' > "$f" ;;
        s)   printf '\t.h8300s\n' > "$f" ;;
    esac
    echo "$f"
}

# build_types MODE OPT
build_types() {
    local mode=$1 opt=$2 name=types_$1_$2 mflag
    mflag=$(mode_flag "$mode")
    local obj=$WORK/$name
    mkdir -p "$obj"
    (cd "$SRC/types" && $CC $mflag -"$opt" $CFLAGS_COMMON -c types.c -o "$obj/types.o")
    $CC $mflag $LDFLAGS_COMMON -o "$HERE/$name.coff" "$obj/types.o"
    echo "$name"
}

# build_multi MODE OPT
build_multi() {
    local mode=$1 opt=$2 name=multi_$1_$2 mflag
    mflag=$(mode_flag "$mode")
    local obj=$WORK/$name
    mkdir -p "$obj"
    (
        cd "$SRC/multi"
        $CC $mflag -"$opt" $CFLAGS_COMMON -c multi_main.c -o "$obj/multi_main.o"
        $CC $mflag -"$opt" $CFLAGS_COMMON -c multi_util.c -o "$obj/multi_util.o"
        $CC $mflag -"$opt" $CFLAGS_COMMON -c module_with_a_file_name_longer_than_32.c \
            -o "$obj/module.o"
        # nodebug.c deliberately without -g.
        $CC $mflag -"$opt" -fno-working-directory -Wall -c nodebug.c -o "$obj/nodebug.o"
    )
    $AS -o "$obj/asm_leaf.o" "$(cpu_directive_file "$mode")" "$SRC/multi/asm_leaf.s"
    $CC $mflag $LDFLAGS_COMMON -o "$HERE/$name.coff" \
        "$obj/multi_main.o" "$obj/multi_util.o" "$obj/module.o" \
        "$obj/asm_leaf.o" "$obj/nodebug.o"
    echo "$name"
}

# build_arith OPT  (H8/300 only: the only libgcc.a shipped is for H8/300)
build_arith() {
    local opt=$1 name=arith_300_$1
    local obj=$WORK/$name
    mkdir -p "$obj"
    (
        cd "$SRC/arith"
        $CC -"$opt" $CFLAGS_COMMON -c arith.c -o "$obj/arith.o"
        # Compiled from this directory so that the preprocessor's line
        # markers, and with them the source-file entries, carry the
        # relative path newlib/libc/machine/h8300/memcpy.S.
        $CC $CFLAGS_COMMON -c newlib/libc/machine/h8300/memcpy.S -o "$obj/memcpy.o"
    )
    $CC $LDFLAGS_COMMON -o "$HERE/$name.coff" "$obj/arith.o" "$obj/memcpy.o" -lgcc
    echo "$name"
}

# Check that NAME.coff is what the tests expect: an H8 COFF executable
# with the 28-byte a.out optional header and line numbers.
check_fixture() {
    local name=$1 f=$HERE/$1.coff magic opthdr hdr
    magic=$(od -An -tx1 -j0 -N2 "$f" | tr -d ' \n')
    opthdr=$(od -An -tx1 -j16 -N2 "$f" | tr -d ' \n')
    case "$magic" in
        8300|8301|8302) ;;
        *) echo "$name: unexpected f_magic 0x$magic" >&2; exit 1 ;;
    esac
    if [ "$opthdr" != "001c" ]; then
        echo "$name: f_opthdr is 0x$opthdr, not 28" >&2; exit 1
    fi
    hdr=$($OBJDUMP -f "$f" | sed -n '/^architecture:/,/^start address/p' | tr '\n' ' ')
    case "$hdr" in
        *EXEC_P*HAS_LINENO*) ;;
        *) echo "$name: not a linked executable with line numbers: $hdr" >&2; exit 1 ;;
    esac
    printf '%-16s f_magic=0x%s f_opthdr=0x%s %s bytes\n' \
        "$name" "$magic" "$opthdr" "$(wc -c < "$f" | tr -d ' ')"
}

NAMES=()
NAMES+=("$(build_types 300 O0)")
NAMES+=("$(build_types h O2)")
NAMES+=("$(build_types s O0)")
NAMES+=("$(build_multi 300 O2)")
NAMES+=("$(build_multi h O0)")
NAMES+=("$(build_multi s O2)")
NAMES+=("$(build_arith O0)")
NAMES+=("$(build_arith O2)")

cd "$HERE"
for name in "${NAMES[@]}"; do
    check_fixture "$name"
    # Run from this directory with a relative file name so the listings
    # do not contain the build path.
    $OBJDUMP -x "$name.coff" > "$name.objdump-x.txt"
    $OBJDUMP -t "$name.coff" > "$name.objdump-t.txt"
done

python3 "$HERE/derive_expected.py" "${NAMES[@]}"

# A relocatable object (no a.out header, f_opthdr 0): the converter must
# refuse it rather than decode it at the positions of an executable.
(cd "$SRC" && $CC -mh $CFLAGS_COMMON -c object_h.c -o "$HERE/object_h.obj")
