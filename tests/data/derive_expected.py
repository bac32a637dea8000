#!/usr/bin/env python3
"""Derive the expected symbol file and line file of each COFF fixture.

The expectations are computed from the text that the GNU tools print
(h8300-hms-objdump -t, and -x for the architecture), not from the COFF
bytes and not with the converter, so the converter's own decoding is
checked against an independent reading of the same file.

    python3 derive_expected.py [NAME ...]

For each NAME (default: every NAME.objdump-t.txt next to this script) it
reads NAME.objdump-t.txt and NAME.objdump-x.txt and writes
NAME.expected.sym, NAME.expected.lin and NAME.expected.counts.

What objdump -t prints, and what is taken from it
--------------------------------------------------
A primary symbol-table entry is one line

    [IDX](sec N)(fl 0xFF)(ty T)(scl C) (nx A) 0xVALUE NAME

with n_type T in hex, n_sclass C in decimal and n_numaux A.  Each of the
A auxiliary entries follows on a line of its own:

  * function symbol (C_EXT or C_STAT whose first derived type is DT_FCN):
    "AUX tagndx .. ttlsiz 0x.. lnnos L next E" - L is x_lnnoptr (a file
    offset, decimal), E is x_endndx;
  * ".bf"/".ef"/".bb"/".eb" and other typed entries:
    "AUX lnno N size 0x.. tagndx .." - N is x_lnno;
  * C_FILE: "File " - the file name itself is printed as the NAME of the
    symbol line (objdump substitutes the auxiliary file name for ".file");
  * section symbols: "AUX scnlen .. nreloc .. nlnno ..".

After the AUX line of a symbol that owns line numbers, objdump prints
"OWNER :" and then one line "  REL : 0xADDR" for every line-number entry
that follows the owner's entry 0, up to the next entry whose line number
is 0 or the end of the section's table.  REL is l_lnno, the line relative
to the function's first line (which counts as 1), ADDR is l_paddr.

Format of the two output files
------------------------------
Symbol file, one line per typed C_EXT or C_STAT symbol, in table order:

  external  "%08X " + name (cut at 32) left-justified in 32 columns
            + 34 spaces + size-class label (6 characters) + "\\n"
  static    "%08X " + qualified name (cut at 65) left-justified in 65
            columns + " " + label + "\\n"

  The label comes from the basic type, n_type & 0xF (table below); on the
  H8 family int and unsigned int are "(WORD)".  Symbol names are cut at 32
  characters, source-file names too.  A static's qualified name is
  name + "@" + qualifier: the name under which the enclosing function was
  written, less one leading underscore, or - outside any function - the
  current source-file name (possibly empty).  The name under which a
  static function is written (its own qualified name) is kept whole as
  the qualifier of the statics inside it.

Line file:

  "**** NAME\\n"    for each C_FILE entry, unless its name is exactly
                   "fake" (no marker, current file name emptied) or
                   contains "newlib/lib" (no marker, name kept); a C_FILE
                   entry without auxiliary entry is treated like "fake";
  "%08X %5u\\n"     line records: for a ".bf" entry with a non-zero base
                   line (its x_lnno), the base record (address of the
                   function, base line), then one record per line entry
                   of that function: (l_paddr, l_lnno + base - 1), in
                   unsigned 32-bit arithmetic.  A ".bf" without auxiliary
                   entry, or whose function has no line-number pointer
                   (no function with a non-zero x_lnnoptr met yet, or the
                   latest function symbol has x_lnnoptr 0), writes nothing.

Scopes: a function symbol (C_EXT/C_STAT, DT_FCN, with an auxiliary entry)
opens a scope up to x_endndx; the entry whose index equals x_endndx is
already outside.  Only function symbols with an auxiliary entry take part
in this bookkeeping.

Counts: symbols = symbol-file lines, lineCount = line records (markers
not counted), both as signed 16-bit counters.
"""

import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))

C_EXT, C_STAT, C_FCN, C_FILE = 2, 3, 101, 103
DT_MASK, DT_FCN = 0x30, 0x20

# Size-class label per basic type (n_type & 0xF) for the two families.
SIZE_CLASS = {
    "H8": ["(VOID)", "(VOID)", "(BYTE)", "(WORD)", "(WORD)", "(LONG)",
           "(FLOT)", "(DBLE)", "(VOID)", "(VOID)", "(VOID)", "(VOID)",
           "(BYTE)", "(WORD)", "(WORD)", "(LONG)"],
    "SH": ["(VOID)", "(VOID)", "(BYTE)", "(WORD)", "(LONG)", "(LONG)",
           "(FLOT)", "(DBLE)", "(VOID)", "(VOID)", "(VOID)", "(VOID)",
           "(BYTE)", "(WORD)", "(LONG)", "(LONG)"],
}

NAME_MAX = 32          # symbol names and source-file names
QUALIFIED_MAX = 65     # name field of a static line

