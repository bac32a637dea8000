#!/usr/bin/env bash
# End-to-end test for a .text line-number table of more than 65,535 entries.
#
#   bash run_overflow_test.sh DRAVONT_BINARY WORKDIR
#
# Generates a C program with about 95,000 line-number entries in .text,
# builds it with the h8300-hms cross toolchain (H8/300H, -mh) and the
# linker script link.ld, makes sure the linker saturated the 16-bit entry
# count (s_nlnno 0xFFFF, "line number overflow" warning), runs dravont on
# it and compares prog.sym, prog.lin and the summary line with
# expectations derived from the objdump listings by check_overflow.py.
# See README.md in this directory.
#
# Exit status: 0 passed, 1 failed, 77 skipped (cross toolchain or python3
# not installed).
set -u

HERE=$(cd "$(dirname "$0")" && pwd)
CC=h8300-hms-gcc
OBJDUMP=h8300-hms-objdump

if [ $# -ne 2 ]; then
    echo "usage: $0 DRAVONT_BINARY WORKDIR" >&2
    exit 1
fi
DRAVONT=$1
WORK=$2

for tool in "$CC" "$OBJDUMP" python3; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        echo "SKIP: $tool not found (needs gcc-h8300-hms, binutils-h8300-hms and python3)"
        exit 77
    fi
done

case "$DRAVONT" in
    /*) ;;
    *) DRAVONT=$(pwd)/$DRAVONT ;;
esac
if [ ! -x "$DRAVONT" ]; then
    echo "FAIL: $DRAVONT is not an executable" >&2
    exit 1
fi

fail() {
    echo "FAIL: $*"
    exit 1
}

mkdir -p "$WORK" || fail "cannot create $WORK"
WORK=$(cd "$WORK" && pwd)
# Only what this script itself writes is removed.
rm -rf "$WORK/src" "$WORK/obj"
rm -f "$WORK"/prog.* "$WORK"/link.log "$WORK"/dravont.out "$WORK"/dravont.err
mkdir -p "$WORK/src" "$WORK/obj"

# 1. Sources.
python3 "$HERE/generate.py" "$WORK/src" || fail "generate.py failed"

# 2. Objects, compiled from the source directory so that the source-file
#    entries hold plain names (unit0.c ...); two at a time.
units=()
for c in "$WORK"/src/unit*.c; do
    units+=("$(basename "$c" .c)")
done
[ ${#units[@]} -gt 0 ] || fail "no sources generated"
compile() {
    (cd "$WORK/src" && "$CC" -mh -g -O0 -c "$1.c" -o "../obj/$1.o") \
        || { echo "FAIL: compiling $1.c" >&2; return 1; }
}
pids=()
for u in "${units[@]}"; do
    compile "$u" &
    pids+=($!)
    if [ ${#pids[@]} -ge 2 ]; then
        wait "${pids[0]}" || fail "compilation failed"
        pids=("${pids[@]:1}")
    fi
done
for p in "${pids[@]}"; do
    wait "$p" || fail "compilation failed"
done

# 3. Link.  ld warns about the overflow but still writes the program.
objs=()
for u in "${units[@]}"; do
    objs+=("$WORK/obj/$u.o")
done
"$CC" -mh -nostdlib -Wl,-e,_main -T "$HERE/link.ld" -o "$WORK/prog.coff" \
    "${objs[@]}" > "$WORK/link.log" 2>&1
rc=$?
cat "$WORK/link.log"
[ $rc -eq 0 ] || fail "link failed (exit status $rc)"
# ld: .../prog.coff: warning: .text: line number overflow: 0x175c0 > 0xffff
count_hex=$(sed -n 's/.*\.text: line number overflow: 0x\([0-9a-fA-F]*\) > 0xffff.*/\1/p' \
    "$WORK/link.log" | head -n 1)
[ -n "$count_hex" ] || fail "ld printed no \"line number overflow\" warning for .text"
ld_count=$((16#$count_hex))

# s_nlnno of .text, read from the bytes: section headers start at offset 48
# (20-byte file header, 28-byte optional header), 40 bytes each, s_nlnno at
# offset 34 of a header.  check_overflow.py checks the same from the bytes.
nscns=$(od -An -tu1 -j2 -N2 "$WORK/prog.coff" | awk '{print $1 * 256 + $2}')
nlnno=
for ((n = 0; n < nscns; n++)); do
    off=$((48 + 40 * n))
    name=$(od -An -c -j$off -N5 "$WORK/prog.coff" | tr -d ' \n')
    if [ "$name" = ".text" ]; then
        nlnno=$(od -An -tx1 -j$((off + 34)) -N2 "$WORK/prog.coff" | tr -d ' \n')
        break
    fi
done
[ "$nlnno" = "ffff" ] || fail ".text s_nlnno is '${nlnno}', not ffff"

# 4. Listings: the linked program and every unlinked object.
(cd "$WORK" && "$OBJDUMP" -t prog.coff > prog.objdump-t.txt \
    && "$OBJDUMP" -f prog.coff > prog.objdump-f.txt) || fail "objdump of prog.coff failed"
for u in "${units[@]}"; do
    (cd "$WORK/obj" && "$OBJDUMP" -t "$u.o" > "$u.objdump-t.txt") \
        || fail "objdump of $u.o failed"
done

# 5. The converter.
(cd "$WORK" && "$DRAVONT" prog.coff > dravont.out 2> dravont.err)
rc=$?
if [ $rc -ne 0 ]; then
    cat "$WORK/dravont.out" "$WORK/dravont.err"
    fail "dravont exited with status $rc"
fi

# 6. Expectations and comparison.
echo "ld: $ld_count line-number entries in .text, s_nlnno written as 0x$nlnno"
python3 "$HERE/check_overflow.py" "$WORK" "$ld_count"
rc=$?
if [ $rc -ne 0 ]; then
    echo "FAIL: dravont's output differs (files in $WORK)"
    exit 1
fi
echo "PASS: prog.sym, prog.lin and the summary line are as expected"
exit 0
