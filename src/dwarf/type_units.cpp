// Look-ups of type units by signature, over the unit list.
#include "dwarf/type_units.h"

#include <exception>

#include "common/run_error.h"

namespace dravont {

uint64_t TypeUnitIndex::type_die(const UnitList& units, uint64_t signature) {
    if (!checked_) {
        checked_ = true;
        if (units.signature_fault()) std::rethrow_exception(units.signature_fault());
    }
    const uint64_t* die = units.type_die(signature);
    if (!die) {
        const DwarfSections& sections = units.sections();
        ByteReader(sections.info, sections.order)
            .fail("type signature " + hex_text(signature) + " that no type unit holds", 0);
    }
    return *die;
}

}  // namespace dravont
