// The one test of what the linker kept.
#include "output/linker_kept.h"

#include <string>
#include <string_view>

#include "output/convert_dwarf.h"
#include "output/dwarf_resolver.h"

namespace dravont {

bool is_tombstone(uint64_t address, uint8_t addressSize) {
    const uint64_t allOnes = addressSize >= 8 ? ~uint64_t{0} : (uint64_t{1} << (8 * addressSize)) - 1;
    return address == allOnes || address == allOnes - 1;
}

bool in_sections(const std::vector<AllocatedSection>& sections, uint64_t address, bool executable) {
    for (const AllocatedSection& s : sections) {
        if (address >= s.low && address < s.high && (s.executable || !executable)) return true;
    }
    return false;
}

bool LinkerKept::placed(uint64_t address, bool executable, uint8_t addressSize) const {
    return !is_tombstone(address, addressSize) && in_sections(input_.allocated, address, executable);
}

bool LinkerKept::entity(uint64_t address, bool executable, uint8_t addressSize, const Entity& e) const {
    if (!placed(address, executable, addressSize)) return false;
    return address != 0 || !input_.hasSymbols || named_at_zero(e);
}

bool LinkerKept::named_at_zero(const Entity& e) const {
    for (const std::string_view n : {e.name, e.linkageName}) {
        if (n.empty()) continue;
        if (input_.hasSymbolAt(0, n) || input_.hasSymbolAt(0, "_" + std::string(n))) return true;
    }
    return false;
}

}  // namespace dravont
