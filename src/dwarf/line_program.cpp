// The .debug_line decoder: the unit header with its directory and file
// tables, then the line-number state machine.
//
// A unit is cut out of the section as its own span, and the header (up to
// the program start that header_length gives) as another, so no read of the
// header can reach the program and no read of the program can reach the
// next unit.
#include "dwarf/line_program.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string_view>
#include <utility>

#include "common/reserve.h"
#include "dwarf/forms.h"

namespace dravont {
namespace {

// Standard opcodes.
enum : uint8_t {
    kCopy = 1,
    kAdvancePc = 2,
    kAdvanceLine = 3,
    kSetFile = 4,
    kSetColumn = 5,
    kNegateStmt = 6,
    kSetBasicBlock = 7,
    kConstAddPc = 8,
    kFixedAdvancePc = 9,
    kSetPrologueEnd = 10,
    kSetEpilogueBegin = 11,
    kSetIsa = 12,
    kLastStandard = 12,
};

// Extended opcodes (after a 0 byte and a ULEB128 length).
enum : uint8_t { kEndSequence = 1, kSetAddress = 2, kDefineFile = 3 };

// Entry content types of the version 5 directory and file tables.
constexpr uint64_t kLnctPath = 1;
constexpr uint64_t kLnctDirectoryIndex = 2;


// The header fields the state machine needs.
struct Header {
    uint16_t version = 0;
    uint8_t minInstLength = 1;
    uint8_t maxOps = 1;
    int8_t lineBase = 0;
    uint8_t lineRange = 1;
    uint8_t opcodeBase = 1;
    std::array<uint8_t, 256> operandCounts{};  // standard_opcode_lengths by opcode
    uint64_t addressMask = ~uint64_t{0};
};

// `size` bytes of `span` from `offset`; the caller has checked they lie inside.
ByteSpan sub_span(const ByteSpan& span, uint64_t offset, uint64_t size) {
    ByteSpan part = span;
    if (span.data) part.data = span.data + offset;
    part.size = size;
    part.fileOffset = span.fileOffset + offset;
    return part;
}

uint64_t address_mask(uint8_t addressSize) {
    if (addressSize == 0 || addressSize >= 8) return ~uint64_t{0};
    return (uint64_t{1} << (8 * addressSize)) - 1;
}

// --- Entry tables --------------------------------------------------------

void check_directory(const ByteReader& r, const LineTable& table, uint64_t directory,
                     uint64_t position) {
    if (directory >= table.directories.size()) r.fail("file entry directory index", position);
}

// Versions 2 to 4: include_directories and file_names, each ended by an
// empty string. Directory 0 and file 0 stand for the compilation unit itself.
void read_v4_tables(ByteReader& r, LineTable& table) {
    table.directories.emplace_back();
    for (std::string_view dir = r.cstr(); !dir.empty(); dir = r.cstr()) table.directories.emplace_back(dir);
    table.files.emplace_back();
    for (;;) {
        const uint64_t position = r.position();
        const std::string_view name = r.cstr();
        if (name.empty()) break;
        LineFile file{std::string(name), r.uleb()};
        r.uleb();  // modification time
        r.uleb();  // length
        check_directory(r, table, file.directory, position);
        table.files.push_back(std::move(file));
    }
}

// The form table's entry for a form of an entry format; null for one the
// entry tables cannot hold (its size is unknown here, so the table is
// unreadable).
const FormInfo* entry_form(uint64_t form) {
    if (form > 0xFFFF) return nullptr;
    const FormInfo& info = form_info(static_cast<uint16_t>(form));
    return info.inEntryFormats ? &info : nullptr;
}

// The sizes of entry values: the header states no address size they could
// use, and only the 32-bit format is read.
constexpr FormSizes kEntrySizes{0, kOffsetSize, 0};

void skip_form(ByteReader& r, const FormInfo& form) {
    switch (form.size) {
    case FormSize::String: r.cstr(); return;
    case FormSize::BlockUleb: r.skip(r.uleb()); return;
    case FormSize::Block1: r.skip(r.u8()); return;
    case FormSize::Block2: r.skip(r.u16()); return;
    case FormSize::Block4: r.skip(r.u32()); return;
    case FormSize::Sleb: r.sleb(); return;
    case FormSize::Uleb: r.uleb(); return;
    default: r.skip(form_min_size(form, kEntrySizes)); return;  // the fixed-size forms, stepped over at once
    }
}

std::string read_path(ByteReader& r, const FormInfo& form, const DwarfSections& sections) {
    const uint64_t position = r.position();
    switch (form.cls) {
    case FormClass::String: return std::string(r.cstr());
    case FormClass::LineStrOffset: return std::string(string_at(sections.lineStr, r.u32(), "line table path"));
    case FormClass::StrOffset: return std::string(string_at(sections.str, r.u32(), "line table path"));
    default: r.fail("form of a line table path", position);
    }
}

// DW_FORM_data1, 2, 4, 8 and udata: the constant forms of entry formats.
uint64_t read_index(ByteReader& r, const FormInfo& form) {
    if (form.cls != FormClass::Constant) r.fail("form of a directory index", r.position());
    return form.size == FormSize::Uleb ? r.uleb() : r.sized(form.bytes);
}

using EntryFormat = std::vector<std::pair<uint64_t, const FormInfo*>>;  // content type, form

// A version 5 entry format followed by the entry count. The count is checked
// against the bytes left before anything is allocated for it: an entry takes
// at least the smallest sizes of its forms, one byte or more since every
// entry holds a path.
EntryFormat read_entry_format(ByteReader& r, uint64_t& count) {
    const uint64_t start = r.position();
    const uint8_t formatCount = r.u8();
    if (2u * formatCount > r.remaining()) r.fail("entry format count", start);
    EntryFormat format;
    uint64_t entrySize = 0;
    bool hasPath = false;
    for (unsigned k = 0; k < formatCount; ++k) {
        const uint64_t type = r.uleb();
        const uint64_t position = r.position();
        const FormInfo* form = entry_form(r.uleb());
        if (!form) r.fail("unknown form in an entry format", position);
        entrySize += form_min_size(*form, kEntrySizes);
        hasPath = hasPath || type == kLnctPath;
        format.emplace_back(type, form);
    }
    const uint64_t countPosition = r.position();
    count = r.uleb();
    if (count != 0 && !hasPath) r.fail("entry format without a path", start);
    if (count != 0 && count > r.remaining() / entrySize) r.fail("entry count", countPosition);
    return format;
}

LineFile read_entry(ByteReader& r, const EntryFormat& format, const DwarfSections& sections) {
    LineFile entry;
    for (const auto& [type, form] : format) {
        if (type == kLnctPath) entry.name = read_path(r, *form, sections);
        else if (type == kLnctDirectoryIndex) entry.directory = read_index(r, *form);
        else skip_form(r, *form);  // timestamp, size, MD5, vendor content
    }
    return entry;
}

// Version 5: both tables are described by entry formats; entry 0 of each is
// the compilation directory and the primary source file.
void read_v5_tables(ByteReader& r, LineTable& table, const DwarfSections& sections) {
    uint64_t count = 0;
    EntryFormat format = read_entry_format(r, count);
    table.directories.reserve(count);
    for (uint64_t k = 0; k < count; ++k) table.directories.push_back(read_entry(r, format, sections).name);
    format = read_entry_format(r, count);
    table.files.reserve(count);
    for (uint64_t k = 0; k < count; ++k) {
        const uint64_t position = r.position();
        table.files.push_back(read_entry(r, format, sections));
        check_directory(r, table, table.files.back().directory, position);
    }
}

// --- Header --------------------------------------------------------------

// The fixed fields after header_length, up to standard_opcode_lengths.
void read_parameters(ByteReader& r, Header& h) {
    h.minInstLength = r.u8();
    const uint64_t maxOpsPosition = r.position();
    if (h.version >= 4) h.maxOps = r.u8();
    if (h.maxOps == 0) r.fail("maximum_operations_per_instruction of 0", maxOpsPosition);
    r.u8();  // default_is_stmt: rows do not keep the register
    h.lineBase = static_cast<int8_t>(r.u8());
    const uint64_t rangePosition = r.position();
    h.lineRange = r.u8();
    if (h.lineRange == 0) r.fail("line_range of 0", rangePosition);
    const uint64_t basePosition = r.position();
    h.opcodeBase = r.u8();
    if (h.opcodeBase == 0) r.fail("opcode_base of 0", basePosition);
    for (unsigned op = 1; op < h.opcodeBase; ++op) h.operandCounts[op] = r.u8();
}

// Reads the header from `r` (over the unit, just past unit_length) and
// leaves `r` at the program start.
Header read_header(ByteReader& r, LineTable& table, const DwarfSections& sections, uint8_t addressSize) {
    Header h;
    const uint64_t versionPosition = r.position();
    h.version = r.u16();
    if (h.version < 2 || h.version > 5) r.fail("line table version", versionPosition);
    table.version = h.version;
    if (h.version >= 5) {
        const uint64_t position = r.position();
        const uint8_t size = r.u8();
        if (size != 1 && size != 2 && size != 4 && size != 8) r.fail("address_size", position);
        if (addressSize != 0 && size != addressSize) r.fail("address_size unlike the unit's", position);
        addressSize = size;
        r.u8();  // segment_selector_size: no segmented targets here
    }
    h.addressMask = address_mask(addressSize);
    const uint64_t lengthPosition = r.position();
    const uint32_t headerLength = r.u32();
    if (headerLength > r.remaining()) r.fail("header_length", lengthPosition);
    const uint64_t programStart = r.position() + headerLength;

    const ByteSpan headerSpan = sub_span(r.span(), 0, programStart);
    ByteReader hr(headerSpan, r.order(), r.position());
    read_parameters(hr, h);
    if (h.version >= 5) read_v5_tables(hr, table, sections);
    else read_v4_tables(hr, table);
    // Bytes left before the program (padding, vendor fields) are skipped.
    r.seek(programStart);
    return h;
}

// --- State machine -------------------------------------------------------

class LineMachine {
public:
    LineMachine(const Header& header, LineTable& table, LineRowSink* sink = nullptr)
        : h_(header), table_(table), sink_(sink) {
        reset();
        // What each special opcode adds to the line, and with one operation
        // per instruction, to the address.
        for (unsigned op = h_.opcodeBase; op < 256; ++op) {
            const unsigned adjusted = op - h_.opcodeBase;
            specialLine_[op] = h_.lineBase + static_cast<int>(adjusted % h_.lineRange);
            specialAddress_[op] = uint64_t{h_.minInstLength} * (adjusted / h_.lineRange);
        }
    }

