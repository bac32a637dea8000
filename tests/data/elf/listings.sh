# Sourced by build_elf_fixtures.sh and check_elf_fixtures.sh: the listings
# recorded beside each fixture, made the same way by both.
#
# write_listings NAME: run in the fixture's directory with a relative file
# name, so that the listings name no build path.
write_listings() {
    local name=$1
    sh-elf-readelf --debug-dump=info "$name.elf" > "$name.readelf-info.txt"
    # readelf lists only the first range list of each DWARF 5 table, so
    # the derivation decodes .debug_rnglists from its hex dump.
    sh-elf-readelf --debug-dump=Ranges "$name.elf" > "$name.readelf-ranges.txt"
    if sh-elf-readelf -S "$name.elf" | grep -q '\.debug_rnglists'; then
        sh-elf-readelf -x .debug_rnglists "$name.elf" >> "$name.readelf-ranges.txt"
    fi
    sh-elf-objdump --wide --dwarf=decodedline "$name.elf" > "$name.decodedline.txt"
    sh-elf-readelf --wide -h -S -s "$name.elf" > "$name.readelf-syms.txt"
}
