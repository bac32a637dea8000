#!/usr/bin/env python3
"""Derive the expected symbol file and line file of each ELF fixture.

The expectations are computed from the text that the GNU binutils print of
each executable, never from its bytes and never with the converter, so
that the converter's own DWARF decoding is checked against an independent
reading of the same file.

    python3 derive_expected_elf.py [NAME ...]

For each NAME (default: every NAME.elf next to this script) it reads

    NAME.readelf-info.txt     readelf --debug-dump=info
    NAME.readelf-ranges.txt   readelf --debug-dump=Ranges, followed for
                              DWARF 5 by readelf -z -x .debug_rnglists
    NAME.decodedline.txt      objdump --wide --dwarf=decodedline
    NAME.readelf-syms.txt     readelf --wide -h -S -s
    NAME.readelf-rawline.txt  readelf --debug-dump=rawline

(sh-elf- or h8300-elf- tools, see listings.sh) and writes
NAME.expected.sym, NAME.expected.lin and NAME.expected.counts.

What the listings print, and what is taken from them
----------------------------------------------------
readelf --debug-dump=info: "Contents of the .debug_info section:" (and of
.debug_types, for DWARF 4 type units) heads each section's units; a unit
starts with "Compilation Unit @ offset 0xN:" and its header fields
("Version: 5", "Unit Type: DW_UT_type (2)", "Signature: 0x...", "Type
Offset: 0x34", the last relative to the unit's start); a DIE is the line
" <DEPTH><OFFSET>: Abbrev Number: K (DW_TAG_x)", its attributes follow as
"    <OFFSET>   DW_AT_x : VALUE"; "Abbrev Number: 0" closes a list of
children.  DIE offsets count from the start of their section, so a DIE is
known by (section, offset).  VALUE is printed as:
  * a string: "name", or "(indirect string, offset: 0xN): name" (also
    "indirect line string" and "indexed string");
  * a reference: "<0x2d>" (an offset in the referring DIE's section), or
    "signature: 0x..." (DW_FORM_ref_sig8: the type unit of that
    signature, at its type offset);
  * a number: "0x1c" or "28" (readelf does not show the form: high_pc of
    a unit of version 4 or later is read as a length, earlier as an
    address - GCC and gas write it so - and every such function is
    checked against the size of its ELF symbol below);
  * a location expression: "N byte block: .. \t(DW_OP_addr: 1000)", the
    operations in parentheses separated by "; ", DW_OP_addr's operand in
    hex without "0x"; a location list: "0x10 (location list)";
  * a flag: "1" (or "0", which gas writes for DW_AT_external of a local
    function and which is taken as absent).

readelf --debug-dump=Ranges: for .debug_ranges (DWARF 2-4) one line per
entry, "    OFFSET BEGIN END", where OFFSET is the start of the list the
entry belongs to; "(start == end)" marks an empty range (the linker
writes the pairs of discarded code as 1,1) and "<End of list>" the end.
For .debug_rnglists (DWARF 5) readelf 2.40 prints only the first list of
each table when the table has no offset array (which GCC never writes),
so the lists are decoded here from the hex dump of the section
(DW_RLE_offset_pair, base_address, start_end, start_length,
end_of_list), and the lists readelf did print are compared with that.

objdump --wide --dwarf=decodedline: the tables in .debug_line order.  A
table starts with "CU: PATH:" (the primary file, with its directory in
wide mode unless the directory table is empty); "PATH:" or "./NAME:[++]"
lines announce a change of file ("./" is directory entry 0 of a version
2-4 table, the compilation directory); each row is
"NAME  LINE  ADDRESS  [VIEW]  [x]", where LINE "-" is the end of a
sequence and ADDRESS is "0x1000" (or "0").  A relative PATH is relative
to the unit's DW_AT_comp_dir.  The state machine starts every sequence in
file 1 again without objdump printing a file line, so a row after an end
of sequence and before the next file line is in file 1 (its path from
the rawline listing); every row's path is checked against the NAME that
objdump prints in the row itself.  The tables are matched to the compilation
units by the order of their DW_AT_stmt_list offsets (type units point at
the table of a compilation unit).

readelf --debug-dump=rawline: per table "Offset: 0xN", "DWARF Version",
the directory table (version 2-4: "  1\tPATH", numbered from 1, entry 0
being the compilation directory; version 5: "  0\tPATH", numbered from 0)
and the file name table under a header of tab-separated column names
("Entry Dir Time Size Name" or "Entry Dir Name"), numbered as the table
numbers them.  A file's path is its name joined to its directory, joined
to the compilation directory where still relative; only these tables are
read here (DW_AT_decl_file indexes them), the rows come from objdump.

readelf --wide -h -S -s: the byte order ("Data: ... big endian"), the
section table ("[Nr] Name Type Addr Off Size ES Flg ...", Flg holding A
for allocated and X for executable) and the symbol table, "Num: Value
Size Type Bind Vis Ndx Name".

The conversion rules applied
----------------------------
Units: the compilation units (DW_TAG_compile_unit) in .debug_info order.
Type units (DW_TAG_type_unit, in .debug_types or DW_UT_type) write
nothing; they only answer DW_FORM_ref_sig8 references, and a signature no
type unit holds is an error.  A skeleton unit (DW_UT_skeleton or
split_compile, DW_TAG_skeleton_unit, DW_AT_dwo_name/DW_AT_GNU_dwo_name)
or a partial unit stops the derivation: such executables are not
fixtures of this table (split DWARF is refused, see refused/).

Symbol file: the units in order, each unit's DIEs depth-first in order;
one line per defining entity that is placed (below):
  * a function: a DW_TAG_subprogram with DW_AT_low_pc (and high_pc) or
    DW_AT_ranges.  With low_pc: value = low_pc, one range [low, high).
    With ranges: the list's entries that are empty or whose start is not
    placed are dropped first; value = DW_AT_entry_pc where that is
    placed, else the start of the first range left; none left: not
    written;
  * a variable: a DW_TAG_variable whose own DW_AT_location is exactly one
    DW_OP_addr operation; value = its operand.
Placed: a function's value lies in a non-empty section with flags A and
X, a variable's in a section with flag A (.bss included); 0xFFFFFFFF and
0xFFFFFFFE (tombstones) never are; and value 0, when it lies in such a
section, only where the ELF symbol table has a symbol at 0 (not FILE,
SECTION or undefined) spelled as a DW_AT_name or linkage name found
along the entity's origin chain, with or without a leading "_".  (The
GNU linker leaves the DWARF of what --gc-sections removed at address 0.)
Name, linkage name, type, external flag and declaration file come from
the DIE, else from what DW_AT_abstract_origin / DW_AT_specification
reach, followed transitively.  The C name is the linkage name
(DW_AT_linkage_name or DW_AT_MIPS_linkage_name) where present, else
DW_AT_name; without either the entity writes nothing.  The written name
is prefix + C name, cut after 32 characters, where the prefix is "" for
units written in assembler (DW_AT_language 0x8001), else the program's
label prefix: the first placed function of a C/C++ unit, in DIE order,
whose entry address carries an ELF symbol "_NAME", "_NAME.*" or
"_NAME___*" gives "_", one with only "NAME", "NAME.*" or "NAME___*"
gives "", and without evidence it is "_".  ("___N" is how the H8
compiler renames what others suffix ".N".)  But where the symbols at the
entity's value include one spelled exactly as the C name and none
spelled prefix + C name (a function renamed with an assembler label),
the written name is the C name, cut after 32.

External (flag set anywhere on the chain):
    "%08X " + name.ljust(32) + 34 spaces + label
Static:
    "%08X " + qualified[:65].ljust(65) + " " + label
qualified = written name + "@" + qualifier, where the qualifier is the
written name (itself qualified, if static) of the nearest enclosing
DW_TAG_subprogram or DW_TAG_inlined_subroutine less one leading "_",
else the unit's file name: the base name of DW_AT_name (after the last
"/" or "\\"), cut after 32 characters.  In a unit whose DW_AT_name starts
with "<" (the <artificial> code unit of a link-time optimised program)
the qualifier of a file-scope static (variable or function) is instead
the base name of its own declaration file (below), cut after 32, and
the unit's name only where it has none.

One copy: an entity whose value and written name field (name, or the
qualified name cut at 65) equal those of a line already written is not
written again (C++ inline, template and member functions and template
statics are described in every unit that uses them); only the first,
in unit and DIE order, counts as written below.

Label: the DWARF type through typedefs and const/volatile/restrict/atomic;
pointers, references, arrays, subroutine types and the function itself
follow to what they point to, hold or return; none is void.  A base type
of an integer, character or boolean encoding: 1 byte (BYTE), 2 (WORD), 3
or more (LONG); DW_ATE_float: up to 4 bytes (FLOT), 8 (DBLE), more
(LGDL); everything else (complex float, struct, union, class, enum, void,
no size) (VOID).

Line file.  A function's file: the path of the file its DW_AT_decl_file
names (along the chain, in the file table of the line program of the
unit that holds the attribute, numbered from 1 below version 5 and from
0 in version 5); without one, the unit's own file (DW_AT_name joined to
DW_AT_comp_dir).  Two files are the same when their full paths are.
Per unit, in order:
  * nothing at all for a unit whose DW_AT_name holds "newlib/lib";
  * "**** " + the unit's file name (cut after 32), except for a unit
    whose DW_AT_name starts with "<";
  * the records of its written functions of the unit's own file, in DIE
    order (none in a "<" unit, whose functions without a declaration
    file write no records);
  * for each other file that written functions of the unit come from, in
    the order of their first function: "**** " + that file's base name
    (cut after 32), written even where none of them has a record, then
    the records of those functions in DIE order.
A function's records: the rows of the unit's table that it owns, that
name the function's file, have a line other than 0 and are not an end of
sequence.  The unit's own file is compared by full path, or by base name
when no row of the table names it by full path (kept from the first
rules; it does not come into play here).  Rows: the table's sequences
(each up to its end-of-sequence row) less those whose first address is
not placed (outside every non-empty A+X section, or a tombstone) or is 0
while no written function of the unit starts at 0.  A row belongs to the
first written function of the unit, in DIE order, one of whose ranges
holds its address, where each range of a function ends no later than the
lowest value of another written function (of any unit) above the
range's start (linker relaxation shrinks code after the compiler wrote
the lengths).  With at least one row: a base record (entry address, line
of the first row at the entry address, else of the first row), then a
record "%08X %5u" for each row not at the entry address that is the last
of a run of rows at one address.

Folded functions (identical-code folding leaves a copy of a function as
code of its own, with an ELF symbol and line rows, and its DIE abstract):
a function symbol (FUNC; on H8, whose compiler types nothing, NOTYPE
with a size in an executable section) whose value no written function
covers (an entry there, or a range holding it after the cut at the next
entry) and whose name is the name or linkage name, with the label prefix
or as it stands, of a DW_TAG_subprogram without low_pc or ranges that is
no declaration, is written at the symbol's value under the symbol's
spelling (cut after 32; a static qualified as its DIE would be), with the
DIE's size class, in the symbol file after the lines of the walk (in unit
and DIE order, then by value); in the line
file as a function of the DIE's unit, in DIE order, with the one range
[value, value + size).  Of several such DIEs: the first of the first unit
(in order) whose line table has a row in that range, else the first.

Link-time units: a function of a unit named "<..." without a declaration
file takes the file of its first row: the row with a line at the lowest
address of its ranges, the first in the line program at that address.

Names the cut makes ambiguous: every line met (written or repeating one)
gives its name field, its value and its full name (the name with no cut:
the C name or symbol spelling whole, the qualifier from the enclosing
function's full name, or the whole base name of the file).  A field met
at two or more values, from two or more full names, one of which is not
the field itself, is reported; the fixtures where any is write
NAME.expected.stderr, the warning line (the first three names whole,
then how many more).

Counts: symbols = symbol-file lines, lineCount = base and line records,
each as a signed 16-bit number: "symbols=N lineCount=M".
"""