    void run(ByteReader& r) {
        // Special opcodes, most of the program, and the standard opcodes with
        // no operand or a one-byte LEB128 one are read straight from the
        // span; `r` is moved to the others, which read through it.
        const uint8_t* const data = r.span().data;
        const uint64_t size = r.span().size;
        uint64_t at = r.position();
        while (at < size) {
            const uint8_t op = data[at++];
            if (op >= h_.opcodeBase) {
                special(op);
                continue;
            }
            const bool shortOperand = at < size && data[at] < 0x80;
            switch (op) {
                case kCopy: emit(); continue;
                case kNegateStmt: continue;  // is_stmt is not kept
                case kSetColumn:
                    if (!shortOperand) break;
                    ++at;
                    continue;
                case kAdvanceLine: {
                    if (!shortOperand) break;
                    const uint8_t b = data[at++];
                    add_line((b & 0x40) ? int64_t{b} - 0x80 : int64_t{b});  // a one-byte SLEB128
                    continue;
                }
                case kAdvancePc:
                    if (!shortOperand) break;
                    advance(data[at++]);
                    continue;
                case kSetFile:
                    if (!shortOperand) break;
                    file_ = data[at++];
                    continue;
                default: break;
            }
            r.seek(at);
            if (op == 0) extended(r);
            else if (op <= kLastStandard) standard(r, op);
            else for (unsigned k = 0; k < h_.operandCounts[op]; ++k) r.uleb();
            at = r.position();
        }
    }

private:
    void reset() {
        address_ = 0;
        opIndex_ = 0;
        file_ = 1;
        line_ = 1;
    }

