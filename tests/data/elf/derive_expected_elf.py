#!/usr/bin/env python3
"""Derive the expected symbol file and line file of each SH ELF fixture.

The expectations are computed from the text that the GNU binutils print of
each executable, never from its bytes and never with the converter, so
that the converter's own DWARF decoding is checked against an independent
reading of the same file.

    python3 derive_expected_elf.py [NAME ...]

For each NAME (default: every NAME.elf next to this script) it reads

    NAME.readelf-info.txt    sh-elf-readelf --debug-dump=info
    NAME.readelf-ranges.txt  sh-elf-readelf --debug-dump=Ranges, followed
                             for DWARF 5 by sh-elf-readelf -x .debug_rnglists
    NAME.decodedline.txt     sh-elf-objdump --wide --dwarf=decodedline
    NAME.readelf-syms.txt    sh-elf-readelf --wide -h -S -s

and writes NAME.expected.sym, NAME.expected.lin and NAME.expected.counts.

What the listings print, and what is taken from them
----------------------------------------------------
readelf --debug-dump=info: a unit starts with "Compilation Unit @ offset
0xN:" and its header fields ("Version: 5"); a DIE is the line
" <DEPTH><OFFSET>: Abbrev Number: K (DW_TAG_x)", its attributes follow as
"    <OFFSET>   DW_AT_x : VALUE"; "Abbrev Number: 0" closes a list of
children.  VALUE is printed as:
  * a string: "name", or "(indirect string, offset: 0xN): name" (also
    "indirect line string" and "indexed string");
  * a reference: "<0x2d>" (an offset in .debug_info);
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
entry belongs to; "(start == end)" marks an empty range and "<End of
list>" the end.  For .debug_rnglists (DWARF 5) readelf 2.40 prints only
the first list of each table when the table has no offset array (which
GCC never writes), so the lists are decoded here from the hex dump of the
section (DW_RLE_offset_pair, base_address, start_end, start_length,
end_of_list), and the lists readelf did print are compared with that.

objdump --wide --dwarf=decodedline: the tables in .debug_line order.  A
table starts with "CU: PATH:" (the primary file, with its directory in
wide mode unless the directory table is empty); "PATH:" or "./NAME:[++]"
lines announce a change of file ("./" is directory entry 0 of a version
2-4 table, the compilation directory); each row is
"NAME  LINE  ADDRESS  [VIEW]  [x]", where LINE "-" is the end of a
sequence and ADDRESS is "0x1000" (or "0").  A relative PATH is relative
to the unit's DW_AT_comp_dir.  The tables are matched to the units by the
order of their DW_AT_stmt_list offsets.

readelf --wide -h -S -s: the byte order ("Data: ... big endian") and the
symbol table, "Num: Value Size Type Bind Vis Ndx Name".

The conversion rules applied
----------------------------
Symbol file: the units in order, each unit's DIEs depth-first in order;
one line per defining entity:
  * a function: a DW_TAG_subprogram with DW_AT_low_pc (and high_pc) or
    DW_AT_ranges; value = low_pc, or for ranges DW_AT_entry_pc, else the
    start of the list's first range;
  * a variable: a DW_TAG_variable whose own DW_AT_location is exactly one
    DW_OP_addr operation; value = its operand.
Name, linkage name, type and the external flag come from the DIE, else
from what DW_AT_abstract_origin / DW_AT_specification reach, followed
transitively.  The C name is the linkage name (DW_AT_linkage_name or
DW_AT_MIPS_linkage_name) where present, else DW_AT_name; without either
the entity writes nothing.  The written name is prefix + C name, cut
after 32 characters; the prefix is "" for units written in assembler
(DW_AT_language 0x8001), else the program's label prefix: the first
function of a C/C++ unit, in DIE order, whose entry address carries an
ELF symbol "_NAME" or "_NAME.*" gives "_", one with only "NAME" or
"NAME.*" gives "", and without evidence it is "_".

External (flag set anywhere on the chain):
    "%08X " + name.ljust(32) + 34 spaces + label
Static:
    "%08X " + qualified[:65].ljust(65) + " " + label
qualified = written name + "@" + qualifier, where the qualifier is the
written name (itself qualified, if static) of the nearest enclosing
DW_TAG_subprogram or DW_TAG_inlined_subroutine less one leading "_",
else the unit's file name: the base name of DW_AT_name (after the last
"/" or "\\"), cut after 32 characters.

Label: the DWARF type through typedefs and const/volatile/restrict/atomic;
pointers, references, arrays, subroutine types and the function itself
follow to what they point to, hold or return; none is void.  A base type
of an integer, character or boolean encoding: 1 byte (BYTE), 2 (WORD), 3
or more (LONG); DW_ATE_float: up to 4 bytes (FLOT), 8 (DBLE), more
(LGDL); everything else (complex float, struct, union, class, enum, void,
no size) (VOID).

Line file: per unit "**** " + file name (cut after 32); a unit whose
DW_AT_name holds "newlib/lib" writes nothing.  Then for each function of
the unit written to the symbol file, in DIE order, the rows of the unit's
table (in table order) that lie in one of its ranges [low, high), name
the unit's own source file (the row's full path equals DW_AT_name joined
to DW_AT_comp_dir; if no row's path does, rows with the same base name)
and have a line other than 0 and are not an end of sequence.  With at
least one such row: a base record (entry address, line of the first kept
row at the entry address, else of the first kept row), then a record
"%08X %5u" for each kept row not at the entry address that is the last
of a run of kept rows at one address.

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
    def __init__(self, offset):
        self.offset = offset
        self.version = 0
        self.root = None


DIE_LINE = re.compile(r"^ <(\d+)><([0-9a-f]+)>: Abbrev Number: (\d+)(?: \((\w+)\))?")
ATTR_LINE = re.compile(r"^\s+<[0-9a-f]+>\s+(DW_AT_\w+|Unknown AT value: \w+)\s*: ?(.*)$")
UNIT_LINE = re.compile(r"^\s+Compilation Unit @ offset (0x[0-9a-f]+|\d+):")
VERSION_LINE = re.compile(r"^\s+Version:\s+(\d+)")


def parse_info(text):
    """The units of readelf --debug-dump=info, each with its DIE tree."""
    units, dies = [], {}
    unit, stack = None, []
    for line in text.splitlines():
        m = UNIT_LINE.match(line)
        if m:
            unit = Unit(number(m.group(1)))
            units.append(unit)
            stack = []
            continue
        m = VERSION_LINE.match(line)
        if m and unit is not None and unit.root is None:
            unit.version = int(m.group(1))
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
            dies[offset] = die
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


def reference(raw):
    m = re.match(r"^<0x([0-9a-f]+)>", raw)
    if not m:
        raise DeriveError("not a reference: %r" % raw)
    return int(m.group(1), 16)


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


class Program:
    """Everything read from the four listings of one executable."""

    def __init__(self, name):
        read = lambda suffix: open(os.path.join(HERE, name + suffix)).read()
        self.name = name
        self.units, self.dies = parse_info(read(".readelf-info.txt"))
        self.big_endian, self.symbols = parse_syms(read(".readelf-syms.txt"))
        self.ranges = RangeLists(read(".readelf-ranges.txt"), self.big_endian)
        self.tables = parse_decodedline(read(".decodedline.txt"))

    def chain(self, die):
        """The DIE and what its origin / specification reach, in order."""
        seen = []
        while die is not None and die not in seen:
            seen.append(die)
            raw = die.attrs.get("DW_AT_abstract_origin") or die.attrs.get("DW_AT_specification")
            die = self.dies[reference(raw)] if raw else None
        return seen

    def inherited(self, die, *names):
        for d in self.chain(die):
            for n in names:
                if n in d.attrs:
                    return d.attrs[n]
        return None

    def c_name(self, die):
        raw = self.inherited(die, "DW_AT_linkage_name", "DW_AT_MIPS_linkage_name")
        if raw is None:
            raw = self.inherited(die, "DW_AT_name")
        return None if raw is None else string_value(raw)

    def external(self, die):
        return any(flag(d, "DW_AT_external") for d in self.chain(die))


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
            if line.startswith("Contents of the .debug_ranges"):
                section = "ranges"
            elif line.startswith("Contents of the .debug_rnglists"):
                section = "rnglists"
            elif line.startswith("Hex dump of section '.debug_rnglists'"):
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
    def __init__(self, path, line, address):
        self.path = path        # as the listing names the row's file
        self.line = line        # None: end of sequence
        self.address = address


def parse_decodedline(text):
    """The line tables, in .debug_line order, each a list of rows."""
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
            tables[-1].append(Row(path, lineno, int(m.group(3), 16)))
    return tables


def full_path(path, comp_dir):
    if not path.startswith("/"):
        path = comp_dir + "/" + path
    return posixpath.normpath(path)


def base_name(path):
    return re.split(r"[/\\]", path)[-1]


# -------------------------------------------------------------- symbols

SYM_LINE = re.compile(r"^\s+\d+: ([0-9a-f]{8})\s+(\d+|0x[0-9a-f]+) (\w+)\s+\w+\s+\w+\s+\S+\s+(\S+)")


def parse_syms(text):
    """Byte order and symbol table: {value: [(name, type, size)]}."""
    big = None
    symbols = {}
    for line in text.splitlines():
        if re.match(r"^\s+Data:", line):
            big = "big endian" in line
        m = SYM_LINE.match(line)
        if m:
            symbols.setdefault(int(m.group(1), 16), []).append(
                (m.group(4), m.group(3), number(m.group(2))))
    if big is None:
        raise DeriveError("no ELF header in the symbol listing")
    return big, symbols


# ----------------------------------------------------------- size class

def size_class(program, die):
    """The label of an entity by its DWARF type (through its chain)."""
    raw = program.inherited(die, "DW_AT_type")
    for _ in range(100):
        if raw is None:
            return "(VOID)"
        t = program.dies[reference(raw)]
        if t.tag in SKIP_TAGS or t.tag in FOLLOW_TAGS:
            raw = t.attrs.get("DW_AT_type")
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
        self.ranges = ranges


def unit_language(unit):
    raw = unit.root.attrs.get("DW_AT_language")
    return number(raw) if raw else 0


def unit_file(unit):
    raw = unit.root.attrs.get("DW_AT_name")
    return base_name(string_value(raw))[:32] if raw else ""


def function_of(program, die):
    """The function a subprogram DIE defines, or None without address."""
    attrs, version = die.attrs, die.unit.version
    if "DW_AT_low_pc" in attrs and "DW_AT_high_pc" in attrs:
        low = number(attrs["DW_AT_low_pc"])
        high = number(attrs["DW_AT_high_pc"])
        if version >= 4:
            high += low
        return Function(die, low, [(low, high)])
    if "DW_AT_ranges" in attrs:
        ranges = program.ranges.get(version, number(attrs["DW_AT_ranges"]))
        if number(die.unit.root.attrs.get("DW_AT_low_pc", "0")) != 0:
            raise DeriveError("range list under a unit base address other than 0")
        entry = attrs.get("DW_AT_entry_pc")
        if entry is None and not ranges:
            return None
        return Function(die, number(entry) if entry else ranges[0][0], ranges)
    return None


def label_prefix(program):
    """"_" or "", from the ELF symbols at the entry of the first function
    that shows either."""
    for unit in program.units:
        if unit_language(unit) == ASSEMBLER:
            continue
        for die in walk(unit.root):
            if die.tag != "DW_TAG_subprogram":
                continue
            function = function_of(program, die)
            name = program.c_name(die)
            if function is None or name is None:
                continue
            names = [s[0] for s in program.symbols.get(function.entry, [])]
            matches = lambda n: any(s == n or s.startswith(n + ".") for s in names)
            if matches("_" + name):
                return "_"
            if matches(name):
                return ""
    return "_"


def walk(die):
    yield die
    for child in die.children:
        yield from walk(child)


class Converter:
    def __init__(self, program):
        self.program = program
        self.prefix = label_prefix(program)
        self.sym_lines = []
        self.lin_lines = []
        self.records = 0

    def written_name(self, die):
        """The name a function or variable is (or would be) written with:
        external "_name", static "_name@qualifier"."""
        p = self.program
        prefix = "" if unit_language(die.unit) == ASSEMBLER else self.prefix
        name = (prefix + p.c_name(die))[:32]
        if p.external(die):
            return name
        return name + "@" + self.qualifier(die)

    def qualifier(self, die):
        scope = die.parent
        while scope is not None and scope.tag not in QUALIFIER_TAGS:
            scope = scope.parent
        if scope is None or self.program.c_name(scope) is None:
            return unit_file(die.unit)
        written = self.written_name(scope)
        return written[1:] if written.startswith("_") else written

    def symbol_line(self, die, value):
        name = self.written_name(die)
        label = size_class(self.program, die)
        if self.program.external(die):
            line = "%08X %s%s%s" % (value, name.ljust(32), " " * 34, label)
        else:
            line = "%08X %s %s" % (value, name[:65].ljust(65), label)
        assert len(line) == 81, line
        self.sym_lines.append(line + "\n")

    def convert(self):
        p = self.program
        order = sorted(number(u.root.attrs["DW_AT_stmt_list"]) for u in p.units
                       if "DW_AT_stmt_list" in u.root.attrs)
        if len(order) != len(p.tables):
            raise DeriveError("%d units with line tables, %d tables listed"
                              % (len(order), len(p.tables)))
        for unit in p.units:
            functions = []
            for die in walk(unit.root):
                if p.c_name(die) is None:
                    continue
                if die.tag == "DW_TAG_subprogram":
                    function = function_of(p, die)
                    if function is not None:
                        self.check_function(function)
                        self.symbol_line(die, function.entry)
                        functions.append(function)
                elif die.tag == "DW_TAG_variable":
                    address = static_address(die)
                    if address is not None:
                        self.check_variable(address)
                        self.symbol_line(die, address)
            self.line_records(unit, functions, order)

    def line_records(self, unit, functions, order):
        root = unit.root
        name = string_value(root.attrs.get("DW_AT_name", ""))
        if "newlib/lib" in name:
            return
        self.lin_lines.append("**** %s\n" % unit_file(unit))
        if "DW_AT_stmt_list" not in root.attrs:
            return
        rows = self.program.tables[order.index(number(root.attrs["DW_AT_stmt_list"]))]
        comp_dir = string_value(root.attrs.get("DW_AT_comp_dir", ""))
        own = full_path(name, comp_dir)
        paths = {row.path: full_path(row.path, comp_dir) for row in rows}
        if own not in paths.values():
            own_base = base_name(name)
            same = lambda path: base_name(path) == own_base
        else:
            same = lambda path: paths[path] == own
        for function in functions:
            kept = [r for r in rows
                    if r.line not in (None, 0) and same(r.path)
                    and any(lo <= r.address < hi for lo, hi in function.ranges)]
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

    # Checks that tie the DWARF reading to the ELF symbol table.
    def check_function(self, function):
        symbols = [s for s in self.program.symbols.get(function.entry, []) if s[1] == "FUNC"]
        if not symbols:
            raise DeriveError("no FUNC symbol at function entry 0x%x" % function.entry)
        if len(function.ranges) == 1:
            size = function.ranges[0][1] - function.ranges[0][0]
            if all(s[2] != size for s in symbols):
                raise DeriveError("function at 0x%x: DWARF size %d, symbol sizes %s"
                                  % (function.entry, size, [s[2] for s in symbols]))

    def check_variable(self, address):
        if not any(s[1] in ("OBJECT", "NOTYPE") for s in self.program.symbols.get(address, [])):
            raise DeriveError("no data symbol at variable address 0x%x" % address)


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
    print("%-22s prefix=%-3r %s" % (name, converter.prefix, counts.strip()))


def main(argv):
    names = argv or sorted(f[:-4] for f in os.listdir(HERE) if f.endswith(".elf"))
    try:
        for name in names:
            derive(name)
    except DeriveError as e:
        sys.exit("derive_expected_elf.py: %s: %s" % (name, e))


if __name__ == "__main__":
    main(sys.argv[1:])
