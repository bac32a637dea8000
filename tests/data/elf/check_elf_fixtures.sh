#!/usr/bin/env bash
# Checks the committed ELF fixtures against the GNU binutils installed here:
# the listings beside each NAME.elf must be what sh-elf-readelf and
# sh-elf-objdump print of it today, and the expected files must be what
# derive_expected_elf.py derives from those listings. The binaries are not
# rebuilt (a compiler update would change them); build_elf_fixtures.sh does
# that.
#
#   bash tests/data/elf/check_elf_fixtures.sh
#
# Needs binutils-sh-elf and python3.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/listings.sh"
READELF=sh-elf-readelf
OBJDUMP=sh-elf-objdump
for tool in "$READELF" "$OBJDUMP" python3; do
    command -v "$tool" >/dev/null 2>&1 || { echo "check_elf_fixtures.sh: $tool not found" >&2; exit 1; }
done
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
cp "$HERE"/*.elf "$HERE/derive_expected_elf.py" "$WORK/"

cd "$WORK"
names=()
for elf in *.elf; do
    name=${elf%.elf}
    names+=("$name")
    write_listings "$name"
done
python3 derive_expected_elf.py "${names[@]}"

status=0
for name in "${names[@]}"; do
    for kind in readelf-info.txt readelf-ranges.txt decodedline.txt readelf-syms.txt \
                expected.sym expected.lin expected.counts; do
        if ! cmp -s "$name.$kind" "$HERE/$name.$kind"; then
            echo "$name.$kind differs from the committed file:" >&2
            diff "$HERE/$name.$kind" "$name.$kind" | head -20 >&2 || true
            status=1
        fi
    done
done
[ "$status" = 0 ] && echo "ELF fixtures: ${#names[@]} checked, listings and expectations agree"
exit "$status"