import os
import posixpath
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

ASSEMBLER = 0x8001
QUALIFIER_TAGS = ("DW_TAG_subprogram", "DW_TAG_inlined_subroutine")
SKIP_TAGS = ("DW_TAG_typedef", "DW_TAG_const_type", "DW_TAG_volatile_type",
             "DW_TAG_restrict_type", "DW_TAG_atomic_type")
FOLLOW_TAGS = ("DW_TAG_pointer_type", "DW_TAG_reference_type",
               "DW_TAG_rvalue_reference_type", "DW_TAG_array_type",
               "DW_TAG_subroutine_type", "DW_TAG_subprogram")
DW_ATE_COMPLEX_FLOAT = 0x3
DW_ATE_FLOAT = 0x4
TOMBSTONES = (0xFFFFFFFF, 0xFFFFFFFE)


class DeriveError(Exception):
    pass


def number(text):
    """A number as readelf prints it: "0x1c" in hex, "28" in decimal."""
    text = text.split()[0]
    return int(text, 16) if text.startswith("0x") else int(text)


# ---------------------------------------------------------------- DIEs

class Die:
    def __init__(self, offset, depth, tag, parent, unit):
        self.offset = offset
        self.depth = depth
        self.tag = tag
        self.parent = parent
        self.unit = unit
        self.attrs = {}
        self.children = []