SYM_RE = re.compile(
    r"^\[\s*(\d+)\]\(sec\s+(-?\d+)\)\(fl 0x([0-9a-f]+)\)\(ty\s+([0-9a-f]+)\)"
    r"\(scl\s+(\d+)\) \(nx (\d+)\) 0x([0-9a-f]+) (.*)$")
AUX_FCN_RE = re.compile(
    r"^AUX tagndx (-?\d+) ttlsiz 0x([0-9a-f]+) lnnos (-?\d+) next (-?\d+)$")
AUX_LNNO_RE = re.compile(r"^AUX lnno (-?\d+) size 0x([0-9a-f]+) tagndx (-?\d+)")
LINE_OWNER_RE = re.compile(r"^(\S.*) :$")
LINE_ENTRY_RE = re.compile(r"^\s*(-?\d+) : 0x([0-9a-f]+)$")

MASK32 = 0xFFFFFFFF


class Symbol:
    def __init__(self, index, scnum, stype, sclass, numaux, value, name):
        self.index = index
        self.scnum = scnum
        self.type = stype
        self.sclass = sclass
        self.numaux = numaux
        self.value = value & MASK32
        self.name = name
        self.aux = []            # the AUX/File lines, in order
        self.line_owner = None   # name printed before the line entries
        self.lines = []          # [(l_lnno, l_paddr)] after entry 0

    def is_function(self):
        return (self.type & DT_MASK) == DT_FCN

    def first_aux(self):
        return self.aux[0] if self.aux else None


def fail(path, msg):
    raise SystemExit("%s: %s" % (path, msg))


def parse_objdump_t(path):
    with open(path, "r", encoding="latin-1", newline="") as f:
        text = f.read()
    lines = text.split("\n")
    try:
        start = lines.index("SYMBOL TABLE:") + 1
    except ValueError:
        fail(path, "no SYMBOL TABLE: line")

    symbols = []
    cur = None
    for raw in lines[start:]:
        if raw == "":
            continue
        m = SYM_RE.match(raw)
        if m:
            cur = Symbol(int(m.group(1)), int(m.group(2)), int(m.group(4), 16),
                         int(m.group(5)), int(m.group(6)), int(m.group(7), 16),
                         m.group(8))
            symbols.append(cur)
            continue
        if cur is None:
            fail(path, "text before the first symbol: %r" % raw)
        if raw.startswith("AUX ") or raw == "File ":
            if cur.lines or cur.line_owner is not None:
                fail(path, "AUX line after line entries: %r" % raw)
            cur.aux.append(raw)
            continue
        m = LINE_ENTRY_RE.match(raw)
        if m and cur.line_owner is not None:
            cur.lines.append((int(m.group(1)) & MASK32, int(m.group(2), 16)))
            continue
        m = LINE_OWNER_RE.match(raw)
        if m and cur.line_owner is None:
            cur.line_owner = m.group(1)
            continue
        fail(path, "unrecognised line: %r" % raw)

    # Every primary entry is followed by exactly its auxiliary entries.
    expected = 0
    for s in symbols:
        if s.index != expected:
            fail(path, "symbol index %d, expected %d" % (s.index, expected))
        if len(s.aux) != s.numaux:
            fail(path, "[%d] %s: nx %d but %d AUX lines"
                 % (s.index, s.name, s.numaux, len(s.aux)))
        expected = s.index + 1 + s.numaux
    return symbols


def target_family(path_x):
    with open(path_x, "r", encoding="latin-1") as f:
        for raw in f:
            m = re.match(r"^architecture: (\S+?),", raw)
            if m:
                arch = m.group(1)
                # h8300, h8300h, h8300s ... carry f_magic 0x8300-0x8302.
                if arch.startswith("h8300"):
                    return "H8"
                if arch.startswith("sh"):
                    return "SH"
                fail(path_x, "unexpected architecture %s" % arch)
    fail(path_x, "no architecture line")


def function_aux(path, sym):
    """(x_lnnoptr, x_endndx) of a function symbol's first auxiliary entry."""
    m = AUX_FCN_RE.match(sym.first_aux())
    if not m:
        fail(path, "[%d] %s: function AUX not understood: %r"
             % (sym.index, sym.name, sym.first_aux()))
    return int(m.group(3)) & MASK32, int(m.group(4)) & MASK32


