// What the linker kept, decided in one place for entry addresses, address
// ranges and line sequences. The linker moves what it discarded to 0 (or to
// a tombstone, all ones or all ones less one) and leaves its DWARF in place;
// SH and H8 ROMs often start at 0, so 0 alone proves nothing.
#pragma once

#include <cstdint>
#include <vector>

namespace dravont {

struct AllocatedSection;
struct DwarfInput;
struct Entity;

// All ones or all ones less one for the address size.
bool is_tombstone(uint64_t address, uint8_t addressSize);
// Whether an allocated section (an executable one, with `executable`) holds
// the address.
bool in_sections(const std::vector<AllocatedSection>& sections, uint64_t address, bool executable);

class LinkerKept {
public:
    explicit LinkerKept(const DwarfInput& input) : input_(input) {}

    // An entity's address (a function's entry or a range's start, with
    // `executable`; a variable's location): not a tombstone, in a section,
    // and at 0 only where the entity shows it is real there: the symbol
    // table (when the file has one) names it at 0.
    bool entity(uint64_t address, bool executable, uint8_t addressSize, const Entity& e) const;
    // A line sequence starting at `start`: not a tombstone, in an
    // executable section, and at 0 only where its unit wrote a function at
    // 0, that is one whose entity passed the test above. A sequence has no
    // name of its own to look up.
    bool sequence(uint64_t start, uint8_t addressSize, bool unitWroteAtZero) const {
        return placed(start, true, addressSize) && (start != 0 || unitWroteAtZero);
    }

private:
    bool placed(uint64_t address, bool executable, uint8_t addressSize) const;
    bool named_at_zero(const Entity& e) const;

    const DwarfInput& input_;
};

}  // namespace dravont