class Unit:
    def __init__(self, section, offset):
        self.section = section      # ".debug_info" or ".debug_types"
        self.offset = offset
        self.version = 0
        self.unit_type = None       # DWARF 5 header: "DW_UT_compile", ...
        self.signature = None       # type units
        self.type_offset = None
        self.root = None


DIE_LINE = re.compile(r"^ <(\d+)><([0-9a-f]+)>: Abbrev Number: (\d+)(?: \((\w+)\))?")
ATTR_LINE = re.compile(r"^\s+<[0-9a-f]+>\s+(DW_AT_\w+|Unknown AT value: \w+)\s*: ?(.*)$")
SECTION_LINE = re.compile(r"^Contents of the (\.debug_\w+) section:")
UNIT_LINE = re.compile(r"^\s+Compilation Unit @ offset (0x[0-9a-f]+|\d+):")
HEADER_LINE = re.compile(r"^\s+(Version|Unit Type|Signature|Type Offset):\s+(\S+)")


def parse_info(text):
    """The units of readelf --debug-dump=info, each with its DIE tree, and
    the DIEs by (section, offset)."""
    units, dies = [], {}
    section, unit, stack = ".debug_info", None, []
    for line in text.splitlines():
        m = SECTION_LINE.match(line)
        if m:
            section = m.group(1)
            continue
        m = UNIT_LINE.match(line)
        if m:
            unit = Unit(section, number(m.group(1)))
            units.append(unit)
            stack = []
            continue
        m = HEADER_LINE.match(line)
        if m and unit is not None and unit.root is None:
            field, value = m.group(1), m.group(2)
            if field == "Version":
                unit.version = int(value)
            elif field == "Unit Type":
                unit.unit_type = value
            elif field == "Signature":
                unit.signature = int(value, 16)
            else:
                unit.type_offset = number(value)
            continue
        m = DIE_LINE.match(line)
        if m:
            depth, offset, abbrev = int(m.group(1)), int(m.group(2), 16), int(m.group(3))
            del stack[depth:]
            if abbrev == 0:
                continue
            parent = stack[-1] if stack else None
            die = Die(offset, depth, m.group(4), parent, unit)
            if parent is None:
                unit.root = die
            else:
                parent.children.append(die)
            stack.append(die)
            dies[(section, offset)] = die
            continue
        m = ATTR_LINE.match(line)
        if m and stack:
            name = m.group(1)
            if name == "Unknown AT value: 2007":
                name = "DW_AT_MIPS_linkage_name"
            stack[-1].attrs[name] = m.group(2).rstrip()
    return units, dies


STRING_FORM = re.compile(r"^\((?:indirect|indexed)[^)]*\): ")


def string_value(raw):
    return STRING_FORM.sub("", raw)


def flag(die, name):
    return name in die.attrs and number(die.attrs[name]) != 0


def static_address(die):
    """The operand of a location that is one DW_OP_addr and nothing more."""
    raw = die.attrs.get("DW_AT_location")
    if raw is None:
        return None
    m = re.search(r"\t\((.*)\)$", raw)
    if not m:
        return None  # location list
    ops = m.group(1).split("; ")
    if len(ops) != 1:
        return None
    m = re.match(r"^DW_OP_addr: ([0-9a-f]+)$", ops[0])
    return int(m.group(1), 16) if m else None


def is_compile_unit(unit):
    return unit.root is not None and unit.root.tag == "DW_TAG_compile_unit"


def check_unit_kind(unit):
    """Stops at the units this table does not take: split DWARF skeletons
    (the executable is to be refused) and partial units."""
    root = unit.root
    if unit.unit_type in ("DW_UT_skeleton", "DW_UT_split_compile") or \
            root.tag == "DW_TAG_skeleton_unit" or \
            "DW_AT_dwo_name" in root.attrs or "DW_AT_GNU_dwo_name" in root.attrs:
        raise DeriveError("unit at 0x%x is a split-DWARF skeleton" % unit.offset)
    if root.tag not in ("DW_TAG_compile_unit", "DW_TAG_type_unit"):
        raise DeriveError("unit at 0x%x is a %s" % (unit.offset, root.tag))