def line_tables(path, symbols):
    """Map x_lnnoptr -> list of (l_lnno, l_paddr) following entry 0.

    objdump attaches line entries to the symbol that entry 0 names; the
    walk starts at x_lnnoptr.  Both agree when every entry 0 is named by
    the function symbol pointing at it and the functions' blocks are
    contiguous, which is checked here: consecutive x_lnnoptr values of a
    section differ by 8 bytes per entry (entry 0 included).
    """
    tables = {}
    by_section = {}
    for s in symbols:
        if s.line_owner is None:
            continue
        if s.line_owner != s.name:
            fail(path, "[%d] %s: line entries listed for %r"
                 % (s.index, s.name, s.line_owner))
        if s.sclass not in (C_EXT, C_STAT) or not s.is_function() or s.numaux == 0:
            fail(path, "[%d] %s owns line numbers but is no function symbol "
                 "with an auxiliary entry" % (s.index, s.name))
        lnnoptr, _ = function_aux(path, s)
        if lnnoptr == 0:
            fail(path, "[%d] %s owns line numbers but x_lnnoptr is 0"
                 % (s.index, s.name))
        if lnnoptr in tables:
            fail(path, "two functions with x_lnnoptr %d" % lnnoptr)
        tables[lnnoptr] = s.lines
        by_section.setdefault(s.scnum, []).append((lnnoptr, s))
    for scnum, funcs in by_section.items():
        funcs.sort()
        for (ptr, s), (next_ptr, _) in zip(funcs, funcs[1:]):
            if next_ptr - ptr != 8 * (1 + len(s.lines)):
                fail(path, "[%d] %s: %d line entries but next function's "
                     "entry 0 is %d bytes further"
                     % (s.index, s.name, len(s.lines), next_ptr - ptr))
    return tables


def cut(text, width):
    return text[:width]


def derive(symbols, family, path):
    tables = line_tables(path, symbols)
    labels = SIZE_CLASS[family]

    sym_out = []
    lin_out = []
    symbol_count = 0
    line_count = 0

    current_file = ""
    current_function = ""
    function_end = 0
    function_address = None
    function_line_ptr = None
    latest_function_has_lines = False

    def bookkeeping(sym, scope_name):
        nonlocal current_function, function_end, function_address
        nonlocal function_line_ptr, latest_function_has_lines
        lnnoptr, endndx = function_aux(path, sym)
        current_function = scope_name
        function_end = endndx
        latest_function_has_lines = lnnoptr != 0
        if lnnoptr != 0:
            function_address = sym.value
            function_line_ptr = lnnoptr

    for sym in symbols:
        # The entry at the scope end is already outside the function.
        if sym.index >= function_end:
            current_function = ""

        if sym.sclass == C_EXT:
            if sym.type == 0:
                continue
            name = cut(sym.name, NAME_MAX)
            sym_out.append("%08X %-32s%s%-6s\n"
                           % (sym.value, name, " " * 34, labels[sym.type & 0xF]))
            symbol_count += 1
            if sym.numaux and sym.is_function():
                bookkeeping(sym, name)

        elif sym.sclass == C_STAT:
            if sym.type == 0:
                continue
            if current_function == "":
                qualifier = current_file
            elif current_function.startswith("_"):
                qualifier = current_function[1:]
            else:
                qualifier = current_function
            qualified = cut(sym.name, NAME_MAX) + "@" + qualifier
            sym_out.append("%08X %-65s %-6s\n"
                           % (sym.value, cut(qualified, QUALIFIED_MAX),
                              labels[sym.type & 0xF]))
            symbol_count += 1
            if sym.numaux and sym.is_function():
                bookkeeping(sym, qualified)

        elif sym.sclass == C_FCN:
            if sym.name != ".bf" or sym.numaux == 0:
                continue
            m = AUX_LNNO_RE.match(sym.first_aux())
            if not m:
                fail(path, "[%d] .bf AUX not understood: %r"
                     % (sym.index, sym.first_aux()))
            base = int(m.group(1)) & 0xFFFF
            if base == 0 or not latest_function_has_lines:
                continue
            lin_out.append("%08X %5u\n" % (function_address, base))
            line_count += 1
            for lnno, paddr in tables[function_line_ptr]:
                lin_out.append("%08X %5u\n"
                               % (paddr & MASK32, (lnno + base - 1) & MASK32))
                line_count += 1

        elif sym.sclass == C_FILE:
            if sym.numaux == 0:
                current_file = ""
                continue
            current_file = cut(sym.name, NAME_MAX)
            if current_file == "fake":
                current_file = ""
            elif "newlib/lib" in current_file:
                pass
            else:
                lin_out.append("**** %s\n" % current_file)

    def s16(n):
        return ((n + 0x8000) & 0xFFFF) - 0x8000

    return sym_out, lin_out, s16(symbol_count), s16(line_count)


def process(name):
    base = os.path.join(HERE, name)
    path_t = base + ".objdump-t.txt"
    path_x = base + ".objdump-x.txt"
    symbols = parse_objdump_t(path_t)
    family = target_family(path_x)
    sym_out, lin_out, nsym, nlin = derive(symbols, family, path_t)
    for suffix, lines in ((".expected.sym", sym_out), (".expected.lin", lin_out)):
        with open(base + suffix, "w", encoding="latin-1", newline="") as f:
            f.writelines(lines)
    with open(base + ".expected.counts", "w", encoding="latin-1", newline="") as f:
        f.write("symbols=%d lineCount=%d\n" % (nsym, nlin))
    print("%-16s %s symbols=%d lineCount=%d" % (name, family, nsym, nlin))


def main(argv):
    names = argv[1:]
    if not names:
        names = sorted(f[:-len(".objdump-t.txt")] for f in os.listdir(HERE)
                       if f.endswith(".objdump-t.txt"))
    for name in names:
        process(name)


if __name__ == "__main__":
    main(sys.argv)
