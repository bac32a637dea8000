#!/usr/bin/env bash
# Rebuild the SH ELF/DWARF fixtures in tests/data/elf, record the listings
# of the GNU binutils beside them and derive the expected symbol and line
# files from those listings.
#
# Needs the Debian packages gcc-12-sh4-linux-gnu, g++-12-sh4-linux-gnu
# (compiler and assembler) and binutils-sh-elf (sh-elf-ld, sh-elf-readelf,
# sh-elf-objdump), and python3.
#
#   bash tests/data/elf/build_elf_fixtures.sh
#
# For every fixture NAME the script writes:
#   NAME.elf                   linked ELF executable (e_machine 42, SH)
#   NAME.readelf-info.txt      sh-elf-readelf --debug-dump=info NAME.elf
#   NAME.readelf-ranges.txt    sh-elf-readelf --debug-dump=Ranges NAME.elf, and
#                              for DWARF 5 sh-elf-readelf -x .debug_rnglists NAME.elf
#   NAME.decodedline.txt       sh-elf-objdump --wide --dwarf=decodedline NAME.elf
#   NAME.readelf-syms.txt      sh-elf-readelf --wide -h -S -s NAME.elf
#   NAME.expected.sym          \
#   NAME.expected.lin           > written by derive_expected_elf.py
#   NAME.expected.counts       /
#
# NAME is <program>_<byte order>_<optimisation>_<debug format>: mb is
# big-endian (-mb), ml little-endian (-ml); dw2, dw4 and dw5 are
# -gdwarf-2/-4/-5, and dw5l5 adds -Wa,--gdwarf-5 so that the line tables
# are version 5 as well (GCC 12 leaves them at version 3 otherwise).
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/listings.sh"
. "$HERE/debug_flags.sh"
DATA=$(cd "$HERE/.." && pwd)         # tests/data
CSRC=$DATA/src                       # C sources shared with the COFF fixtures
ESRC=$HERE/src                       # sources of the ELF fixtures only
CC=sh4-linux-gnu-gcc-12
CXX=sh4-linux-gnu-g++-12
AS=sh4-linux-gnu-as
LD=sh-elf-ld
READELF=sh-elf-readelf
OBJDUMP=sh-elf-objdump
LIBGCC=$($CC -print-libgcc-file-name)

for tool in "$CC" "$CXX" "$AS" "$LD" "$READELF" "$OBJDUMP" python3; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "build_elf_fixtures.sh: $tool not found (install gcc-12-sh4-linux-gnu," \
             "g++-12-sh4-linux-gnu and binutils-sh-elf)" >&2
        exit 1
    }
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# The debugging information names every source directory under
# /fixtures instead of this checkout, so that the listings and the
# binaries do not depend on where they were built.
# GCC does not hand its map to the assembler, which writes the directory
# table of a version 5 line table itself.
PREFIX_MAP="-fdebug-prefix-map=$DATA=/fixtures -Wa,--debug-prefix-map,$DATA=/fixtures"
CFLAGS_COMMON="-ffreestanding -Wall $PREFIX_MAP"
CXXFLAGS_EXTRA="-fno-exceptions -fno-rtti"

# The assembler's own option for a hand-written source.
as_dwarf_flag() {
    case "$1" in
        dw2) echo "--gdwarf-2" ;;
        dw4) echo "--gdwarf-4" ;;
        dw5|dw5l5) echo "--gdwarf-5" ;;
    esac
}
as_endian_flag() { [ "$1" = mb ] && echo "-big" || echo "-little"; }
ld_endian_flag() { [ "$1" = mb ] && echo "-EB" || echo "-EL"; }

# cc DIR FILE OUT FLAGS...: compile DIR/FILE from DIR, so that the unit's
# DW_AT_name is FILE as given (relative) and DW_AT_comp_dir is DIR.
cc() {
    local dir=$1 file=$2 out=$3
    shift 3
    (cd "$dir" && $CC "$@" $CFLAGS_COMMON -c "$file" -o "$out")
}

link() {
    local name=$1 endian=$2 entry=$3
    shift 3
    $LD "$(ld_endian_flag "$endian")" -T "$HERE/sh_fixture.ld" -e "$entry" \
        --no-warn-rwx-segments -o "$HERE/$name.elf" "$@"
}

