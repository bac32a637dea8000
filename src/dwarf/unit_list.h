// The units of a file: every unit header of .debug_info and .debug_types,
// decoded once, the unit that holds an offset, and the type units by
// signature.
//
// A header that cannot be decoded ends its section's list; the failure is
// kept and handed back where a walk over the units would have met it, so
// that the units before it are converted first. How the conversion walks
// the units with it:
//
//     const UnitList units(sections);
//     for (const UnitHeader& header : units.units()) convert(header);
//     units.rethrow_fault();  // the header that ended .debug_info, if any
//
// The list is immutable once built, so one list may serve every thread;
// DieResolver takes it (or builds its own when first needed).
#pragma once

#include <cstdint>
#include <exception>
#include <unordered_map>
#include <vector>

#include "dwarf/debug_info.h"

namespace dravont {

class UnitList {
public:
    explicit UnitList(const DwarfSections& sections);

    const DwarfSections& sections() const { return sections_; }

    // The headers of .debug_info (inTypes: of .debug_types) in section
    // order, up to the first that cannot be decoded. Units follow each
    // other without gaps, from offset 0.
    const std::vector<UnitHeader>& units(bool inTypes = false) const { return units_[inTypes]; }
    // The failure that ended a section's list early, or null.
    const std::exception_ptr& fault(bool inTypes = false) const { return faults_[inTypes]; }
    void rethrow_fault(bool inTypes = false) const {
        if (faults_[inTypes]) std::rethrow_exception(faults_[inTypes]);
    }

    // The unit whose bytes (header included) hold `offset`, an offset in
    // .debug_info or, with kTypesSectionBit, in .debug_types; null past the
    // listed units (past the section's end, or at and after a header that
    // could not be decoded).
    const UnitHeader* unit_at(uint64_t offset) const;

    // The DIE offset (kTypesSectionBit set for .debug_types) of the type the
    // type unit with this signature describes, or null. Of two units with
    // one signature (copies from several objects) the first counts. The
    // units are taken in order, .debug_info first, up to the first fault:
    // a header that cannot be decoded or a type unit whose type offset
    // lies outside it; signature_fault() is that fault.
    const uint64_t* type_die(uint64_t signature) const {
        auto it = signatures_.find(signature);
        return it == signatures_.end() ? nullptr : &it->second;
    }
    const std::exception_ptr& signature_fault() const { return signatureFault_; }

private:
    void read_headers(bool inTypes);
    bool add_signatures(bool inTypes);

    const DwarfSections& sections_;
    std::vector<UnitHeader> units_[2];
    std::exception_ptr faults_[2];
    std::unordered_map<uint64_t, uint64_t> signatures_;
    std::exception_ptr signatureFault_;
};

}  // namespace dravont
