#include "dwarf/type_units.h"

#include "common/run_error.h"
#include "dwarf/debug_info.h"
#include "dwarf/dwarf_constants.h"

namespace dravont {

uint64_t TypeUnitIndex::type_die(uint64_t signature) {
    if (!built_) build();
    auto it = dies_.find(signature);
    if (it == dies_.end()) {
        ByteReader(sections_.info, sections_.order)
            .fail("type signature " + hex_text(signature) + " that no type unit holds", 0);
    }
    return it->second;
}

void TypeUnitIndex::build() {
    built_ = true;
    add_units(false);
    add_units(true);
}

void TypeUnitIndex::add_units(bool inTypes) {
    const ByteSpan& span = inTypes ? sections_.types : sections_.info;
    if (!span.present) return;
    for (uint64_t offset = 0; offset < span.size;) {
        const UnitHeader h = decode_unit_header(sections_, offset, inTypes);
        offset = h.end & ~kTypesSectionBit;
        if (h.unitType != DW_UT_type) continue;
        const uint64_t die = h.offset + h.typeOffset;
        if (die < h.firstDie || die >= h.end) {
            const uint64_t at = h.offset & ~kTypesSectionBit;
            ByteReader(span, sections_.order).fail("type offset of the type unit at " + hex_text(at), at);
        }
        dies_.emplace(h.typeSignature, die);
    }
}

}  // namespace dravont