class Program:
    """Everything read from the listings of one executable."""

    def __init__(self, name):
        read = lambda suffix: open(os.path.join(HERE, name + suffix)).read()
        self.name = name
        self.units, self.dies = parse_info(read(".readelf-info.txt"))
        for unit in self.units:
            check_unit_kind(unit)
        self.type_units = {u.signature: u for u in self.units
                           if u.root.tag == "DW_TAG_type_unit"}
        self.big_endian, self.sections, self.symbols, self.h8, self.symbol_list = \
            parse_syms(read(".readelf-syms.txt"))
        self.ranges = RangeLists(read(".readelf-ranges.txt"), self.big_endian)
        self.tables = parse_decodedline(read(".decodedline.txt"))
        self.file_tables = parse_rawline(read(".readelf-rawline.txt"))
        # The compilation units' line tables in .debug_line order; the
        # decodedline tables come in that order.
        self.stmt_lists = sorted(set(number(u.root.attrs["DW_AT_stmt_list"])
                                     for u in self.units if is_compile_unit(u)
                                     and "DW_AT_stmt_list" in u.root.attrs))
        if len(self.stmt_lists) != len(self.tables):
            raise DeriveError("%d line tables of compilation units, %d tables listed"
                              % (len(self.stmt_lists), len(self.tables)))
        for unit in self.units:
            if is_compile_unit(unit) and "DW_AT_stmt_list" in unit.root.attrs:
                self.resolve_first_file(unit)

    def resolve_first_file(self, unit):
        """Gives the rows that objdump leaves in file 1 its path, and
        checks every row's path against the file name objdump prints in
        the row itself."""
        offset = number(unit.root.attrs["DW_AT_stmt_list"])
        rows = self.tables[self.stmt_lists.index(offset)]
        first = self.file_tables[offset].path(1, self.comp_dir(unit))
        for row in rows:
            if row.path is FIRST_FILE:
                row.path = first
            if base_name(row.path) != row.name:
                raise DeriveError("row %s %s at 0x%x: in file %s by the listing's file lines"
                                  % (row.name, row.line, row.address, row.path))

    def referenced(self, die, raw):
        """The DIE a reference attribute of DIE names."""
        m = re.match(r"^signature: (0x[0-9a-f]+)", raw)
        if m:
            unit = self.type_units.get(int(m.group(1), 16))
            if unit is None:
                raise DeriveError("no type unit has signature %s" % m.group(1))
            return self.dies[(unit.section, unit.offset + unit.type_offset)]
        m = re.match(r"^<0x([0-9a-f]+)>", raw)
        if not m:
            raise DeriveError("not a reference: %r" % raw)
        return self.dies[(die.unit.section, int(m.group(1), 16))]

    def chain(self, die):
        """The DIE and what its origin / specification reach, in order."""
        seen = []
        while die is not None and die not in seen:
            seen.append(die)
            raw = die.attrs.get("DW_AT_abstract_origin") or die.attrs.get("DW_AT_specification")
            die = self.referenced(die, raw) if raw else None
        return seen

    def holder(self, die, *names):
        """The first DIE of the chain with one of the attributes NAMES."""
        for d in self.chain(die):
            if any(n in d.attrs for n in names):
                return d
        return None

    def inherited(self, die, *names):
        d = self.holder(die, *names)
        if d is None:
            return None
        return next(d.attrs[n] for n in names if n in d.attrs)

    def c_name(self, die):
        raw = self.inherited(die, "DW_AT_linkage_name", "DW_AT_MIPS_linkage_name")
        if raw is None:
            raw = self.inherited(die, "DW_AT_name")
        return None if raw is None else string_value(raw)

    def all_names(self, die):
        """Every DW_AT_name and linkage name along the chain."""
        names = []
        for d in self.chain(die):
            for n in ("DW_AT_name", "DW_AT_linkage_name", "DW_AT_MIPS_linkage_name"):
                if n in d.attrs:
                    names.append(string_value(d.attrs[n]))
        return names

    def external(self, die):
        return any(flag(d, "DW_AT_external") for d in self.chain(die))

    # -------------------------------------------------- files and tables

    def comp_dir(self, unit):
        raw = unit.root.attrs.get("DW_AT_comp_dir")
        if raw is None:
            # A type unit has none: that of the compilation unit whose
            # line table it shares.
            stmt = unit.root.attrs.get("DW_AT_stmt_list")
            for u in self.units:
                if is_compile_unit(u) and u.root.attrs.get("DW_AT_stmt_list") == stmt:
                    return self.comp_dir(u)
            return ""
        return string_value(raw)

    def unit_path(self, unit):
        return full_path(string_value(unit.root.attrs.get("DW_AT_name", "")),
                         self.comp_dir(unit))

    def rows(self, unit):
        raw = unit.root.attrs.get("DW_AT_stmt_list")
        if raw is None:
            return None
        return self.tables[self.stmt_lists.index(number(raw))]

    def decl_file(self, die):
        """Full path of the file DW_AT_decl_file names along the chain of
        DIE, or None."""
        holder = self.holder(die, "DW_AT_decl_file")
        if holder is None:
            return None
        index = number(holder.attrs["DW_AT_decl_file"])
        unit = holder.unit
        raw = unit.root.attrs.get("DW_AT_stmt_list")
        if raw is None:
            raise DeriveError("DW_AT_decl_file at 0x%x in a unit without a line table"
                              % holder.offset)
        table = self.file_tables[number(raw)]
        if table.version < 5 and index == 0:
            return None  # no file
        if index not in table.files:
            raise DeriveError("DW_AT_decl_file %d at 0x%x: no such file" % (index, holder.offset))
        return table.path(index, self.comp_dir(unit))


# --------------------------------------------------------------- ranges

class RangeLists:
    """Range lists by offset: .debug_ranges as readelf prints it, and
    .debug_rnglists decoded from its hex dump."""

    def __init__(self, text, big_endian):
        self.lists = {}      # .debug_ranges offset -> [(begin, end)]
        self.printed = {}    # .debug_rnglists offsets readelf listed -> [(begin, end)]
        self.rnglists = b""
        self.big_endian = big_endian
        section, listed = None, []
        for line in text.splitlines():
            if re.match(r"^Contents of the \.z?debug_ranges", line):
                section = "ranges"
            elif re.match(r"^Contents of the \.z?debug_rnglists", line):
                section = "rnglists"
            elif re.match(r"^Hex dump of section '\.z?debug_rnglists'", line):
                section = "hex"
            elif section == "ranges":
                self._ranges_line(line, self.lists)
            elif section == "rnglists":
                # Entries carry their own offsets here; the list's offset
                # heads them ("Offset: 0xc, Index: 0").
                m = re.match(r"^\s+Offset: (0x[0-9a-f]+), Index", line)
                if m:
                    listed = self.printed.setdefault(number(m.group(1)), [])
                else:
                    self._ranges_line(line, {}, listed)
            elif section == "hex" and re.match(r"^  0x[0-9a-f]{8} ", line):
                # "  0xOFFSET " then 16 bytes in four space-separated
                # groups of 8 hex digits (padded with blanks on the last
                # line), then the same bytes as text.
                self.rnglists += bytes.fromhex(line[13:48].replace(" ", ""))
        for offset, ranges in self.printed.items():
            if self.rnglist(offset) != ranges:
                raise DeriveError("rnglist at 0x%x: readelf printed %s, hex dump gives %s"
                                  % (offset, ranges, self.rnglist(offset)))

    @staticmethod
    def _ranges_line(line, into, ranges=None):
        m = re.match(r"^\s+([0-9a-f]{8}) (?:([0-9a-f]{8}) ([0-9a-f]{8})|<End of list>)", line)
        if not m:
            return
        if ranges is None:
            ranges = into.setdefault(int(m.group(1), 16), [])
        if m.group(2) and "(base address)" not in line:
            begin, end = int(m.group(2), 16), int(m.group(3), 16)
            if begin < end:
                ranges.append((begin, end))

    def rnglist(self, offset):
        data, pos, base, out = self.rnglists, offset, 0, []
        order = "big" if self.big_endian else "little"

        def address():
            nonlocal pos
            pos += 4
            return int.from_bytes(data[pos - 4:pos], order)

        def uleb():
            nonlocal pos
            value, shift = 0, 0
            while True:
                byte = data[pos]
                pos += 1
                value |= (byte & 0x7F) << shift
                shift += 7
                if byte < 0x80:
                    return value

        while True:
            kind = data[pos]
            pos += 1
            if kind == 0:       # DW_RLE_end_of_list
                return out
            if kind == 4:       # DW_RLE_offset_pair
                begin, end = base + uleb(), base + uleb()
            elif kind == 5:     # DW_RLE_base_address
                base = address()
                continue
            elif kind == 6:     # DW_RLE_start_end
                begin, end = address(), address()
            elif kind == 7:     # DW_RLE_start_length
                begin = address()
                end = begin + uleb()
            else:
                raise DeriveError("DW_RLE kind %d needs .debug_addr" % kind)
            if begin < end:
                out.append((begin, end))

    def get(self, version, offset):
        if version >= 5:
            return self.rnglist(offset)
        if offset not in self.lists:
            raise DeriveError("no range list at 0x%x" % offset)
        return self.lists[offset]


