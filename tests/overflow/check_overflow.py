#!/usr/bin/env python3
"""Check dravont's output for a program whose .text line-number table holds
more than 65,535 entries (see README.md in this directory).

    python3 check_overflow.py WORKDIR LD_COUNT

WORKDIR holds (written by run_overflow_test.sh):
  prog.coff                 the linked program
  prog.objdump-t.txt        h8300-hms-objdump -t prog.coff
  prog.objdump-f.txt        h8300-hms-objdump -f prog.coff
  obj/unitN.objdump-t.txt   h8300-hms-objdump -t of each unlinked object
  prog.sym, prog.lin        written by dravont
  dravont.out               dravont's standard output
LD_COUNT is the number of .text line-number entries that ld reported in
its "line number overflow" warning (decimal).

The expected line file cannot be read off the listing of the linked file:
objdump takes the section's entry count from the same 16-bit s_nlnno
field, which ld saturated at 0xFFFF, so its listing stops after 65,535
entries.  Each unlinked object is small enough to be listed whole, so the
line entries of every function come from the object's listing instead:
each entry's address as an offset from the function's start, moved to the
function's address in the linked program, and its relative line number as
it stands.  With these entries put in place of the linked listing's, the
expected files are derived by tests/data/derive_expected.py, the same
derivation as for the other real-input fixtures; it also checks that the
entry counts fit the linked file's x_lnnoptr values (the functions' blocks
follow each other without gap or overlap).

Besides that, the script checks the premises of the test: s_nlnno of .text
is 0xFFFF, the objects' entry counts add up to ld's count, the table is
directly followed by the symbol table, and the table bytes in the file are
exactly the entries the expectation is built from.

Exit status 0 when dravont's symbol file, line file and summary counts are
as expected, 1 otherwise.
"""

import os
import re
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # leave no __pycache__ in the source tree
sys.path.insert(0, os.path.join(HERE, "..", "data"))
import derive_expected as dx  # noqa: E402

SATURATED = 0xFFFF
ENTRY = 8
SECTION_AUX_RE = re.compile(r"^AUX scnlen 0x([0-9a-f]+) nreloc (\d+) nlnno (\d+)")


class Failure(Exception):
    pass


def require(cond, msg):
    if not cond:
        raise Failure(msg)


def is_function(sym):
    return (sym.sclass in (dx.C_EXT, dx.C_STAT) and sym.is_function()
            and sym.numaux > 0)


def read_text_header(path):
    """File header fields and the .text section header, straight from the bytes."""
    with open(path, "rb") as f:
        data = f.read()
    f_magic, f_nscns, _, f_symptr, f_nsyms, f_opthdr, _ = struct.unpack_from(">HHIIIHH", data, 0)
    first = 20 + f_opthdr
    require(first == 48, "section headers at offset %d, not 48 (f_opthdr %d)"
            % (first, f_opthdr))
    for n in range(f_nscns):
        h = first + 40 * n
        name = data[h:h + 8].rstrip(b"\0")
        if name != b".text":
            continue
        s_lnnoptr, = struct.unpack_from(">I", data, h + 28)
        s_nlnno, = struct.unpack_from(">H", data, h + 34)
        return data, dict(f_magic=f_magic, f_symptr=f_symptr, f_nsyms=f_nsyms,
                          s_lnnoptr=s_lnnoptr, s_nlnno=s_nlnno)
    raise Failure("%s: no .text section header" % path)


