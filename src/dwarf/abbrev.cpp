#include "dwarf/abbrev.h"

#include <array>
#include <string>

#include "dwarf/dwarf_constants.h"

namespace dravont {

namespace {

constexpr size_t kCachedTables = 64;  // enough for units that share tables
constexpr uint32_t kLongestRun = 1u << 20;  // bytes one plan step takes at most

// The attribute's size in any unit of this reader (see AbbrevAttr).
void lay_out(AbbrevAttr& attr) {
    const FormInfo& info = form_info(attr.form);
    attr.size = info.size;
    attr.bytes = 0;
    const int bytes = form_fixed_size(info, FormSizes{4, kOffsetSize, 4});
    if (info.size == FormSize::Fixed || info.size == FormSize::Implicit || info.size == FormSize::Offset) {
        attr.size = FormSize::Fixed;
        attr.bytes = static_cast<uint8_t>(bytes);
    }
}

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
            AbbrevAttr attr{static_cast<uint16_t>(name), static_cast<uint16_t>(form), 0, FormSize::Refused, 0};
            if (form == DW_FORM_implicit_const) attr.implicitConst = r.sleb();
            lay_out(attr);
            switch (attr.size) {
                case FormSize::Fixed: a.fixedBytes += attr.bytes; break;
                case FormSize::Address: ++a.addressSized; break;
                case FormSize::RefAddr: ++a.refAddrSized; break;
                default: a.fixedSize = false; break;
            }
            attrs_.push_back(attr);
        }
        a.attrCount = static_cast<uint32_t>(attrs_.size()) - a.firstAttr;
        a.prototype = static_cast<uint32_t>(prototypes_.size());
        DieInfo& prototype = prototypes_.emplace_back();
        prototype.tag = a.tag;
        prototype.hasChildren = a.hasChildren;
        add_plan(a, false);
        add_plan(a, true);
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

void AbbrevTable::add_plan(Abbrev& a, bool read) {
    const uint32_t first = static_cast<uint32_t>(steps_.size());
    // How many attributes of the DIE fill each field of DieInfo: a constant
    // is set in the prototype only when no other attribute may overwrite it.
    std::array<uint8_t, 256> fills{};
    if (read) {
        for (uint32_t i = 0; i < a.attrCount; ++i) {
            const AbbrevAttr& attr = attrs_[a.firstAttr + i];
            AbbrevStep keep;
            if (die_keep_step(attr.name, attr.form, attr.implicitConst, keep) && fills[keep.slot] < 2) ++fills[keep.slot];
        }
    }
    auto add = [&](AbbrevStep::Op op, uint32_t value, uint32_t attr) {
        AbbrevStep step;
        step.op = op;
        step.value = value;
        step.firstAttr = attr;
        steps_.push_back(step);
    };
    for (uint32_t i = 0; i < a.attrCount; ++i) {
        const AbbrevAttr& attr = attrs_[a.firstAttr + i];
        if (attr.size == FormSize::Indirect || attr.size == FormSize::Refused) {
            add(AbbrevStep::Slow, 0, i);
            continue;
        }
        AbbrevStep keep;
        if (read && die_keep_step(attr.name, attr.form, attr.implicitConst, keep)) {
            if (keep.op == AbbrevStep::KeepConst && fills[keep.slot] == 1) die_keep_constant(keep, prototypes_[a.prototype]);
            else steps_.push_back(keep);
            continue;
        }
        if (attr.size == FormSize::Fixed) {
            if (attr.bytes == 0) continue;
            if (steps_.size() > first && steps_.back().op == AbbrevStep::Fixed && steps_.back().value < kLongestRun) {
                steps_.back().value += attr.bytes;
            } else {
                add(AbbrevStep::Fixed, attr.bytes, i);
            }
            continue;
        }
        AbbrevStep::Op op = AbbrevStep::Uleb;
        switch (attr.size) {
            case FormSize::Address: op = AbbrevStep::Address; break;
            case FormSize::RefAddr: op = AbbrevStep::RefAddr; break;
            case FormSize::Sleb: op = AbbrevStep::Sleb; break;
            case FormSize::String: op = AbbrevStep::String; break;
            case FormSize::Block1: op = AbbrevStep::Block1; break;
            case FormSize::Block2: op = AbbrevStep::Block2; break;
            case FormSize::Block4: op = AbbrevStep::Block4; break;
            case FormSize::BlockUleb: op = AbbrevStep::BlockUleb; break;
            default: break;  // Uleb (the table's other sizes are Fixed or Slow here)
        }
        add(op, 0, i);
    }
    const uint32_t count = static_cast<uint32_t>(steps_.size()) - first;
    if (read) {
        a.firstRead = first;
        a.readSteps = count;
    } else {
        a.firstSkip = first;
        a.skipSteps = count;
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