# ---------------------------------------------------------------- lines

ROW_LINE = re.compile(r"^(\S.*?)\s+(\d+|-)\s+(0x[0-9a-f]+|0)(?:\s+(\d+))?(?:\s+x)?\s*$")


class Row:
    def __init__(self, path, name, line, address):
        self.path = path        # as the listing names the row's file
        self.name = name        # the row's first column
        self.line = line        # None: end of sequence
        self.address = address


# Stands for file 1 of the table: the file a sequence starts in.
FIRST_FILE = object()


def parse_decodedline(text):
    """The line tables, in .debug_line order, each a list of rows.  The
    state machine starts every sequence in file 1 again, which objdump
    does not announce: a row after an end of sequence, before any file
    line, has the path FIRST_FILE (resolved by Program)."""
    tables, path = [], None
    for line in text.splitlines():
        if line.startswith("CU: ") and line.endswith(":"):
            path = line[4:-1]
            tables.append([])
            continue
        if tables and (line.endswith(":") or line.endswith(":[++]")) and \
                not ROW_LINE.match(line):
            path = line[:-5] if line.endswith(":[++]") else line[:-1]
            continue
        m = ROW_LINE.match(line)
        if m and tables:
            lineno = None if m.group(2) == "-" else int(m.group(2))
            tables[-1].append(Row(path, m.group(1), lineno, int(m.group(3), 16)))
            if lineno is None:
                path = FIRST_FILE
    return tables


def sequences(rows):
    """The rows of a table cut after each end of sequence."""
    out, current = [], []
    for row in rows:
        current.append(row)
        if row.line is None:
            out.append(current)
            current = []
    if current:
        out.append(current)
    return out


class FileTable:
    """The directory and file tables of one line program."""

    def __init__(self, version):
        self.version = version
        self.dirs = {}
        self.files = {}     # index -> (directory index, name)

    def path(self, index, comp_dir):
        dir_index, name = self.files[index]
        if self.version < 5 and dir_index == 0:
            directory = comp_dir
        else:
            directory = full_path(self.dirs[dir_index], comp_dir)
        return full_path(name, directory)


def parse_rawline(text):
    """{.debug_line offset: FileTable} from readelf --debug-dump=rawline."""
    tables, table, part, columns = {}, None, None, None
    for line in text.splitlines():
        m = re.match(r"^\s+Offset:\s+(0x[0-9a-f]+|\d+)$", line)
        if m:
            offset = number(m.group(1))
            table = None
            continue
        m = re.match(r"^\s+DWARF Version:\s+(\d+)", line)
        if m:
            table = tables[offset] = FileTable(int(m.group(1)))
            part = None
            continue
        if table is None:
            continue
        if line.startswith(" The Directory Table"):
            part = "dirs"
        elif line.startswith(" The File Name Table"):
            part, columns = "files", None
        elif line.startswith(" Line Number Statements") or \
                line.startswith(" No Line Number Statements"):
            part = None
        elif part == "dirs":
            m = re.match(r"^  (\d+)\t(.*)$", line)
            if m:
                table.dirs[int(m.group(1))] = string_value(m.group(2))
        elif part == "files":
            if line.startswith("  Entry\t"):
                columns = line.strip().split("\t")
                continue
            m = re.match(r"^  (\d+)\t(.*)$", line)
            if m and columns:
                fields = line.strip().split("\t")
                entry = dict(zip(columns, fields))
                table.files[int(m.group(1))] = (int(entry["Dir"]),
                                                string_value(entry["Name"]))
    return tables


def full_path(path, comp_dir):
    if not path.startswith("/"):
        path = comp_dir + "/" + path
    return posixpath.normpath(path)


def base_name(path):
    return re.split(r"[/\\]", path)[-1]


# -------------------------------------------------------------- symbols

SECTION_HEADER = re.compile(
    r"^\s+\[\s*(\d+)\]\s+(\S+)\s+\S+\s+([0-9a-f]+)\s+[0-9a-f]+\s+([0-9a-f]+)\s+[0-9a-f]+\s+([A-Za-z]*)\s+\d+\s+\d+\s+\d+$")
SYM_LINE = re.compile(
    r"^\s+\d+: ([0-9a-f]{8})\s+(\d+|0x[0-9a-f]+) (\w+)\s+\w+\s+\w+\s+(\S+)\s+(\S+)")


class Section:
    def __init__(self, name, address, size, flags):
        self.name = name
        self.address = address
        self.size = size
        self.flags = flags

    def holds(self, address):
        return self.address <= address < self.address + self.size


class Symbol:
    def __init__(self, name, kind, size, ndx):
        self.name = name
        self.kind = kind        # FUNC, OBJECT, NOTYPE, SECTION, FILE, ...
        self.size = size
        self.ndx = ndx          # section index, or UND / ABS / COM


def parse_syms(text):
    """Byte order, sections, symbol table {value: [Symbol]}, whether the
    machine is the H8/300 family, and the symbols in table order as
    (value, Symbol)."""
    big = None
    h8 = False
    sections, symbols, ordered = [], {}, []
    for line in text.splitlines():
        if re.match(r"^\s+Data:", line):
            big = "big endian" in line
        if re.match(r"^\s+Machine:\s+Renesas H8/300", line):
            h8 = True
        m = SECTION_HEADER.match(line)
        if m and int(m.group(1)) != 0:
            sections.append(Section(m.group(2), int(m.group(3), 16),
                                    int(m.group(4), 16), m.group(5)))
            sections[-1].number = int(m.group(1))
            continue
        m = SYM_LINE.match(line)
        if m:
            symbol = Symbol(m.group(5), m.group(3), number(m.group(2)), m.group(4))
            symbols.setdefault(int(m.group(1), 16), []).append(symbol)
            ordered.append((int(m.group(1), 16), symbol))
    if big is None:
        raise DeriveError("no ELF header in the symbol listing")
    if not sections:
        raise DeriveError("no section table in the symbol listing")
    return big, sections, symbols, h8, ordered


# ----------------------------------------------------------- size class

