#!/usr/bin/env bash
# Build the ELF fixtures made the way firmware projects build: sections
# per function and per variable with --gc-sections, code at address 0,
# multi-unit C++ with header classes and templates, static inline header
# helpers, link-time optimisation, compressed debug sections, type units,
# split DWARF (refused) and H8 programs with linker relaxation, normal
# mode and --gc-sections.  Records the binutils listings beside each and
# derives the expected symbol and line files from those listings.
#
# The nine fixtures of build_elf_fixtures.sh are not touched.
#
# Needs the Debian packages gcc-12-sh4-linux-gnu, g++-12-sh4-linux-gnu and
# binutils-sh-elf, python3, and for the h8_* fixtures the h8300-elf
# toolchain in /opt/h8300-elf (../shared/tools/h8300-elf/install.sh).
#
#   bash tests/data/elf/build_firmware_fixtures.sh
#
# For every fixture NAME it writes NAME.elf and the listings of
# listings.sh (write_listings), then the expected files
# (derive_expected_elf.py).  The executables to be refused go to
# refused/ with their DIE dump only.
#
# NAME is <program>_<byte order or H8 mode>_<optimisation>_<debug
# format>[_<variant>]: mb/ml as in build_elf_fixtures.sh; for H8, ms (H8S),
# mh (H8/300H) or mn (H8/300H normal mode, 16-bit addresses); dw5l5 adds
# -Wa,--gdwarf-5 (version 5 line tables), dwNtu adds -fdebug-types-section;
# the variants zlib, zstd and zlibgnu are the same objects linked with
# sh-elf-ld --compress-debug-sections=zlib, =zstd and =zlib-gnu.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/listings.sh"
. "$HERE/debug_flags.sh"
DATA=$(cd "$HERE/.." && pwd)         # tests/data
ESRC=$HERE/src
CC=sh4-linux-gnu-gcc-12
CXX=sh4-linux-gnu-g++-12
LD=sh-elf-ld
H8BIN=/opt/h8300-elf/bin
H8CC=$H8BIN/h8300-elf-gcc

for tool in "$CC" "$CXX" "$LD" sh-elf-readelf sh-elf-objdump python3 \
            "$H8CC" "$H8BIN/h8300-elf-readelf" "$H8BIN/h8300-elf-objdump"; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "build_firmware_fixtures.sh: $tool not found (install gcc-12-sh4-linux-gnu," \
             "g++-12-sh4-linux-gnu, binutils-sh-elf and the h8300-elf toolchain)" >&2
        exit 1
    }
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# Every source directory is named under /fixtures, the build directory
# (where split DWARF leaves its .dwo files) under /build.
PREFIX_MAP="-fdebug-prefix-map=$DATA=/fixtures -Wa,--debug-prefix-map,$DATA=/fixtures
            -fdebug-prefix-map=$WORK=/build"
CFLAGS_COMMON="-ffreestanding -Wall $PREFIX_MAP"
# What firmware makefiles add: every function and variable in a section
# of its own, so that the linker can drop what nothing refers to.
SECTIONS="-ffunction-sections -fdata-sections"

ld_endian_flag() { [ "$1" = mb ] && echo "-EB" || echo "-EL"; }

# compile TOOL DIR FILE OUT FLAGS...: compile DIR/FILE from DIR, so that
# the unit's DW_AT_name is FILE and DW_AT_comp_dir is DIR.
compile() {
    local tool=$1 dir=$2 file=$3 out=$4
    shift 4
    (cd "$dir" && $tool "$@" $CFLAGS_COMMON -c "$file" -o "$out")
}

# sh_link NAME ENDIAN SCRIPT ENTRY [LD OPTIONS...] -- OBJECTS...
sh_link() {
    local name=$1 endian=$2 script=$3 entry=$4
    shift 4
    $LD "$(ld_endian_flag "$endian")" -T "$HERE/$script" -e "$entry" \
        --no-warn-rwx-segments -o "$HERE/$name.elf" "$@"
}

SH_NAMES=()
H8_NAMES=()

