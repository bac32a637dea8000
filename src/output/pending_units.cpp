// The walked units' functions kept packed between the walk of their DIEs
// and the writing of their line records.
#include "output/pending_units.h"

#include "common/reserve.h"

namespace dravont {

namespace {

// LEB128 of zigzagged differences: nearby addresses take a byte or two.
// The caller has made room for ten bytes a value.
uint8_t* put_uleb(uint8_t* out, uint64_t v) {
    for (; v >= 0x80; v >>= 7) *out++ = static_cast<uint8_t>(v | 0x80);
    *out++ = static_cast<uint8_t>(v);
    return out;
}
uint8_t* put_delta(uint8_t* out, uint64_t from, uint64_t to) {
    const uint64_t d = to - from;
    return put_uleb(out, d << 1 ^ (0 - (d >> 63)));
}

// Reads what put_uleb and put_delta wrote; the bytes are the conversion's
// own, so they need no bounds.
struct Unpacker {
    const uint8_t* p;
    uint64_t uleb() {
        uint64_t v = 0;
        for (unsigned shift = 0;; shift += 7) {
            const uint8_t b = *p++;
            v |= uint64_t{b & 0x7Fu} << shift;
            if (b < 0x80) return v;
        }
    }
    uint64_t delta(uint64_t from) {
        const uint64_t z = uleb();
        return from + (z >> 1 ^ (0 - (z & 1)));
    }
};

enum : uint8_t { kHasDeclFile = 1, kOtherDeclUnit = 2 };

}  // namespace

void pack_functions(PendingUnit& unit) {
    constexpr size_t kMaxValue = 10;  // bytes of one LEB128 value
    std::vector<uint8_t> out(unit.functions.size() * (4 * kMaxValue + 1) + unit.ranges.size() * 2 * kMaxValue);
    uint8_t* p = out.data();
    uint64_t previous = 0;
    for (const PendingFunction& f : unit.functions) {
        p = put_delta(p, previous, f.value);
        previous = f.value;
        p = put_uleb(p, f.rangeCount);
        for (uint32_t k = 0; k < f.rangeCount; ++k) {
            const AddressRange& r = unit.ranges[f.firstRange + k];
            p = put_delta(p, f.value, r.low);
            p = put_delta(p, r.low, r.high);
        }
        const bool otherUnit = f.hasDeclFile && f.declUnit != unit.offset;
        *p++ = static_cast<uint8_t>((f.hasDeclFile ? kHasDeclFile : 0) | (otherUnit ? kOtherDeclUnit : 0));
        if (f.hasDeclFile) p = put_uleb(p, f.declFile);
        if (otherUnit) p = put_uleb(p, f.declUnit);
    }
    unit.packed.assign(out.data(), p);
    unit.functionCount = unit.functions.size();
    unit.functions.clear();
    unit.ranges.clear();
}

void unpack_functions(PendingUnit& unit) {
    unit.functions.clear();
    unit.ranges.clear();
    reserve_rounded(unit.functions, unit.functionCount);
    Unpacker in{unit.packed.data()};
    uint64_t previous = 0;
    for (size_t i = 0; i < unit.functionCount; ++i) {
        PendingFunction f;
        f.value = previous = in.delta(previous);
        f.firstRange = static_cast<uint32_t>(unit.ranges.size());
        f.rangeCount = static_cast<uint32_t>(in.uleb());
        for (uint32_t k = 0; k < f.rangeCount; ++k) {
            AddressRange r;
            r.low = in.delta(f.value);
            r.high = in.delta(r.low);
            unit.ranges.push_back(r);
        }
        const uint8_t flags = *in.p++;
        f.hasDeclFile = (flags & kHasDeclFile) != 0;
        if (f.hasDeclFile) f.declFile = in.uleb();
        f.declUnit = (flags & kOtherDeclUnit) ? in.uleb() : unit.offset;
        unit.functions.push_back(f);
    }
}

void append_entries(const PendingUnit& unit, std::vector<uint64_t>& entries) {
    Unpacker in{unit.packed.data()};
    uint64_t previous = 0;
    for (size_t i = 0; i < unit.functionCount; ++i) {
        entries.push_back(previous = in.delta(previous));
        const uint64_t ranges = in.uleb();
        for (uint64_t k = 0; k < 2 * ranges; ++k) in.uleb();
        const uint8_t flags = *in.p++;
        if (flags & kHasDeclFile) in.uleb();
        if (flags & kOtherDeclUnit) in.uleb();
    }
}

std::vector<uint64_t> all_entries(const std::vector<PendingUnit>& units) {
    std::vector<uint64_t> entries;
    size_t count = 0;
    for (const PendingUnit& unit : units) count += unit.functionCount;
    entries.reserve(count);
    for (const PendingUnit& unit : units) append_entries(unit, entries);
    return entries;
}

}  // namespace dravont