def object_functions(path):
    """{(source file, function name): (value, base line, lines)} of one object.

    lines are (l_lnno, l_paddr) after entry 0, as objdump lists them; the
    object's .text starts at 0, so values and addresses are offsets into it.
    """
    symbols = dx.parse_objdump_t(path)
    dx.line_tables(path, symbols)  # blocks contiguous, owners consistent
    result = {}
    current_file = None
    last_function = None
    listed_entries = 0
    section_count = None
    for sym in symbols:
        if sym.sclass == dx.C_FILE:
            current_file = sym.name
        elif is_function(sym):
            lnnoptr, _ = dx.function_aux(path, sym)
            last_function = None
            if lnnoptr == 0:
                continue
            require(sym.line_owner is not None,
                    "%s: %s has a line pointer but objdump lists no entries for it"
                    % (path, sym.name))
            key = (current_file, sym.name)
            require(key not in result, "%s: function %s twice" % (path, key))
            result[key] = [sym.value, None, list(sym.lines)]
            listed_entries += 1 + len(sym.lines)
            last_function = key
        elif sym.sclass == dx.C_FCN and sym.name == ".bf" and last_function:
            m = dx.AUX_LNNO_RE.match(sym.first_aux())
            require(m, "%s: .bf AUX not understood: %r" % (path, sym.first_aux()))
            result[last_function][1] = int(m.group(1))
            last_function = None
        elif sym.sclass == dx.C_STAT and sym.name == ".text" and sym.numaux:
            m = SECTION_AUX_RE.match(sym.first_aux())
            require(m, "%s: .text AUX not understood: %r" % (path, sym.first_aux()))
            section_count = int(m.group(3))
    require(section_count is not None, "%s: no .text section symbol" % path)
    # A single object stays below 65,536 entries, so objdump lists it whole.
    require(section_count < SATURATED,
            "%s: %d entries, the object itself overflows" % (path, section_count))
    require(listed_entries == section_count,
            "%s: objdump lists %d entries, the .text symbol counts %d"
            % (path, listed_entries, section_count))
    return result, section_count


