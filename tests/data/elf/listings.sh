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
    # The file and directory tables that DW_AT_decl_file indexes.
    ${tools}readelf --debug-dump=rawline "$name.elf" > "$name.readelf-rawline.txt"
    ${tools}objdump --wide --dwarf=decodedline "$name.elf" > "$name.decodedline.txt" 2> "$name.objdump-warnings"
    check_decodedline_warnings "$name"
    ${tools}readelf --wide -h -S -s "$name.elf" > "$name.readelf-syms.txt"
}

# objdump's decoder stops at a DWARF 5 line table whose program is empty
# (its file table ends the section's data) and warns "Corrupt file name
# list". The LTO program's early units end .debug_line with such tables:
# nothing follows them, so the decoded listing is complete and the warning
# says nothing. Any other warning, or an empty table with rows after it
# (which the decoded listing would lack), is reported and fails the script.
check_decodedline_warnings() {
    local name=$1 warnings=$1.objdump-warnings
    local others
    others=$(grep -v 'Warning: Corrupt file name list$' "$warnings" || true)
    if grep -q 'Corrupt file name list' "$warnings" &&
        awk '/No Line Number Statements/ { empty = 1 } /^ Line Number Statements:/ && empty { bad = 1 }
             END { exit bad }' "$name.readelf-rawline.txt"; then
        : # only empty tables at the end: the listing has every row
    elif grep -q 'Corrupt file name list' "$warnings"; then
        others="$others"$'\n'"objdump stopped at an empty line table of $name.elf before tables with rows"
    fi
    rm -f "$warnings"
    if [ -n "$others" ]; then
        echo "$others" >&2
        return 1
    fi
}

# write_refused_listing NAME [PREFIX]: only the DIE dump, for the
# executables that are to be refused; links to separate .dwo files are
# not followed (they are not kept).
write_refused_listing() {
    local name=$1 tools=${2:-sh-elf-}
    ${tools}readelf --debug-dump=no-follow-links --debug-dump=info "$name.elf" \
        > "$name.readelf-info.txt"
}