# types: types.c (shared with the COFF fixtures) + scopes.c + memcpy.c.
build_types() {
    local endian=$1 opt=$2 dw=$3 name=types_$1_$2_$3 obj
    obj=$WORK/$name
    mkdir -p "$obj"
    local flags="-$endian -$opt $(dwarf_flags "$dw") -fleading-underscore"
    # GCC leaves hot/cold splitting off for SH; switched on here so that
    # a function comes in two address ranges (checked_sum.cold).
    [ "$opt" = O2 ] && flags="$flags -freorder-blocks-and-partition"
    cc "$CSRC/types" types.c "$obj/types.o" $flags
    # By absolute path: DW_AT_name is then a full path.
    cc "$ESRC" "$ESRC/scopes.c" "$obj/scopes.o" $flags
    # The copy loop must not become a call of memcpy itself.
    cc "$ESRC" newlib/libc/string/memcpy.c "$obj/memcpy.o" $flags \
        -fno-tree-loop-distribute-patterns
    link "$name" "$endian" _main "$obj/types.o" "$obj/scopes.o" "$obj/memcpy.o"
    echo "$name"
}

# multi: the five units of the COFF program, with an SH assembler file
# in place of the H8 one; nodebug.c without -g.
build_multi() {
    local endian=$1 opt=$2 dw=$3 name=multi_$1_$2_$3 obj
    obj=$WORK/$name
    mkdir -p "$obj"
    local flags="-$endian -$opt $(dwarf_flags "$dw") -fleading-underscore"
    cc "$CSRC/multi" multi_main.c "$obj/multi_main.o" $flags
    cc "$CSRC/multi" multi_util.c "$obj/multi_util.o" $flags
    cc "$CSRC/multi" module_with_a_file_name_longer_than_32.c "$obj/module.o" $flags
    cc "$CSRC/multi" nodebug.c "$obj/nodebug.o" "-$endian" "-$opt" -fleading-underscore
    (cd "$ESRC" && $AS "$(as_endian_flag "$endian")" "$(as_dwarf_flag "$dw")" \
        --debug-prefix-map "$DATA=/fixtures" asm_leaf_sh.s -o "$obj/asm_leaf.o")
    link "$name" "$endian" _main "$obj/multi_main.o" "$obj/multi_util.o" \
        "$obj/module.o" "$obj/asm_leaf.o" "$obj/nodebug.o"
    echo "$name"
}

# arith: compiled WITHOUT -fleading-underscore, so that its symbols carry
# no prefix; linked with the compiler's libgcc.a for the division
# routines.  That library is little-endian only (the toolchain targets
# little-endian Linux), hence -ml.
build_arith() {
    local endian=$1 opt=$2 dw=$3 name=arith_$1_$2_$3 obj
    obj=$WORK/$name
    mkdir -p "$obj"
    cc "$CSRC/arith" arith.c "$obj/arith.o" "-$endian" "-$opt" $(dwarf_flags "$dw")
    link "$name" "$endian" main "$obj/arith.o" "$LIBGCC"
    echo "$name"
}

# cxx: one C++ unit.
build_cxx() {
    local endian=$1 opt=$2 dw=$3 name=cxx_$1_$2_$3 obj
    obj=$WORK/$name
    mkdir -p "$obj"
    (cd "$ESRC/cxx" && $CXX "-$endian" "-$opt" $(dwarf_flags "$dw") -fleading-underscore \
        $CFLAGS_COMMON $CXXFLAGS_EXTRA -c cxx_main.cpp -o "$obj/cxx_main.o")
    link "$name" "$endian" _main "$obj/cxx_main.o"
    echo "$name"
}

# Check that NAME.elf is what the tests expect: a 32-bit SH executable of
# the intended byte order with DWARF.
check_fixture() {
    local name=$1 endian=$2 hdr want
    hdr=$($READELF -h "$HERE/$name.elf")
    [ "$endian" = mb ] && want="big endian" || want="little endian"
    for field in "Class: *ELF32" "Data: .*$want" "Type: *EXEC" "Machine: *Renesas / SuperH SH"; do
        grep -q "$field" <<<"$hdr" || { echo "$name: header lacks $field" >&2; exit 1; }
    done
    $READELF -S "$HERE/$name.elf" | grep -q '\.debug_info' ||
        { echo "$name: no .debug_info" >&2; exit 1; }
    printf '%-22s %6s bytes\n' "$name" "$(wc -c < "$HERE/$name.elf" | tr -d ' ')" >&2
}

NAMES=()
NAMES+=("$(build_types mb O0 dw2)")
NAMES+=("$(build_types ml O2 dw4)")
NAMES+=("$(build_types mb O2 dw5l5)")
NAMES+=("$(build_multi mb O2 dw2)")
NAMES+=("$(build_multi ml O0 dw5)")
NAMES+=("$(build_arith ml O0 dw2)")
NAMES+=("$(build_arith ml O2 dw4)")
NAMES+=("$(build_cxx mb O2 dw4)")
NAMES+=("$(build_cxx ml O0 dw5)")

cd "$HERE"
for name in "${NAMES[@]}"; do
    endian=${name#*_}; endian=${endian%%_*}
    check_fixture "$name" "$endian"
    write_listings "$name"
done

python3 "$HERE/derive_expected_elf.py" "${NAMES[@]}"