def main(argv):
    if len(argv) != 3:
        raise SystemExit("usage: check_overflow.py WORKDIR LD_COUNT")
    work, ld_count = argv[1], int(argv[2])
    prog = os.path.join(work, "prog")

    # --- the linked file's bytes: header fields and the saturated count ---
    data, hdr = read_text_header(prog + ".coff")
    require(hdr["s_nlnno"] == SATURATED,
            ".text s_nlnno is 0x%04X, not 0xFFFF: the program does not overflow "
            "the 16-bit count" % hdr["s_nlnno"])

    # --- every function's entries, from the unlinked objects ---
    obj_dir = os.path.join(work, "obj")
    listings = sorted(f for f in os.listdir(obj_dir) if f.endswith(".objdump-t.txt"))
    require(listings, "no object listings in %s" % obj_dir)
    from_objects = {}
    object_total = 0
    for name in listings:
        funcs, count = object_functions(os.path.join(obj_dir, name))
        for key in funcs:
            require(key not in from_objects, "function %s in two objects" % (key,))
        from_objects.update(funcs)
        object_total += count
    require(object_total == ld_count,
            "the objects hold %d entries, ld counted %d" % (object_total, ld_count))
    require(ld_count > SATURATED, "ld counted only %d entries" % ld_count)

    # The table stands whole in the file, directly before the symbol table.
    table_end = hdr["s_lnnoptr"] + ENTRY * ld_count
    require(table_end == hdr["f_symptr"],
            "s_lnnoptr 0x%X + 8 x %d = 0x%X, but the symbol table starts at 0x%X"
            % (hdr["s_lnnoptr"], ld_count, table_end, hdr["f_symptr"]))

    # --- the linked listing, with each function's entries put in place ---
    linked_path = prog + ".objdump-t.txt"
    symbols = dx.parse_objdump_t(linked_path)
    family = dx.target_family(prog + ".objdump-f.txt")
    listed_whole = listed_cut = not_listed = 0
    objdump_listed_entries = 0
    functions = []            # (x_lnnoptr, index, lines)
    current_file = None
    bf_pending = None
    for sym in symbols:
        if sym.sclass == dx.C_FILE:
            current_file = sym.name
            continue
        if sym.sclass == dx.C_FCN and sym.name == ".bf" and bf_pending:
            key, base = bf_pending
            m = dx.AUX_LNNO_RE.match(sym.first_aux())
            require(m and int(m.group(1)) == base,
                    "%s: .bf of %s differs from the object's (base line %s)"
                    % (linked_path, key, base))
            bf_pending = None
            continue
        if not is_function(sym):
            continue
        lnnoptr, _ = dx.function_aux(linked_path, sym)
        if lnnoptr == 0:
            continue
        key = (current_file, sym.name)
        require(key in from_objects, "%s: function %s not found in any object"
                % (linked_path, key))
        obj_value, base, obj_lines = from_objects.pop(key)
        lines = []
        for lnno, paddr in obj_lines:
            offset = paddr - obj_value
            require(offset >= 0, "%s: entry at 0x%X before the function at 0x%X"
                    % (key, paddr, obj_value))
            lines.append((lnno, sym.value + offset))
        # What objdump does list of the linked file must agree.
        if sym.line_owner is None:
            not_listed += 1
        else:
            shown = len(sym.lines)
            objdump_listed_entries += 1 + shown
            require(sym.lines == lines[:shown],
                    "%s: objdump's entries of %s disagree with the object's, moved "
                    "to 0x%X" % (linked_path, sym.name, sym.value))
            if shown == len(lines):
                listed_whole += 1
            else:
                listed_cut += 1
        sym.line_owner = sym.name
        sym.lines = lines
        functions.append((lnnoptr, sym.index, lines))
        bf_pending = (key, base)
    require(not from_objects, "functions of the objects missing in the linked "
            "file: %s" % sorted(from_objects)[:5])

    # The table bytes hold exactly these entries, in this order.
    functions.sort()
    require(functions and functions[0][0] == hdr["s_lnnoptr"],
            "the first function's entries do not start at s_lnnoptr")
    expected_entries = []
    for _, index, lines in functions:
        expected_entries.append((index, 0))
        expected_entries.extend((paddr, lnno) for lnno, paddr in lines)
    require(len(expected_entries) == ld_count,
            "the functions hold %d entries, ld counted %d"
            % (len(expected_entries), ld_count))
    actual_entries = list(struct.iter_unpack(
        ">II", data[hdr["s_lnnoptr"]:hdr["s_lnnoptr"] + ENTRY * ld_count]))
    for k, (want, got) in enumerate(zip(expected_entries, actual_entries)):
        require(want == got, "table entry %d is %s in the file, %s expected"
                % (k, got, want))

    sym_out, lin_out, nsym, nlin = dx.derive(symbols, family, linked_path)
    records = sum(1 for line in lin_out if not line.startswith("**** "))
    past = sum(1 for ptr, _, _ in functions
               if (ptr - hdr["s_lnnoptr"]) // ENTRY >= SATURATED)

    print("table: %d entries at 0x%X (s_nlnno 0x%04X), symbol table at 0x%X"
          % (ld_count, hdr["s_lnnoptr"], hdr["s_nlnno"], hdr["f_symptr"]))
    print("functions: %d, %d of them start past entry 65,535" % (len(functions), past))
    print("objdump -t of the linked file: %d entries listed; %d functions listed "
          "whole, %d cut short, %d not listed"
          % (objdump_listed_entries, listed_whole, listed_cut, not_listed))
    print("expected: %d symbol lines, %d line records (summary symbols=%d "
          "lineCount=%d)" % (len(sym_out), records, nsym, nlin))

    for suffix, lines in ((".expected.sym", sym_out), (".expected.lin", lin_out)):
        with open(prog + suffix, "w", encoding="latin-1", newline="") as f:
            f.writelines(lines)

    ok = True
    for suffix in (".sym", ".lin"):
        ok &= compare(prog + ".expected" + suffix, prog + suffix)
    summary = "complete symbols=%d lineCount=%d" % (nsym, nlin)
    with open(os.path.join(work, "dravont.out"), "r", encoding="latin-1") as f:
        out_lines = f.read().split("\n")
    got = [l for l in out_lines if l.startswith("complete ")]
    if got != [summary]:
        print("summary: dravont printed %r, expected %r" % (got, summary))
        ok = False
    return 0 if ok else 1


def compare(expected_path, actual_path):
    with open(expected_path, "rb") as f:
        want = f.read()
    if not os.path.exists(actual_path):
        print("%s: missing" % actual_path)
        return False
    with open(actual_path, "rb") as f:
        got = f.read()
    if want == got:
        return True
    w, g = want.split(b"\n"), got.split(b"\n")
    print("%s differs from %s: %d lines, %d expected"
          % (os.path.basename(actual_path), os.path.basename(expected_path),
             got.count(b"\n"), want.count(b"\n")))
    shown = 0
    for n in range(max(len(w), len(g))):
        a = w[n] if n < len(w) else None
        b = g[n] if n < len(g) else None
        if a != b:
            print("  line %d: expected %r, got %r" % (n + 1, a, b))
            shown += 1
            if shown == 5:
                break
    return False


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except Failure as e:
        print("check_overflow.py: %s" % e)
        sys.exit(1)
