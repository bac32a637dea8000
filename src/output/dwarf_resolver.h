// What the DWARF conversion reads through references: the DIEs an entity's
// abstract_origin and specification chain reaches, in this unit or another,
// types in type units by signature, and the size class of a type chain.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "dwarf/debug_info.h"
#include "dwarf/type_units.h"
#include "dwarf/unit_list.h"

namespace dravont {

// What an entity takes from itself and from the DIEs its abstract_origin
// and specification chain reaches.
struct Entity {
    std::string_view name;
    std::string_view linkageName;
    bool external = false;
    uint64_t type = 0;  // DIE offset; 0: void
    // DW_AT_decl_file, an index into the file list of the line table of the
    // unit at declUnit (the unit holding the attribute).
    bool hasDeclFile = false;
    uint64_t declFile = 0;
    uint64_t declUnit = 0;
    std::string_view c_name() const { return linkageName.empty() ? name : linkageName; }
};

class DieResolver {
public:
    // Builds its own unit list when a reference first needs one.
    explicit DieResolver(const DwarfSections& sections) : sections_(sections), abbrevs_(sections) {}
    // Shares `units` (of the same sections), which must outlive it.
    DieResolver(const DwarfSections& sections, const UnitList& units)
        : sections_(sections), abbrevs_(sections), units_(&units) {}

    const DwarfSections& sections() const { return sections_; }
    AbbrevCache& abbrevs() { return abbrevs_; }
    DieInfo die_at(const DwarfUnit& unit, uint64_t offset) { return unit_of(unit, offset).read_die(offset); }
    Entity resolve(const DwarfUnit& unit, const DieInfo& die);
    // DW_AT_type as a DIE offset; a type signature leads to its type unit.
    uint64_t type_of(const DieInfo& die) {
        return die.typeBySignature ? typeUnits_.type_die(units(), die.typeSignature) : die.type;
    }
    // The unit list: the shared one, or this resolver's own, built now.
    const UnitList& units() {
        if (!units_) {
            ownUnits_ = std::make_unique<UnitList>(sections_);
            units_ = ownUnits_.get();
        }
        return *units_;
    }
    // The unit holding the DIE at `offset` (in .debug_types with
    // kTypesSectionBit): `current` or one found by the unit headers.
    const DwarfUnit& unit_of(const DwarfUnit& current, uint64_t offset);
    // The unit whose header is at `offset`, with its bases set.
    std::unique_ptr<DwarfUnit> open_unit(uint64_t offset);

private:
    const DwarfSections& sections_;
    AbbrevCache abbrevs_;
    const UnitList* units_ = nullptr;
    std::unique_ptr<UnitList> ownUnits_;
    TypeUnitIndex typeUnits_;
    // Whether a reference has led out of its unit into each section yet:
    // the first such look-up reports a unit header that could not be read.
    bool leftUnit_[2] = {false, false};
    std::unique_ptr<DwarfUnit> otherUnit_;
};

// Size classes of type chains, remembered per type DIE.
class TypeClasses {
public:
    explicit TypeClasses(DieResolver& resolver) : resolver_(resolver) {}

    void clear() { classes_.clear(); }
    // "(BYTE)", "(WORD)", "(LONG)", "(FLOT)", "(DBLE)", "(LGDL)" or "(VOID)".
    const char* size_class(const DwarfUnit& unit, uint64_t type);
    // The class size_class gave `type`, "(VOID)" when it was not asked.
    const char* known(uint64_t type) const;
    // The chain as the listing shows it ("const>pointer>base(1)"). Never
    // throws: an unreadable link shows as "?".
    std::string describe(const DwarfUnit& unit, uint64_t type);

private:
    DieResolver& resolver_;
    std::unordered_map<uint64_t, const char*> classes_;
};

}  // namespace dravont
