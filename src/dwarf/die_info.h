// What a DIE holds for the conversion: the attributes it uses, decoded
// (debug_info.h reads them).
#pragma once

#include <cstdint>
#include <string_view>

namespace dravont {

// A string-valued attribute, resolved against its unit when read.
struct StrAttr {
    enum Kind : uint8_t { None, Inline, Str, LineStr, Index } kind = None;
    uint64_t value = 0;     // section offset or string index
    std::string_view text;  // Inline
};

// An address-valued attribute: an address, or an index into .debug_addr.
struct AddrAttr {
    enum Kind : uint8_t { None, Address, Index, Constant } kind = None;
    uint64_t value = 0;
};

// Fields of like sizes sit together, so that the zeroed DieInfo each read
// starts from is small.
struct DieInfo {
    uint64_t offset = 0;
    uint64_t next = 0;  // offset of the following DIE in the unit

    StrAttr name;
    StrAttr linkageName;

    AddrAttr lowPc;
    AddrAttr highPc;   // Constant: a length from lowPc
    AddrAttr entryPc;  // Constant: an offset from the entity's base address
    uint64_t ranges = 0;  // as rangesKind says

    // DW_AT_location as a block or exprloc; a location list leaves it null
    // with hasLocation set.
    const uint8_t* location = nullptr;
    uint64_t locationSize = 0;

    // References as offsets into .debug_info; 0 when absent (no DIE can sit
    // at offset 0, where the first unit header is).
    uint64_t type = 0;
    uint64_t typeSignature = 0;  // typeBySignature: DW_AT_type is a DW_FORM_ref_sig8
    uint64_t abstractOrigin = 0;
    uint64_t specification = 0;

    uint64_t declFile = 0;  // hasDeclFile: index into the unit's line-table file list
    uint64_t byteSize = 0;  // hasByteSize

    // Root DIE attributes.
    uint64_t language = 0;
    uint64_t stmtList = 0;  // hasStmtList
    StrAttr compDir;
    StrAttr dwoName;  // DW_AT_dwo_name or DW_AT_GNU_dwo_name: a split unit's skeleton
    uint64_t strOffsetsBase = 0;  // hasStrOffsetsBase
    uint64_t addrBase = 0;        // hasAddrBase
    uint64_t rnglistsBase = 0;    // hasRnglistsBase

    uint16_t tag = 0;
    bool hasChildren = false;
    bool external = false;
    bool declaration = false;
    bool hasInline = false;  // DW_AT_inline: a subprogram that is an abstract instance root
    enum RangesKind : uint8_t { NoRanges, RangesOffset, RangesIndex } rangesKind = NoRanges;
    bool hasLocation = false;
    bool typeBySignature = false;
    bool hasDeclFile = false;
    bool hasByteSize = false;
    uint8_t encoding = 0;
    bool hasStmtList = false;
    bool hasStrOffsetsBase = false;
    bool hasAddrBase = false;
    bool hasRnglistsBase = false;
};

}  // namespace dravont