def size_class(program, die):
    """The label of an entity by its DWARF type (through its chain)."""
    holder = program.holder(die, "DW_AT_type")
    t = program.referenced(holder, holder.attrs["DW_AT_type"]) if holder else None
    for _ in range(100):
        if t is None:
            return "(VOID)"
        if t.tag in SKIP_TAGS or t.tag in FOLLOW_TAGS:
            raw = t.attrs.get("DW_AT_type")
            t = program.referenced(t, raw) if raw else None
            continue
        if t.tag != "DW_TAG_base_type" or "DW_AT_byte_size" not in t.attrs:
            return "(VOID)"
        size = number(t.attrs["DW_AT_byte_size"])
        encoding = number(t.attrs["DW_AT_encoding"])
        if encoding == DW_ATE_COMPLEX_FLOAT:
            return "(VOID)"
        if encoding == DW_ATE_FLOAT:
            return "(FLOT)" if size <= 4 else "(DBLE)" if size == 8 else "(LGDL)"
        return "(BYTE)" if size == 1 else "(WORD)" if size == 2 else "(LONG)"
    raise DeriveError("type chain too long")


# ----------------------------------------------------------- conversion

class Function:
    def __init__(self, die, entry, ranges):
        self.die = die
        self.entry = entry
        self.ranges = ranges        # as DWARF gives them (after dropping)
        self.owned = ranges         # cut at the next function's entry
        self.file = None


def unit_language(unit):
    raw = unit.root.attrs.get("DW_AT_language")
    return number(raw) if raw else 0


def unit_name(unit):
    raw = unit.root.attrs.get("DW_AT_name")
    return string_value(raw) if raw else ""


def unit_file(unit):
    return base_name(unit_name(unit))[:32]


def artificial(unit):
    """A unit named other than by a file (<artificial>, link-time
    optimised code)."""
    return unit_name(unit).startswith("<")


def walk(die):
    yield die
    for child in die.children:
        yield from walk(child)


class Placement:
    """Whether an address of an entity lies where the executable has
    something: the section rule, the tombstones, and at 0 the symbol
    table."""

    def __init__(self, program):
        self.program = program
        self.code = [s for s in program.sections if "A" in s.flags and "X" in s.flags
                     and s.size > 0]
        self.data = [s for s in program.sections if "A" in s.flags and s.size > 0]

    def in_code(self, address):
        return address not in TOMBSTONES and any(s.holds(address) for s in self.code)

    def in_data(self, address):
        return address not in TOMBSTONES and any(s.holds(address) for s in self.data)

    def named_at_zero(self, die):
        names = self.program.all_names(die)
        for s in self.program.symbols.get(0, []):
            if s.kind in ("FILE", "SECTION") or s.ndx == "UND":
                continue
            if any(s.name == n or s.name == "_" + n for n in names):
                return True
        return False

    def function(self, address, die):
        return self.in_code(address) and (address != 0 or self.named_at_zero(die))

    def variable(self, address, die):
        return self.in_data(address) and (address != 0 or self.named_at_zero(die))


def function_of(program, placement, die):
    """The function a subprogram DIE defines, or None without a placed
    address."""
    attrs, version = die.attrs, die.unit.version
    if "DW_AT_low_pc" in attrs and "DW_AT_high_pc" in attrs:
        low = number(attrs["DW_AT_low_pc"])
        high = number(attrs["DW_AT_high_pc"])
        if version >= 4:
            high += low
        if not placement.function(low, die):
            return None
        return Function(die, low, [(low, high)] if low < high else [])
    if "DW_AT_ranges" in attrs:
        if number(die.unit.root.attrs.get("DW_AT_low_pc", "0")) != 0:
            raise DeriveError("range list under a unit base address other than 0")
        ranges = [r for r in program.ranges.get(version, number(attrs["DW_AT_ranges"]))
                  if placement.function(r[0], die)]
        entry = attrs.get("DW_AT_entry_pc")
        if entry is not None and placement.function(number(entry), die):
            return Function(die, number(entry), ranges)
        if not ranges:
            return None
        return Function(die, ranges[0][0], ranges)
    return None


def symbol_clone_of(symbol, name):
    return symbol == name or symbol.startswith(name + ".") or symbol.startswith(name + "___")


def label_prefix(program, placement):
    """"_" or "", from the ELF symbols at the entry of the first function
    that shows either."""
    for unit in program.units:
        if not is_compile_unit(unit) or unit_language(unit) == ASSEMBLER:
            continue
        for die in walk(unit.root):
            if die.tag != "DW_TAG_subprogram":
                continue
            function = function_of(program, placement, die)
            name = program.c_name(die)
            if function is None or name is None:
                continue
            names = [s.name for s in program.symbols.get(function.entry, [])]
            if any(symbol_clone_of(s, "_" + name) for s in names):
                return "_"
            if any(symbol_clone_of(s, name) for s in names):
                return ""
    return "_"


