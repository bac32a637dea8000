#!/usr/bin/env bash
# Build macro_ml_O0_dw5_zstd: a unit compiled with -g3 whose .debug_str,
# filled by the bodies of a generated configuration header, zstd
# compresses more than 1032 times (the most deflate can expand), linked
# with sh-elf-ld --compress-debug-sections=zstd.  Records the binutils
# listings beside it and derives the expected symbol and line files from
# them.  The other fixtures are not touched.
#
# Needs gcc-12-sh4-linux-gnu, binutils-sh-elf and python3.
#
#   bash tests/data/elf/build_macro_fixture.sh
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/listings.sh"
. "$HERE/debug_flags.sh"
DATA=$(cd "$HERE/.." && pwd)         # tests/data
SRC=$HERE/src/macro
CC=sh4-linux-gnu-gcc-12
LD=sh-elf-ld
NAME=macro_ml_O0_dw5_zstd

for tool in "$CC" "$LD" sh-elf-readelf sh-elf-objdump python3; do
    command -v "$tool" >/dev/null 2>&1 || {
        echo "build_macro_fixture.sh: $tool not found (install gcc-12-sh4-linux-gnu," \
             "binutils-sh-elf and python3)" >&2
        exit 1
    }
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

python3 "$SRC/make_board_config.py" "$WORK/board_config.h"
# The generated header is named under /build, the sources under /fixtures.
(cd "$SRC" && $CC -ml -O0 $(dwarf_flags dw5) -g3 -fleading-underscore -ffreestanding -Wall \
    -fdebug-prefix-map="$DATA=/fixtures" -fdebug-prefix-map="$WORK=/build" \
    -Wa,--debug-prefix-map,"$DATA=/fixtures" -I"$WORK" -c macro_main.c -o "$WORK/macro_main.o")
$LD -EL -T "$HERE/sh_fixture.ld" -e _main --no-warn-rwx-segments \
    --compress-debug-sections=zstd -o "$HERE/$NAME.elf" "$WORK/macro_main.o"

cd "$HERE"
write_listings "$NAME" sh-elf-
printf '%-24s %6s bytes\n' "$NAME" "$(wc -c < "$NAME.elf" | tr -d ' ')" >&2
python3 "$HERE/derive_expected_elf.py" "$NAME"
