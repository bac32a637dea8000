// Abbreviation tables (.debug_abbrev): the shape of every DIE of a unit.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "dwarf/die_info.h"
#include "dwarf/dwarf_sections.h"
#include "dwarf/forms.h"

namespace dravont {

// An attribute specification, with its form's size as the form table
// gives it for every unit of this reader: forms of one size in all of them
// (FormSize::Fixed, Implicit and Offset) are Fixed here, with their bytes.
// Address-sized and DW_FORM_ref_addr values take sizes from the unit, which
// may differ between units that share a table.
struct AbbrevAttr {
    uint16_t name;
    uint16_t form;
    int64_t implicitConst;  // the value of a DW_FORM_implicit_const attribute
    FormSize size;          // Fixed, Address, RefAddr, Uleb ... BlockUleb, Indirect or Refused
    uint8_t bytes;          // FormSize::Fixed
};

// One step of a DIE's plan: runs of values whose sizes are known in advance
// are stepped over at once, any other value is stepped over by its form, and
// when the DIE is read, the values DieInfo keeps are decoded (the Keep ops).
// A plan runs on a DieCursor: a value that would pass the end of the data
// stops it with the failure a value-by-value read would report there; a
// Slow step (a form read only value by value: DW_FORM_indirect, or a
// refused one) hands the DIE's remaining values to that reader.
struct AbbrevStep {
    enum Op : uint8_t {
        // Stepped over.
        Fixed, Address, RefAddr, Uleb, Sleb, String, Block1, Block2, Block4, BlockUleb,
        // Kept, each with its own field and form: the commonest pairs.
        NameStrp, TypeRef4, LowPcAddress, HighPcData4, LocationExprloc,
        // Kept: how the value is read. KeepConst takes `constant`
        // (DW_FORM_implicit_const, DW_FORM_flag_present) and reads nothing;
        // the KeepRef ops add the unit's offset (DW_FORM_ref1 ... ref_udata).
        KeepConst, Keep1, Keep2, Keep3, Keep4, Keep8, KeepAddress, KeepRefAddr, KeepUleb, KeepSleb,
        KeepFlag, KeepString, KeepBlock1, KeepBlock2, KeepBlock4, KeepBlockUleb, Keep16,
        KeepRef1, KeepRef2, KeepRef4, KeepRef8, KeepRefUleb,
        Slow,
    };
    Op op = Slow;
    uint8_t slot = 0;        // Keep ops: the field of DieInfo the value fills
    uint8_t cls = 0;         // Keep ops: the class of the value's form (debug_info.cpp)
    uint32_t value = 0;      // Fixed: the bytes
    union {
        int64_t constant = 0;  // KeepConst
        uint32_t firstAttr;    // Fixed and Slow: the index of the step's first attribute
    };
};

// The step that decodes attribute `name` of form `form` into its field of
// DieInfo (debug_info.cpp); false for the attributes the conversion never
// reads, which plans step over. `step` is Slow for a form only decoded value
// by value.
bool die_keep_step(uint16_t name, uint16_t form, int64_t implicitConst, AbbrevStep& step);
// Keeps the value of a KeepConst step in `die` as the step would.
void die_keep_constant(const AbbrevStep& step, DieInfo& die);

struct Abbrev {
    uint64_t code = 0;  // 0: no such abbreviation
    uint16_t tag = 0;
    bool hasChildren = false;
    uint32_t firstAttr = 0;  // into AbbrevTable::attrs
    uint32_t attrCount = 0;
    // Every value has a fixed size in a given unit: the DIE's attributes
    // take fixedBytes plus addressSized values of the address size and
    // refAddrSized of the DW_FORM_ref_addr size.
    bool fixedSize = true;
    uint64_t fixedBytes = 0;
    uint32_t addressSized = 0;
    uint32_t refAddrSized = 0;
    // Plans, into AbbrevTable::steps: every value stepped over, and the
    // kept attributes decoded with the others stepped over.
    uint32_t firstSkip = 0, skipSteps = 0;
    uint32_t firstRead = 0, readSteps = 0;
    // Into AbbrevTable::prototypes: what every DIE of this shape holds
    // before its data is read (tag, code, the constant attributes whose
    // field no other attribute of the DIE fills), so the read plan leaves
    // those out.
    uint32_t prototype = 0;
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
    const AbbrevStep* steps(uint32_t first) const { return steps_.data() + first; }
    const DieInfo& prototype(const Abbrev& a) const { return prototypes_[a.prototype]; }

private:
    void add_plan(Abbrev& a, bool read);

    std::vector<Abbrev> dense_;                   // codes 0 .. n, as GCC numbers them
    std::unordered_map<uint64_t, Abbrev> sparse_;  // any other code
    std::vector<AbbrevAttr> attrs_;
    std::vector<AbbrevStep> steps_;
    std::vector<DieInfo> prototypes_;
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