class Converter:
    def __init__(self, program):
        self.program = program
        self.placement = Placement(program)
        self.prefix = label_prefix(program, self.placement)
        self.sym_lines = []
        self.lin_lines = []
        self.records = 0
        self.written = set()        # (value, name field) of the lines written
        self.names = []             # (name field, value, full name) of every line met

    def entity_value(self, die):
        """The address a function or variable DIE is written at, if any."""
        if die.tag == "DW_TAG_subprogram":
            f = function_of(self.program, self.placement, die)
            return f.entry if f else None
        return static_address(die)

    def written_name(self, die):
        """The name a function or variable is (or would be) written with:
        external "_name", static "_name@qualifier"."""
        p = self.program
        prefix = "" if unit_language(die.unit) == ASSEMBLER else self.prefix
        c_name = p.c_name(die)
        name = (prefix + c_name)[:32]
        value = self.entity_value(die) if die.tag in ("DW_TAG_subprogram",
                                                      "DW_TAG_variable") else None
        if prefix and value is not None:
            spelled = [s.name for s in p.symbols.get(value, [])]
            if c_name in spelled and prefix + c_name not in spelled:
                name = c_name[:32]
        if p.external(die):
            return name
        return name + "@" + self.qualifier(die)

    def qualifier(self, die):
        scope = die.parent
        while scope is not None and scope.tag not in QUALIFIER_TAGS:
            scope = scope.parent
        if scope is None or self.program.c_name(scope) is None:
            if artificial(die.unit):
                path = self.program.decl_file(die)
                if path is not None:
                    return base_name(path)[:32]
            return unit_file(die.unit)
        written = self.written_name(scope)
        return written[1:] if written.startswith("_") else written

    def full_name(self, die, spelled=None):
        """The name before any cut: what written_name gives with no name
        or file name cut (SPELLED: the spelling of a folded function's
        symbol)."""
        p = self.program
        prefix = "" if unit_language(die.unit) == ASSEMBLER else self.prefix
        c_name = p.c_name(die)
        name = prefix + c_name
        value = self.entity_value(die) if die.tag in ("DW_TAG_subprogram",
                                                      "DW_TAG_variable") else None
        if prefix and value is not None:
            names = [s.name for s in p.symbols.get(value, [])]
            if c_name in names and prefix + c_name not in names:
                name = c_name
        if spelled is not None:
            name = spelled
        if p.external(die):
            return name
        scope = die.parent
        while scope is not None and scope.tag not in QUALIFIER_TAGS:
            scope = scope.parent
        if scope is None or p.c_name(scope) is None:
            qualifier = base_name(unit_name(die.unit))
            if artificial(die.unit):
                path = p.decl_file(die)
                if path is not None:
                    qualifier = base_name(path)
        else:
            qualifier = self.full_name(scope)
            qualifier = qualifier[1:] if qualifier.startswith("_") else qualifier
        return name + "@" + qualifier

    def symbol_line(self, die, value, spelled=None):
        """Writes the line of an entity unless one with the same value
        and name was written; says whether it wrote it.  SPELLED: a
        folded function, written under its symbol's spelling."""
        if spelled is None:
            name = self.written_name(die)
        else:
            name = spelled[:32]
            if not self.program.external(die):
                name += "@" + self.qualifier(die)
        external = self.program.external(die)
        field = name if external else name[:65]
        self.names.append((field, value, self.full_name(die, spelled)))
        if (value, field) in self.written:
            return False
        self.written.add((value, field))
        label = size_class(self.program, die)
        if external:
            line = "%08X %s%s%s" % (value, name.ljust(32), " " * 34, label)
        else:
            line = "%08X %s %s" % (value, name[:65].ljust(65), label)
        assert len(line) == 81, line
        self.sym_lines.append(line + "\n")
        return True

    def convert(self):
        p = self.program
        units = [u for u in p.units if is_compile_unit(u)]
        functions = {}              # unit offset -> [Function] written
        folding = []                # (unit, DIE, function index)
        for unit in units:
            functions[unit.offset] = []
            for die in walk(unit.root):
                if p.c_name(die) is None:
                    continue
                if die.tag == "DW_TAG_subprogram":
                    function = function_of(p, self.placement, die)
                    if function is not None and self.symbol_line(die, function.entry):
                        self.check_function(function)
                        functions[unit.offset].append(function)
                    elif not any(a in die.attrs for a in ("DW_AT_low_pc", "DW_AT_ranges")) \
                            and not flag(die, "DW_AT_declaration"):
                        folding.append((unit, die, len(functions[unit.offset])))
                elif die.tag == "DW_TAG_variable":
                    address = static_address(die)
                    if address is not None and self.placement.variable(address, die) \
                            and self.symbol_line(die, address):
                        self.check_variable(address)
        written = [f for fs in functions.values() for f in fs]
        for function in written:
            function.owned = self.owned_ranges(function, written)
        self.fold(folding, functions, written)
        written = [f for fs in functions.values() for f in fs]
        for function in written:
            function.owned = self.owned_ranges(function, written)
        for unit in units:
            self.line_records(unit, functions[unit.offset])

    def function_symbols(self):
        """The symbols that name functions: FUNC, and on H8 (whose
        compiler types nothing) NOTYPE symbols with a size in an
        executable section; in table order."""
        p = self.program
        executable = {s.number for s in p.sections if "X" in s.flags}
        out = []
        for value, symbol in p.symbol_list:
            if symbol.kind == "FUNC":
                out.append((value, symbol))
            elif p.h8 and symbol.kind == "NOTYPE" and symbol.size > 0 and \
                    symbol.ndx.isdigit() and int(symbol.ndx) in executable:
                out.append((value, symbol))
        return out

    def fold(self, folding, functions, written):
        """Functions folded by identical-code folding: a function symbol
        at an address no written function covers, named as a subprogram
        DIE without an address (not a declaration) is named (with the
        label prefix or as it stands), is written at the symbol's value
        under the symbol's spelling with that DIE's size class, in its
        unit where the DIE stands, with one range [value, value + size).
        Of several such DIEs, the first (unit order, DIE order) of the
        first unit whose line table has a row (not an end of sequence) in
        the range; without one, the first DIE."""
        p = self.program

        def covered(value):
            return any(f.entry == value or any(lo <= value < hi for lo, hi in f.owned)
                       for f in written)

        def spellings(die):
            prefix = "" if unit_language(die.unit) == ASSEMBLER else self.prefix
            names = []
            for raw in (p.inherited(die, "DW_AT_linkage_name", "DW_AT_MIPS_linkage_name"),
                        p.inherited(die, "DW_AT_name")):
                if raw is not None:
                    names += [prefix + string_value(raw), string_value(raw)]
            return names

        def holds_rows(unit, low, high):
            rows = p.rows(unit) or []
            return any(r.line is not None and low <= r.address < high for r in rows)

        chosen = []                 # (function index, order, DIE, value, symbol)
        for value, symbol in self.function_symbols():
            if covered(value):
                continue
            matches = [c for c in folding if symbol.name in spellings(c[1])]
            if not matches:
                continue
            holding = [c for c in matches if holds_rows(c[0], value, value + symbol.size)]
            first = (holding or matches)[0]
            unit, die, index = first
            chosen.append((index, folding.index(first), die, value, symbol))
        # The symbol-file lines follow those of the walk, in unit and DIE
        # order, then by value; among the unit's functions each goes where
        # its DIE stands (inserted from the last place back, so that the
        # places before stay valid).
        chosen.sort(key=lambda c: (c[1], c[3]))
        for index, order, die, value, symbol in chosen:
            self.symbol_line(die, value, symbol.name)
        for index, order, die, value, symbol in reversed(chosen):
            ranges = [(value, value + symbol.size)] if symbol.size > 0 else []
            functions[die.unit.offset].insert(index, Function(die, value, ranges))

    @staticmethod
    def owned_ranges(function, written):
        """Each range cut at the lowest entry of another written function
        above its start."""
        out = []
        for lo, hi in function.ranges:
            above = [f.entry for f in written if f is not function and f.entry > lo]
            if above:
                hi = min(hi, min(above))
            out.append((lo, hi))
        return out

    def placed_rows(self, unit, rows, functions):
        """The rows of the sequences that stay: a sequence goes whole when
        its first address is not placed, or is 0 while no written
        function of the unit starts at 0."""
        starts_at_zero = any(f.entry == 0 for f in functions)
        out = []
        for seq in sequences(rows):
            first = seq[0].address
            if not self.placement.in_code(first):
                continue
            if first == 0 and not starts_at_zero:
                continue
            out.extend(seq)
        return out

    def line_records(self, unit, functions):
        p = self.program
        name = unit_name(unit)
        if "newlib/lib" in name:
            return
        if not artificial(unit):
            self.lin_lines.append("**** %s\n" % unit_file(unit))
        rows = p.rows(unit)
        if rows is None:
            return
        rows = self.placed_rows(unit, rows, functions)
        comp_dir = p.comp_dir(unit)
        own = p.unit_path(unit)
        paths = {row.path: full_path(row.path, comp_dir) for row in rows}
        if own in paths.values() or artificial(unit):
            own_file = lambda row: paths[row.path] == own
        else:
            own_base = base_name(name)
            own_file = lambda row: base_name(row.path) == own_base

        # Each row belongs to the first function (DIE order) that holds it.
        owner = {}
        for i, row in enumerate(rows):
            for function in functions:
                if any(lo <= row.address < hi for lo, hi in function.owned):
                    owner[i] = function
                    break

        groups = {}                 # file path -> [Function], first-seen order
        for function in functions:
            path = p.decl_file(function.die)
            if path is None and not artificial(unit):
                path = own
            elif path is None:
                # A function of a link-time unit without a declaration
                # file (the image's static constructor) takes the file of
                # its first row: the lowest address in its ranges, the
                # first in the line program there.
                inside = [(r.address, i) for i, r in enumerate(rows)
                          if r.line not in (None, 0)
                          and any(lo <= r.address < hi for lo, hi in function.ranges)]
                if inside:
                    path = paths[rows[min(inside)[1]].path]
            function.file = path
            groups.setdefault(path, []).append(function)
        order = []
        if not artificial(unit):
            order.append(own)
        order += [path for path in groups if path != own and path is not None]
        for path in order:
            if path != own or artificial(unit):
                self.lin_lines.append("**** %s\n" % base_name(path)[:32])
            for function in groups.get(path, []):
                same = own_file if path == own else \
                    (lambda row, path=path: paths[row.path] == path)
                kept = [r for i, r in enumerate(rows)
                        if owner.get(i) is function and r.line not in (None, 0) and same(r)]
                if kept:
                    self.function_records(function.entry, kept)

    def function_records(self, entry, kept):
        at_entry = [r for r in kept if r.address == entry]
        base = (at_entry or kept)[0].line
        self.record(entry, base)
        for i, row in enumerate(kept):
            if row.address == entry:
                continue
            if i + 1 == len(kept) or kept[i + 1].address != row.address:
                self.record(row.address, row.line)

    def record(self, address, line):
        self.lin_lines.append("%08X %5u\n" % (address, line))
        self.records += 1

    # Checks that tie the DWARF reading to the ELF symbol table.  H8 GCC
    # gives functions no type (NOTYPE); their sizes, like the DWARF
    # lengths, are those before linker relaxation.
    def check_function(self, function):
        symbols = [s for s in self.program.symbols.get(function.entry, [])
                   if s.kind in ("FUNC", "NOTYPE") and not s.name.startswith(".L")]
        if not symbols:
            raise DeriveError("no function symbol at function entry 0x%x" % function.entry)
        if len(function.ranges) == 1:
            size = function.ranges[0][1] - function.ranges[0][0]
            if all(s.size != size for s in symbols):
                raise DeriveError("function at 0x%x: DWARF size %d, symbol sizes %s"
                                  % (function.entry, size, [s.size for s in symbols]))

    def check_variable(self, address):
        if not any(s.kind in ("OBJECT", "NOTYPE") for s in self.program.symbols.get(address, [])):
            raise DeriveError("no data symbol at variable address 0x%x" % address)