# gc: three C units built with sections per function and per variable
# and linked with --gc-sections; several functions and variables of each
# unit are never referenced, gc_one.c loses exactly one function.
# gc_checked and gc_util_unused_checked have an unlikely branch, which
# at O2 (with -freorder-blocks-and-partition, off by default for SH) goes
# to a .text.unlikely part: a function in two ranges, kept or dropped.
gc_objects() {
    local obj=$1 flags=$2
    mkdir -p "$obj"
    for unit in gc_main gc_util gc_one gc_boot; do
        compile "$CC" "$ESRC/gc" "$unit.c" "$obj/$unit.o" $flags
    done
}
build_gc() {
    local endian=$1 opt=$2 dw=$3 name=gc_$1_$2_$3 obj=$WORK/gc_$1_$2_$3
    local flags="-$endian -$opt $(dwarf_flags "$dw") -fleading-underscore $SECTIONS"
    [ "$opt" = O2 ] && flags="$flags -freorder-blocks-and-partition"
    gc_objects "$obj" "$flags"
    sh_link "$name" "$endian" sh_fixture.ld _main --gc-sections \
        "$obj/gc_main.o" "$obj/gc_util.o" "$obj/gc_one.o"
    SH_NAMES+=("$name")
    if [ "$dw" = dw5 ]; then
        # The same objects with compressed debugging sections.
        local kind
        for kind in zlib zstd zlib-gnu; do
            sh_link "${name}_${kind/-/}" "$endian" sh_fixture.ld _main --gc-sections \
                --compress-debug-sections="$kind" \
                "$obj/gc_main.o" "$obj/gc_util.o" "$obj/gc_one.o"
            SH_NAMES+=("${name}_${kind/-/}")
        done
    fi
}
# gc0: the gc program with its code at address 0 (sh_zero.ld): the reset
# entry of gc_boot.c is at 0, where the removed functions' DWARF points
# too; gc_boot_unused is removed as well.
build_gc0() {
    local endian=$1 opt=$2 dw=$3 name=gc0_$1_$2_$3 obj=$WORK/gc0_$1_$2_$3
    gc_objects "$obj" "-$endian -$opt $(dwarf_flags "$dw") -fleading-underscore $SECTIONS"
    sh_link "$name" "$endian" sh_zero.ld _gc_reset_entry --gc-sections \
        "$obj/gc_boot.o" "$obj/gc_main.o" "$obj/gc_util.o" "$obj/gc_one.o"
    SH_NAMES+=("$name")
}

# cxxm: three C++ units sharing shapes.h (a class with inline members and
# a static data member, a class template with a static data member, a
# function template); -fno-exceptions -fno-rtti, no C++ library.
build_cxxm() {
    local endian=$1 opt=$2 dw=$3 name=cxxm_$1_$2_$3 obj=$WORK/cxxm_$1_$2_$3
    mkdir -p "$obj"
    for unit in cxxm_main cxxm_left cxxm_right; do
        compile "$CXX" "$ESRC/cxxm" "$unit.cpp" "$obj/$unit.o" \
            "-$endian" "-$opt" $(dwarf_flags "$dw") -fleading-underscore -fno-exceptions -fno-rtti
    done
    sh_link "$name" "$endian" sh_fixture.ld _main \
        "$obj/cxxm_main.o" "$obj/cxxm_left.o" "$obj/cxxm_right.o"
    SH_NAMES+=("$name")
}

# inl: two C units calling the static inline helpers of helpers.h, at O0
# (each unit has its own out-of-line copy, described as declared in the
# header).
build_inl() {
    local endian=$1 opt=$2 dw=$3 name=inl_$1_$2_$3 obj=$WORK/inl_$1_$2_$3
    mkdir -p "$obj"
    for unit in inl_main inl_other; do
        compile "$CC" "$ESRC/inl" "$unit.c" "$obj/$unit.o" \
            "-$endian" "-$opt" $(dwarf_flags "$dw") -fleading-underscore
    done
    sh_link "$name" "$endian" sh_fixture.ld _main "$obj/inl_main.o" "$obj/inl_other.o"
    SH_NAMES+=("$name")
}