    void emit() {
        table_.rows.push_back(LineRow{address_, file_, line_, false});
        if (sink_ && table_.rows.size() >= kSinkBatch) pass_rows();
    }

    // --- Sequences: rows are counted from the table's first row, across
    // the batches a sink takes, so a sequence's span does not depend on them.

    uint64_t rows_made() const { return rowsPassed_ + table_.rows.size(); }

    // The address of the open sequence's first row, once it has been made.
    void note_sequence_start() {
        if (startKnown_ || sequenceFirst_ >= rows_made()) return;
        sequenceStart_ = table_.rows[sequenceFirst_ - rowsPassed_].address;
        startKnown_ = true;
    }

    // Closes the open sequence at the last row made: its end-of-sequence
    // row, or the last row of an unterminated program.
    void close_sequence(bool ended, uint64_t end) {
        note_sequence_start();
        table_.sequences.push_back(LineSequence{sequenceStart_, end, sequenceFirst_, rows_made(), ended});
        sequenceFirst_ = rows_made();
        startKnown_ = false;
    }

    void end_sequence() {
        table_.rows.push_back(LineRow{address_, file_, line_, true});
        close_sequence(true, address_);
        if (sink_ && table_.rows.size() >= kSinkBatch) pass_rows();
        reset();
    }

