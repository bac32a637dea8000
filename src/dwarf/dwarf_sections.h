// The DWARF sections of one input file, as spans of the image.
#pragma once

#include <cstdint>

#include "common/byte_reader.h"

namespace dravont {

struct DwarfSections {
    ByteOrder order = ByteOrder::Big;
    ByteSpan info;      // .debug_info
    ByteSpan types;     // .debug_types (DWARF 4 type units)
    ByteSpan abbrev;    // .debug_abbrev
    ByteSpan str;       // .debug_str
    ByteSpan lineStr;   // .debug_line_str (DWARF 5)
    ByteSpan line;      // .debug_line
    ByteSpan ranges;    // .debug_ranges (DWARF 2 to 4)
    ByteSpan rnglists;  // .debug_rnglists (DWARF 5)
    ByteSpan addr;      // .debug_addr (DWARF 5)
    ByteSpan strOffsets;  // .debug_str_offsets (DWARF 5)
};

}  // namespace dravont