SHOWN_COLLISIONS = 3            # names the warning line shows


def collisions(names):
    """The name fields that stand for more than one address because of
    the cut: fields met at two or more values, at least one of them cut
    from a longer name, and cut from two or more different names.  In
    order of first appearance: (field, [values], [full names]), values
    and full names each in order of first appearance."""
    groups = {}
    for field, value, full in names:
        g = groups.setdefault(field, ([], [], [False]))
        if value not in g[0]:
            g[0].append(value)
        if full not in g[1]:
            g[1].append(full)
        if full != field:
            g[2][0] = True
    return [(field, g[0], g[1]) for field, g in groups.items()
            if len(g[0]) > 1 and len(g[1]) > 1 and g[2][0]]


def collision_warning(found):
    """The line on standard error after a run."""
    if not found:
        return ""
    shown = "; ".join("%s at %s (cut from %s)" % (field, " ".join("%08X" % v for v in values),
                                         ", ".join(fulls))
                      for field, values, fulls in found[:SHOWN_COLLISIONS])
    more = ""
    if len(found) > SHOWN_COLLISIONS:
        more = "; and %d more (-debug lists all)" % (len(found) - SHOWN_COLLISIONS)
    return ("dravont: warning: %d names of the symbol file stand for more than one address"
            " once cut to 32 characters (65 for a qualified static): %s%s\n"
            % (len(found), shown, more))


def signed16(n):
    n &= 0xFFFF
    return n - 0x10000 if n >= 0x8000 else n


def derive(name):
    program = Program(name)
    converter = Converter(program)
    converter.convert()
    with open(os.path.join(HERE, name + ".expected.sym"), "w", newline="\n") as f:
        f.writelines(converter.sym_lines)
    with open(os.path.join(HERE, name + ".expected.lin"), "w", newline="\n") as f:
        f.writelines(converter.lin_lines)
    counts = "symbols=%d lineCount=%d\n" % (signed16(len(converter.sym_lines)),
                                            signed16(converter.records))
    with open(os.path.join(HERE, name + ".expected.counts"), "w", newline="\n") as f:
        f.write(counts)
    # Standard error: a file only where names collide.
    warning = collision_warning(collisions(converter.names))
    stderr_path = os.path.join(HERE, name + ".expected.stderr")
    if warning:
        with open(stderr_path, "w", newline="\n") as f:
            f.write(warning)
    elif os.path.exists(stderr_path):
        os.remove(stderr_path)
    print("%-24s prefix=%-3r %s" % (name, converter.prefix, counts.strip()))


def main(argv):
    names = argv or sorted(f[:-4] for f in os.listdir(HERE) if f.endswith(".elf"))
    try:
        for name in names:
            derive(name)
    except DeriveError as e:
        sys.exit("derive_expected_elf.py: %s: %s" % (name, e))


if __name__ == "__main__":
    main(sys.argv[1:])