    // Hands the rows made so far to the sink, if any, then the sequences
    // they closed.
    void pass_rows() {
        if (!sink_) return;
        if (!table_.rows.empty()) {
            note_sequence_start();
            lastAddress_ = table_.rows.back().address;
            sink_->rows(table_.rows.data(), table_.rows.size());
            rowsPassed_ += table_.rows.size();
            table_.rows.clear();
        }
        if (sequencesPassed_ < table_.sequences.size()) {
            sink_->sequences(table_.sequences.data() + sequencesPassed_, table_.sequences.size() - sequencesPassed_);
            sequencesPassed_ = table_.sequences.size();
        }
    }

public:
    // After the program: rows after its last DW_LNE_end_sequence form a
    // last, unterminated sequence; then the sink takes what it has not.
    void finish() {
        if (sequenceFirst_ < rows_made()) {
            close_sequence(false, table_.rows.empty() ? lastAddress_ : table_.rows.back().address);
        }
        pass_rows();
    }

private:
    static constexpr size_t kSinkBatch = 256;  // rows a sink receives at once: 6 KB

    // Moves the operation pointer by `advance` operations: whole
    // instructions for ordinary targets, op_index within a VLIW bundle.
    void advance(uint64_t advance) {
        uint64_t instructions = advance;
        if (h_.maxOps != 1) {
            const uint64_t ops = opIndex_ + advance % h_.maxOps;  // below 2 * maxOps
            instructions = advance / h_.maxOps + ops / h_.maxOps;
            opIndex_ = ops % h_.maxOps;
        }
        address_ = (address_ + h_.minInstLength * instructions) & h_.addressMask;
    }

    // Line numbers are unsigned 32-bit and wrap, as the register does.
    void add_line(int64_t delta) { line_ += static_cast<uint32_t>(static_cast<uint64_t>(delta)); }

    void special(uint8_t op) {
        if (h_.maxOps == 1) {
            address_ = (address_ + specialAddress_[op]) & h_.addressMask;
        } else {
            advance((op - h_.opcodeBase) / h_.lineRange);
        }
        add_line(specialLine_[op]);
        emit();
    }

    void standard(ByteReader& r, uint8_t op) {
        switch (op) {
        case kCopy: emit(); break;
        case kAdvancePc: advance(r.uleb()); break;
        case kAdvanceLine: add_line(r.sleb()); break;
        case kSetFile: set_file(r); break;
        case kConstAddPc: advance((255u - h_.opcodeBase) / h_.lineRange); break;
        case kFixedAdvancePc:
            address_ = (address_ + r.u16()) & h_.addressMask;
            opIndex_ = 0;
            break;
        case kSetColumn: case kSetIsa: r.uleb(); break;
        default: break;  // negate_stmt, basic_block, prologue_end, epilogue_begin: no operands, not kept
        }
    }

    void set_file(ByteReader& r) {
        const uint64_t position = r.position();
        const uint64_t file = r.uleb();
        if (file > std::numeric_limits<uint32_t>::max()) r.fail("file index", position);
        file_ = static_cast<uint32_t>(file);
    }

    // 0, ULEB128 length, then that many bytes: the sub-opcode and its
    // operands, read from a span of exactly that length.
    void extended(ByteReader& r) {
        const uint64_t start = r.position() - 1;
        const uint64_t length = r.uleb();
        if (length > r.remaining()) r.fail("extended opcode length", start);
        if (length == 0) return;  // nothing to do, nothing to skip
        const ByteSpan body = sub_span(r.span(), r.position(), length);
        r.skip(length);
        ByteReader e(body, r.order());
        switch (e.u8()) {
        case kEndSequence: end_sequence(); break;
        case kSetAddress: set_address(e, length - 1); break;
        case kDefineFile:
            if (h_.version < 5) define_file(e);
            break;  // reserved in version 5: skipped like any unknown opcode
        default: break;  // DW_LNE_set_discriminator, vendor opcodes
        }
    }

