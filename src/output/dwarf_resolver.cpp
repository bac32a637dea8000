#include "output/dwarf_resolver.h"

#include <algorithm>

#include "common/run_error.h"
#include "dwarf/dwarf_constants.h"

namespace dravont {

namespace {

constexpr int kMaxOriginSteps = 64;  // abstract_origin / specification chain
constexpr int kMaxTypeSteps = 4096;  // typedef / pointer / qualifier chain

constexpr char kVoid[] = "(VOID)";
constexpr char kByte[] = "(BYTE)";
constexpr char kWord[] = "(WORD)";
constexpr char kLong[] = "(LONG)";
constexpr char kFloat[] = "(FLOT)";
constexpr char kDouble[] = "(DBLE)";
constexpr char kLongDouble[] = "(LGDL)";

// The size class of a base type, by its encoding and size.
const char* base_type_class(uint8_t encoding, bool hasSize, uint64_t size) {
    if (!hasSize || size == 0) return kVoid;
    if (encoding == DW_ATE_complex_float || encoding == DW_ATE_imaginary_float) return kVoid;
    if (encoding == DW_ATE_float) return size <= 4 ? kFloat : size == 8 ? kDouble : kLongDouble;
    return size == 1 ? kByte : size == 2 ? kWord : kLong;
}

// Tags whose DW_AT_type leads on to the type that gives the class.
bool passes_to_its_type(uint16_t tag) {
    switch (tag) {
        case DW_TAG_typedef: case DW_TAG_const_type: case DW_TAG_volatile_type:
        case DW_TAG_restrict_type: case DW_TAG_atomic_type: case DW_TAG_shared_type:
        case DW_TAG_immutable_type: case DW_TAG_pointer_type: case DW_TAG_reference_type:
        case DW_TAG_rvalue_reference_type: case DW_TAG_array_type: case DW_TAG_subroutine_type:
        case DW_TAG_ptr_to_member_type:
            return true;
        default:
            return false;
    }
}

std::string_view tag_text(uint16_t tag) {
    switch (tag) {
        case DW_TAG_typedef: return "typedef";
        case DW_TAG_const_type: return "const";
        case DW_TAG_volatile_type: return "volatile";
        case DW_TAG_restrict_type: return "restrict";
        case DW_TAG_atomic_type: return "atomic";
        case DW_TAG_pointer_type: return "pointer";
        case DW_TAG_reference_type: case DW_TAG_rvalue_reference_type: return "reference";
        case DW_TAG_array_type: return "array";
        case DW_TAG_subroutine_type: return "function";
        case DW_TAG_base_type: return "base";
        case DW_TAG_structure_type: return "struct";
        case DW_TAG_union_type: return "union";
        case DW_TAG_class_type: return "class";
        case DW_TAG_enumeration_type: return "enum";
        default: return "other";
    }
}

}  // namespace

std::unique_ptr<DwarfUnit> DieResolver::open_unit(uint64_t offset) {
    const UnitHeader* listed = units().unit_at(offset);
    const bool inTypes = (offset & kTypesSectionBit) != 0;
    const UnitHeader header = listed && listed->offset == offset
                                  ? *listed
                                  : decode_unit_header(sections_, offset & ~kTypesSectionBit, inTypes);
    auto unit = std::make_unique<DwarfUnit>(sections_, header, abbrevs_);
    if (unit->header().firstDie < unit->header().end) unit->set_bases(unit->read_die(unit->header().firstDie));
    return unit;
}

const DwarfUnit& DieResolver::unit_of(const DwarfUnit& current, uint64_t offset) {
    if (current.contains_die(offset)) return current;
    if (otherUnit_ && otherUnit_->contains_die(offset)) return *otherUnit_;
    const bool inTypes = (offset & kTypesSectionBit) != 0;
    const ByteSpan& span = inTypes ? sections_.types : sections_.info;
    const UnitList& list = units();
    // A header that could not be read counts from the first reference out
    // of a unit, and for every reference into the bytes from it on.
    if (!leftUnit_[inTypes]) {
        leftUnit_[inTypes] = true;
        list.rethrow_fault(inTypes);
    }
    const uint64_t local = offset & ~kTypesSectionBit;
    if (local >= span.size) ByteReader(span, sections_.order).fail("reference to DIE " + hex_text(local), local);
    const UnitHeader* unit = list.unit_at(offset);
    if (!unit) {
        list.rethrow_fault(inTypes);
        ByteReader(span, sections_.order).fail("reference to DIE " + hex_text(local), local);
    }
    otherUnit_ = open_unit(unit->offset);
    return *otherUnit_;
}

Entity DieResolver::resolve(const DwarfUnit& unit, const DieInfo& die) {
    Entity e;
    bool hasType = false;
    const DieInfo* at_die = &die;  // the DIE itself, then each one its chain reaches
    DieInfo reached;
    const DwarfUnit* at = &unit;
    for (int step = 0;; ++step) {
        const DieInfo& current = *at_die;
        if (e.name.empty()) e.name = at->string(current.name);
        if (e.linkageName.empty()) e.linkageName = at->string(current.linkageName);
        e.external = e.external || current.external;
        if (!hasType && (current.type != 0 || current.typeBySignature)) {
            e.type = type_of(current);
            hasType = true;
        }
        if (!e.hasDeclFile && current.hasDeclFile) {
            e.hasDeclFile = true;
            e.declFile = current.declFile;
            e.declUnit = at->header().offset;
        }
        const uint64_t next = current.abstractOrigin != 0 ? current.abstractOrigin : current.specification;
        if (next == 0) return e;
        if (step >= kMaxOriginSteps) {
            ByteReader(sections_.info, sections_.order)
                .fail("abstract_origin/specification chain of DIE " + hex_text(die.offset) + " loops", die.offset);
        }
        at = &unit_of(*at, next);
        reached = at->read_die(next);
        at_die = &reached;
    }
}

const char* TypeClasses::size_class(const DwarfUnit& unit, uint64_t type) {
    std::vector<uint64_t> seen;
    const char* result = kVoid;
    for (uint64_t offset = type;;) {
        if (offset == 0) break;
        auto known = classes_.find(offset);
        if (known != classes_.end()) {
            result = known->second;
            break;
        }
        if (seen.size() >= static_cast<size_t>(kMaxTypeSteps) ||
            std::find(seen.end() - std::min<size_t>(seen.size(), 8), seen.end(), offset) != seen.end()) {
            const DwarfSections& s = resolver_.sections();
            ByteReader(s.info, s.order).fail("type chain of DIE " + hex_text(type) + " loops", type);
        }
        seen.push_back(offset);
        const DieInfo t = resolver_.die_at(unit, offset);
        if (t.tag == DW_TAG_base_type) {
            result = base_type_class(t.encoding, t.hasByteSize, t.byteSize);
            break;
        }
        if (t.tag == DW_TAG_subprogram || passes_to_its_type(t.tag)) {
            offset = resolver_.type_of(t);
            continue;
        }
        break;  // structures, unions, classes, enumerations, unspecified types
    }
    for (uint64_t offset : seen) classes_.emplace(offset, result);
    return result;
}

const char* TypeClasses::known(uint64_t type) const {
    auto it = classes_.find(type);
    return it == classes_.end() ? kVoid : it->second;
}

std::string TypeClasses::describe(const DwarfUnit& unit, uint64_t type) {
    std::string text;
    try {
        for (int step = 0; type != 0 && step < 12; ++step) {
            const DieInfo t = resolver_.die_at(unit, type);
            if (!text.empty()) text += '>';
            text.append(tag_text(t.tag));
            if (t.tag == DW_TAG_base_type) {
                text.append("(").append(std::to_string(t.byteSize)).append(")");
                return text;
            }
            if (!passes_to_its_type(t.tag)) return text;
            type = resolver_.type_of(t);
        }
        if (type == 0) text.append(text.empty() ? "void" : ">void");
    } catch (const MalformedInput&) {
        text.append("?");
    }
    return text;
}

}  // namespace dravont
