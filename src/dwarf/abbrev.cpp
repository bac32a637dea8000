#include "dwarf/abbrev.h"

#include <string>

namespace dravont {

namespace {

constexpr size_t kCachedTables = 64;  // enough for units that share tables

}  // namespace

AbbrevTable::AbbrevTable(const DwarfSections& sections, uint64_t offset) {
    ByteReader r(sections.abbrev, sections.order);
    if (!sections.abbrev.present || offset >= sections.abbrev.size) {
        r.fail("abbreviation table offset " + std::to_string(offset), 0);
    }
    r.seek(offset);
    std::vector<Abbrev> entries;
    for (;;) {
        const uint64_t at = r.position();
        Abbrev a;
        a.code = r.uleb();
        if (a.code == 0) break;
        const uint64_t tag = r.uleb();
        if (tag > 0xFFFF) r.fail("tag", at);
        a.tag = static_cast<uint16_t>(tag);
        a.hasChildren = r.u8() != 0;
        a.firstAttr = static_cast<uint32_t>(attrs_.size());
        for (;;) {
            const uint64_t name = r.uleb();
            const uint64_t form = r.uleb();
            if (name == 0 && form == 0) break;
            if (name > 0xFFFF || form > 0xFFFF) r.fail("attribute specification", at);
            AbbrevAttr attr{static_cast<uint16_t>(name), static_cast<uint16_t>(form), 0};
            if (form == 0x21) attr.implicitConst = r.sleb();  // DW_FORM_implicit_const
            attrs_.push_back(attr);
        }
        a.attrCount = static_cast<uint32_t>(attrs_.size()) - a.firstAttr;
        entries.push_back(a);
    }
    // GCC numbers abbreviations 1, 2, 3...: index those directly.
    const uint64_t denseLimit = 2 * entries.size() + 16;
    for (const Abbrev& a : entries) {
        if (a.code < denseLimit) {
            if (a.code >= dense_.size()) dense_.resize(static_cast<size_t>(a.code) + 1);
            if (dense_[a.code].code == 0) dense_[a.code] = a;  // the first definition counts
        } else {
            sparse_.emplace(a.code, a);
        }
    }
}

std::shared_ptr<const AbbrevTable> AbbrevCache::at(uint64_t offset) {
    auto it = tables_.find(offset);
    if (it != tables_.end()) return it->second;
    if (tables_.size() >= kCachedTables) tables_.clear();
    auto table = std::make_shared<const AbbrevTable>(sections_, offset);
    tables_.emplace(offset, table);
    return table;
}

}  // namespace dravont