    // The operand is as long as the opcode says: 1, 2, 4 or 8 bytes.
    void set_address(ByteReader& e, uint64_t size) {
        if (size != 1 && size != 2 && size != 4 && size != 8) e.fail("DW_LNE_set_address operand size", 1);
        address_ = e.sized(static_cast<uint8_t>(size)) & h_.addressMask;
        opIndex_ = 0;
    }

    void define_file(ByteReader& e) {
        LineFile file{std::string(e.cstr()), e.uleb()};
        e.uleb();  // modification time
        e.uleb();  // length
        check_directory(e, table_, file.directory, 1);
        table_.files.push_back(std::move(file));
    }

    const Header& h_;
    LineTable& table_;
    LineRowSink* sink_;
    std::array<int, 256> specialLine_{};
    std::array<uint64_t, 256> specialAddress_{};
    uint64_t address_ = 0;
    uint64_t opIndex_ = 0;
    uint32_t file_ = 1;
    uint32_t line_ = 1;
    // The open sequence, and what the sink has taken.
    uint64_t sequenceFirst_ = 0;  // its first row
    uint64_t sequenceStart_ = 0;  // that row's address, when startKnown_
    bool startKnown_ = false;
    uint64_t rowsPassed_ = 0;
    size_t sequencesPassed_ = 0;
    uint64_t lastAddress_ = 0;  // of the last row passed
};

// --- Paths ---------------------------------------------------------------

bool is_absolute(const std::string& path) {
    if (!path.empty() && (path[0] == '/' || path[0] == '\\')) return true;
    if (path.size() < 2 || path[1] != ':') return false;
    const char drive = path[0];
    return (drive >= 'A' && drive <= 'Z') || (drive >= 'a' && drive <= 'z');
}

}  // namespace

std::string join_path(const std::string& base, const std::string& tail) {
    if (base.empty() || is_absolute(tail)) return tail;
    if (tail.empty()) return base;
    const char last = base.back();
    return last == '/' || last == '\\' ? base + tail : base + "/" + tail;
}

LineTable decode_line_table(const DwarfSections& sections, uint64_t offset, uint8_t addressSize) {
    LineTable table;
    decode_line_table(sections, offset, addressSize, table);
    return table;
}

void decode_line_table(const DwarfSections& sections, uint64_t offset, uint8_t addressSize, LineTable& table) {
    decode_line_table(sections, offset, addressSize, table, nullptr);
}

void decode_line_table(const DwarfSections& sections, uint64_t offset, uint8_t addressSize, LineTable& table,
                       LineRowSink* sink) {
    table.version = 0;
    table.directories.clear();
    table.files.clear();
    table.rows.clear();
    table.sequences.clear();
    table.offset = offset;
    ByteReader section(sections.line, sections.order, offset);
    const uint32_t unitLength = section.u32();
    if (unitLength == 0xffffffff) section.fail("64-bit DWARF line table", offset);
    if (unitLength >= 0xfffffff0) section.fail("reserved unit_length", offset);
    if (unitLength > section.remaining()) section.fail("unit_length", offset);

    const ByteSpan unit = sub_span(sections.line, offset, 4 + uint64_t{unitLength});
    ByteReader r(unit, sections.order, 4);
    const Header header = read_header(r, table, sections, addressSize);
    // A row takes at least one byte of the program, usually two to four:
    // room for a row every two bytes (up to a million) spares the copies of
    // a growing list, and its memory, untouched beyond the rows, costs
    // nothing.
    const size_t rowsAtMost = static_cast<size_t>(std::min<uint64_t>(r.remaining() / 2, 1u << 20));
    if (sink) sink->begin(table, rowsAtMost);
    else reserve_rounded(table.rows, rowsAtMost);
    LineMachine machine(header, table, sink);
    machine.run(r);
    machine.finish();
}

std::string line_file_path(const LineTable& table, uint32_t file, const std::string& compDir) {
    if (file >= table.files.size() || (file == 0 && table.version < 5)) return {};
    const LineFile& entry = table.files[file];
    const std::string directory =
        entry.directory < table.directories.size() ? table.directories[entry.directory] : std::string();
    return join_path(join_path(compDir, directory), entry.name);
}

}  // namespace dravont