# lto: two C units compiled with -flto and linked by sh-elf-ld through
# GCC's linker plugin, which runs lto-wrapper (and so the compiler, named
# by COLLECT_GCC) on the whole program: one <artificial> unit holds the
# code, the early units of lto_main.c and lto_util.c the names.
build_lto() {
    local endian=$1 opt=$2 dw=$3 name=lto_$1_$2_$3 obj=$WORK/lto_$1_$2_$3
    mkdir -p "$obj"
    for unit in lto_main lto_util; do
        compile "$CC" "$ESRC/lto" "$unit.c" "$obj/$unit.o" \
            "-$endian" "-$opt" $(dwarf_flags "$dw") -fleading-underscore -flto
    done
    # lto-wrapper takes the driver's options from COLLECT_GCC_OPTIONS
    # (each quoted, as the driver passes them).  The link-time
    # compilation writes the source directory relative to where it runs,
    # so it runs in the source directory (it writes nothing there).
    local options="'-$endian' '-$opt' '-fleading-underscore' '-fdebug-prefix-map=$DATA=/fixtures'"
    (cd "$ESRC/lto" && COLLECT_GCC=$CC COLLECT_GCC_OPTIONS=$options sh_link "$name" "$endian" sh_fixture.ld _main \
        -plugin "$($CC -print-file-name=liblto_plugin.so)" \
        -plugin-opt="$($CC -print-prog-name=lto-wrapper)" \
        -plugin-opt=-fresolution="$obj/lto.res" \
        "$obj/lto_main.o" "$obj/lto_util.o")
    SH_NAMES+=("$name")
}

# split: the inl program with -gsplit-dwarf, to be refused (its
# functions and variables are in .dwo files that are not kept).  The
# DWARF 5 build splits only inl_main.c: one ordinary unit beside a
# skeleton.
build_split() {
    local endian=$1 opt=$2 dw=$3 name=split_$1_$2_$3 obj=$WORK/split_$1_$2_$3
    local flags="-$endian -$opt $(dwarf_flags "$dw") -fleading-underscore"
    mkdir -p "$obj" "$HERE/refused"
    (cd "$obj" && $CC $flags $CFLAGS_COMMON -gsplit-dwarf -c "$ESRC/inl/inl_main.c" -o inl_main.o)
    if [ "$dw" = dw5 ]; then
        (cd "$obj" && $CC $flags $CFLAGS_COMMON -c "$ESRC/inl/inl_other.c" -o inl_other.o)
    else
        (cd "$obj" && $CC $flags $CFLAGS_COMMON -gsplit-dwarf -c "$ESRC/inl/inl_other.c" -o inl_other.o)
    fi
    $LD "$(ld_endian_flag "$endian")" -T "$HERE/sh_fixture.ld" -e _main --no-warn-rwx-segments \
        -o "$HERE/refused/$name.elf" "$obj/inl_main.o" "$obj/inl_other.o"
    (cd "$HERE/refused" && write_refused_listing "$name")
}

# h8: three C units for h8300-elf (h8_start.c, h8_main.c, h8_util.c)
# built and linked by the gcc driver with h8_fixture.ld and -lgcc.
# MODE is ms (-ms), mh (-mh) or mn (-mh -mn); VARIANT relax adds -mrelax
# (the linker then shortens absolute addresses and calls, after the
# compiler wrote the functions' lengths), relaxsort adds a section per
# function, which h8_fixture.ld orders by name (so that a function whose
# DIE comes first overruns the next one in memory, whose DIE comes
# later), gc adds sections per function and variable and --gc-sections.
build_h8() {
    local variant=$1 mode=$2 opt=$3 dw=$4 name=h8_$1_$2_$3_$4 flags
    case "$mode" in
        ms) flags="-ms" ;;
        mh) flags="-mh" ;;
        mn) flags="-mh -mn" ;;
    esac
    flags="$flags -$opt $(dwarf_flags "$dw")"
    case "$variant" in
        relax)  flags="$flags -mrelax -Wl,--relax" ;;
        relaxsort) flags="$flags -mrelax -Wl,--relax -ffunction-sections" ;;
        gc)     flags="$flags $SECTIONS -Wl,--gc-sections" ;;
        normal) ;;
    esac
    (cd "$ESRC/h8" && $H8CC $flags $CFLAGS_COMMON -nostdlib -nostartfiles \
        -T "$HERE/h8_fixture.ld" h8_start.c h8_main.c h8_util.c -lgcc -o "$HERE/$name.elf")
    H8_NAMES+=("$name")
}

# icf: two C units at -O2, where identical-code folding (-fipa-icf)
# leaves copies of functions (get_isr, count_isr, scale_isr and a static
# twice in each unit) as code of their own with an ELF symbol and line
# rows, and their DIEs without an address.
build_icf() {
    local endian=$1 opt=$2 dw=$3 name=icf_$1_$2_$3 obj=$WORK/icf_$1_$2_$3
    mkdir -p "$obj"
    for unit in icf_main icf_util; do
        compile "$CC" "$ESRC/icf" "$unit.c" "$obj/$unit.o" \
            "-$endian" "-$opt" $(dwarf_flags "$dw") -fleading-underscore
    done
    sh_link "$name" "$endian" sh_fixture.ld __start "$obj/icf_main.o" "$obj/icf_util.o"
    SH_NAMES+=("$name")
}

