#!/usr/bin/env bash
# Checks the committed ELF fixtures against the GNU binutils installed here:
# the listings beside each NAME.elf must be what readelf and objdump print
# of it today, and the expected files must be what derive_expected_elf.py
# derives from those listings. The binaries are not rebuilt (a compiler
# update would change them); build_elf_fixtures.sh and
# build_firmware_fixtures.sh do that.
#
#   bash tests/data/elf/check_elf_fixtures.sh
#
# Needs binutils-sh-elf and python3.  The listings of the H8 fixtures
# (h8_*) are remade only where h8300-elf-readelf and h8300-elf-objdump
# are on PATH (/opt/h8300-elf/bin, see ../shared/tools/h8300-elf);
# otherwise the committed ones are used, and the script says so.  The
# executables in refused/ have only their DIE dump checked.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/listings.sh"
LISTINGS="readelf-info.txt readelf-ranges.txt decodedline.txt readelf-syms.txt readelf-rawline.txt"
for tool in sh-elf-readelf sh-elf-objdump python3; do
    command -v "$tool" >/dev/null 2>&1 || { echo "check_elf_fixtures.sh: $tool not found" >&2; exit 1; }
done
h8_tools=yes
for tool in h8300-elf-readelf h8300-elf-objdump; do
    command -v "$tool" >/dev/null 2>&1 || h8_tools=no
done
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cp "$HERE"/*.elf "$HERE/derive_expected_elf.py" "$WORK/"

cd "$WORK"
names=()
remade=()
for elf in *.elf; do
    name=${elf%.elf}
    names+=("$name")
    case "$name" in
        h8_*)
            if [ "$h8_tools" = yes ]; then
                write_listings "$name" h8300-elf-
                remade+=("$name")
            else
                for kind in $LISTINGS; do cp "$HERE/$name.$kind" .; done
            fi
            ;;
        *)
            write_listings "$name" sh-elf-
            remade+=("$name")
            ;;
    esac
done
[ "$h8_tools" = yes ] ||
    echo "check_elf_fixtures.sh: h8300-elf binutils not on PATH: the listings of the" \
         "h8_* fixtures are not remade, only their expectations re-derived" >&2
python3 derive_expected_elf.py "${names[@]}" >/dev/null

status=0
compare() {
    local file=$1 committed=$2
    if ! cmp -s "$file" "$committed"; then
        echo "$file differs from the committed file:" >&2
        diff "$committed" "$file" | head -20 >&2 || true
        status=1
    fi
}
for name in "${names[@]}"; do
    for kind in expected.sym expected.lin expected.counts; do
        compare "$name.$kind" "$HERE/$name.$kind"
    done
    # The warning on standard error exists only where names collide.
    if [ -e "$name.expected.stderr" ] || [ -e "$HERE/$name.expected.stderr" ]; then
        [ -e "$name.expected.stderr" ] || : > "$name.expected.stderr"
        if [ -e "$HERE/$name.expected.stderr" ]; then
            compare "$name.expected.stderr" "$HERE/$name.expected.stderr"
        else
            echo "$name.expected.stderr is derived but not committed" >&2
            status=1
        fi
    fi
done
for name in "${remade[@]}"; do
    for kind in $LISTINGS; do
        compare "$name.$kind" "$HERE/$name.$kind"
    done
done

mkdir refused
cp "$HERE"/refused/*.elf refused/
cd refused
for elf in *.elf; do
    write_refused_listing "${elf%.elf}"
    compare "${elf%.elf}.readelf-info.txt" "$HERE/refused/${elf%.elf}.readelf-info.txt"
done

[ "$status" = 0 ] && echo "ELF fixtures: ${#names[@]} checked (${#remade[@]} with their listings" \
    "remade), listings and expectations agree"
exit "$status"
