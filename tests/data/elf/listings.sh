# Sourced by the build scripts and check_elf_fixtures.sh: the listings
# recorded beside each fixture, made the same way by all of them.
#
# write_listings NAME [PREFIX]: run in the fixture's directory with a
# relative file name, so that the listings name no build path.  PREFIX is
# the binutils' target prefix: sh-elf- (the default) or h8300-elf-.
write_listings() {
    local name=$1 tools=${2:-sh-elf-}
    ${tools}readelf --debug-dump=info "$name.elf" > "$name.readelf-info.txt"
    # readelf lists only the first range list of each DWARF 5 table, so
    # the derivation decodes .debug_rnglists from its hex dump (-z: as
    # it reads after decompression, where the section is compressed).
    ${tools}readelf --debug-dump=Ranges "$name.elf" > "$name.readelf-ranges.txt"
    local rnglists
    rnglists=$(${tools}readelf -S -W "$name.elf" | grep -o '\.z\?debug_rnglists' || true)
    if [ -n "$rnglists" ]; then
        ${tools}readelf -z -x "$rnglists" "$name.elf" >> "$name.readelf-ranges.txt"
    fi
    ${tools}objdump --wide --dwarf=decodedline "$name.elf" > "$name.decodedline.txt"
    ${tools}readelf --wide -h -S -s "$name.elf" > "$name.readelf-syms.txt"
    # The file and directory tables that DW_AT_decl_file indexes.
    ${tools}readelf --debug-dump=rawline "$name.elf" > "$name.readelf-rawline.txt"
}

# write_refused_listing NAME [PREFIX]: only the DIE dump, for the
# executables that are to be refused; links to separate .dwo files are
# not followed (they are not kept).
write_refused_listing() {
    local name=$1 tools=${2:-sh-elf-}
    ${tools}readelf --debug-dump=no-follow-links --debug-dump=info "$name.elf" \
        > "$name.readelf-info.txt"
}