# ltoxx: two C++ units compiled with -flto and linked through GCC's
# plugin as build_lto does; global objects of lto_main.cpp give the image
# a static constructor function (_GLOBAL__sub_I_...), artificial and
# without a declaration file, whose rows are those of ltoxx_main.cpp and
# of the constructor inlined from meter.h.
build_ltoxx() {
    local endian=$1 opt=$2 dw=$3 name=ltoxx_$1_$2_$3 obj=$WORK/ltoxx_$1_$2_$3
    mkdir -p "$obj"
    for unit in ltoxx_main ltoxx_util; do
        compile "$CXX" "$ESRC/ltoxx" "$unit.cpp" "$obj/$unit.o" \
            "-$endian" "-$opt" $(dwarf_flags "$dw") -fleading-underscore -fno-exceptions -fno-rtti -flto
    done
    local options="'-$endian' '-$opt' '-fleading-underscore' '-fno-exceptions' '-fno-rtti'"
    options="$options '-fdebug-prefix-map=$DATA=/fixtures'"
    (cd "$ESRC/ltoxx" && COLLECT_GCC=$CXX COLLECT_GCC_OPTIONS=$options sh_link "$name" "$endian" sh_fixture.ld __start \
        -plugin "$($CC -print-file-name=liblto_plugin.so)" \
        -plugin-opt="$($CC -print-prog-name=lto-wrapper)" \
        -plugin-opt=-fresolution="$obj/lto.res" \
        "$obj/ltoxx_main.o" "$obj/ltoxx_util.o")
    SH_NAMES+=("$name")
}

# cut: two C units whose externals, function statics and file statics
# differ only after the 32 characters a symbol-file name keeps.
build_cut() {
    local endian=$1 opt=$2 dw=$3 name=cut_$1_$2_$3 obj=$WORK/cut_$1_$2_$3
    mkdir -p "$obj"
    for unit in cut_main cut_util; do
        compile "$CC" "$ESRC/cut" "$unit.c" "$obj/$unit.o" \
            "-$endian" "-$opt" $(dwarf_flags "$dw") -fleading-underscore
    done
    sh_link "$name" "$endian" sh_fixture.ld __start "$obj/cut_main.o" "$obj/cut_util.o"
    SH_NAMES+=("$name")
}

# h8 icf: the icf program built for H8/300H by the h8300-elf driver,
# where functions are NOTYPE symbols with a size.
build_h8_icf() {
    local mode=$1 opt=$2 dw=$3 name=h8_icf_$1_$2_$3
    (cd "$ESRC/icf" && $H8CC "-$mode" "-$opt" $(dwarf_flags "$dw") $CFLAGS_COMMON -nostdlib -nostartfiles \
        -T "$HERE/h8_fixture.ld" icf_main.c icf_util.c -lgcc -o "$HERE/$name.elf")
    H8_NAMES+=("$name")
}

build_gc mb Os dw2
build_gc ml Os dw4
build_gc ml Os dw5
build_gc mb O2 dw4
build_gc0 ml Os dw4
build_gc0 mb Os dw2
build_cxxm mb O0 dw5l5
build_cxxm ml O2 dw4
build_cxxm mb O2 dw4tu
build_cxxm ml O0 dw5tu
build_inl ml O0 dw2
build_inl mb O0 dw5l5
build_lto ml O2 dw5
build_split ml O2 dw4
build_split ml O2 dw5
build_h8 relax ms O2 dw4
build_h8 relaxsort mh O2 dw5
build_h8 normal mn Os dw2
build_h8 gc mh Os dw5
build_icf mb O2 dw4
build_ltoxx ml O2 dw5
build_cut mb O0 dw4
build_h8_icf mh O2 dw4

cd "$HERE"
for name in "${SH_NAMES[@]}"; do
    write_listings "$name" sh-elf-
    printf '%-24s %6s bytes\n' "$name" "$(wc -c < "$name.elf" | tr -d ' ')" >&2
done
for name in "${H8_NAMES[@]}"; do
    write_listings "$name" "$H8BIN/h8300-elf-"
    printf '%-24s %6s bytes\n' "$name" "$(wc -c < "$name.elf" | tr -d ' ')" >&2
done

[ -n "${SKIP_DERIVE:-}" ] || python3 "$HERE/derive_expected_elf.py" "${SH_NAMES[@]}" "${H8_NAMES[@]}"
