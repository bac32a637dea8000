// Abbreviation tables (.debug_abbrev): the shape of every DIE of a unit.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "dwarf/dwarf_sections.h"

namespace dravont {

struct AbbrevAttr {
    uint16_t name;
    uint16_t form;
    int64_t implicitConst;  // the value of a DW_FORM_implicit_const attribute
};

struct Abbrev {
    uint64_t code = 0;  // 0: no such abbreviation
    uint16_t tag = 0;
    bool hasChildren = false;
    uint32_t firstAttr = 0;  // into AbbrevTable::attrs
    uint32_t attrCount = 0;
};

class AbbrevTable {
public:
    // Decodes the table at `offset` of .debug_abbrev, up to its closing 0.
    AbbrevTable(const DwarfSections& sections, uint64_t offset);

    // The abbreviation with that code, or null.
    const Abbrev* find(uint64_t code) const {
        if (code < dense_.size()) return dense_[code].code != 0 ? &dense_[code] : nullptr;
        auto it = sparse_.find(code);
        return it == sparse_.end() ? nullptr : &it->second;
    }
    const AbbrevAttr* attrs(const Abbrev& a) const { return attrs_.data() + a.firstAttr; }

private:
    std::vector<Abbrev> dense_;                   // codes 0 .. n, as GCC numbers them
    std::unordered_map<uint64_t, Abbrev> sparse_;  // any other code
    std::vector<AbbrevAttr> attrs_;
};

// The tables met so far, by offset: units of one file usually share a few.
class AbbrevCache {
public:
    explicit AbbrevCache(const DwarfSections& sections) : sections_(sections) {}
    // Units hold their table while they live, so the cache may drop it.
    std::shared_ptr<const AbbrevTable> at(uint64_t offset);

private:
    const DwarfSections& sections_;
    std::unordered_map<uint64_t, std::shared_ptr<const AbbrevTable>> tables_;
};

}  // namespace dravont
