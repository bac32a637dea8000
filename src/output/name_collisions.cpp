#include "output/name_collisions.h"

#include <algorithm>
#include <tuple>

#include "common/hash.h"
#include "common/text_out.h"

namespace dravont {

namespace {

constexpr size_t kShown = 3;  // names the warning line shows
constexpr uint64_t kHashSeed = 0x43555421;

void put_values(TextOut& out, const std::vector<uint32_t>& values) {
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) out.put(' ');
        out.hex(values[i], 8);
    }
}

}  // namespace

void NameCollisions::note(uint64_t unit, uint64_t die, uint32_t value, std::string_view field, std::string_view full) {
    Line l;
    l.unit = unit;
    l.die = die;
    l.hash = hash_bytes(field, kHashSeed);
    l.value = value;
    l.fieldAt = static_cast<uint32_t>(text_.size());
    l.fieldSize = static_cast<uint32_t>(field.size());
    text_.append(field);
    if (full.empty() || full == field) {
        l.fullAt = l.fieldAt;
        l.fullSize = l.fieldSize;
    } else {
        l.fullAt = static_cast<uint32_t>(text_.size());
        l.fullSize = static_cast<uint32_t>(full.size());
        text_.append(full);
    }
    lines_.push_back(l);
}

void NameCollisions::take(NameCollisions& other) {
    const uint32_t shift = static_cast<uint32_t>(text_.size());
    text_.append(other.text_);
    for (Line l : other.lines_) {
        l.fieldAt += shift;
        l.fullAt += shift;
        lines_.push_back(l);
    }
    other.lines_ = std::vector<Line>();
    other.text_ = std::string();
}

std::vector<NameCollisions::Collision> NameCollisions::find() const {
    std::vector<Collision> found;
    const size_t n = lines_.size();
    if (n < 2) return found;
    // Lines by field: each line's first line of the same field, and whether
    // the field has two values.
    size_t size = 16;
    while (size < 2 * n) size *= 2;
    std::vector<uint32_t> slots(size, 0);
    std::vector<uint32_t> head(n);
    std::vector<bool> several(n, false);
    bool any = false;
    for (uint32_t i = 0; i < n; ++i) {
        const Line& l = lines_[i];
        for (size_t at = l.hash & (size - 1);; at = (at + 1) & (size - 1)) {
            if (slots[at] == 0) {
                slots[at] = i + 1;
                head[i] = i;
                break;
            }
            const Line& h = lines_[slots[at] - 1];
            if (h.hash == l.hash && field(h) == field(l)) {
                head[i] = slots[at] - 1;
                if (h.value != l.value && !several[head[i]]) several[head[i]] = any = true;
                break;
            }
        }
    }
    if (!any) return found;
    // The lines of fields with two values, by field, in symbol-file order.
    std::vector<uint32_t> members;
    for (uint32_t i = 0; i < n; ++i) {
        if (several[head[i]]) members.push_back(i);
    }
    auto key = [&](uint32_t i) { return std::make_tuple(lines_[i].unit, lines_[i].die, i); };
    std::sort(members.begin(), members.end(), [&](uint32_t a, uint32_t b) { return key(a) < key(b); });
    std::vector<int64_t> groupOf(n, -1);  // by head
    for (const uint32_t i : members) {
        const Line& l = lines_[i];
        int64_t& g = groupOf[head[i]];
        if (g < 0) {
            g = static_cast<int64_t>(found.size());
            found.emplace_back();
            found.back().field.assign(field(l));
        }
        Collision& c = found[static_cast<size_t>(g)];
        const std::string_view name = full(l);
        if (std::find(c.values.begin(), c.values.end(), l.value) == c.values.end()) c.values.push_back(l.value);
        if (std::find(c.fulls.begin(), c.fulls.end(), name) == c.fulls.end()) c.fulls.emplace_back(name);
        const std::pair<uint32_t, std::string> use(l.value, std::string(name));
        if (std::find(c.uses.begin(), c.uses.end(), use) == c.uses.end()) c.uses.push_back(use);
    }
    // Only where the cut made them alike: two names, one of them cut.
    found.erase(std::remove_if(found.begin(), found.end(),
                               [](const Collision& c) {
                                   const bool cut = std::any_of(c.fulls.begin(), c.fulls.end(),
                                                                [&](const std::string& f) { return f != c.field; });
                                   return c.values.size() < 2 || c.fulls.size() < 2 || !cut;
                               }),
                found.end());
    return found;
}

std::string NameCollisions::warning(const std::vector<Collision>& found) {
    if (found.empty()) return std::string();
    TextOut out;
    out.dec(found.size());
    out.put(" names of the symbol file stand for more than one address once cut to 32 characters"
            " (65 for a qualified static): ");
    for (size_t i = 0; i < found.size() && i < kShown; ++i) {
        const Collision& c = found[i];
        if (i) out.put("; ");
        out.put(c.field).put(" at ");
        put_values(out, c.values);
        out.put(" (cut from ");
        for (size_t k = 0; k < c.fulls.size(); ++k) {
            if (k) out.put(", ");
            out.put(c.fulls[k]);
        }
        out.put(')');
    }
    if (found.size() > kShown) out.put("; and ").dec(found.size() - kShown).put(" more (-debug lists all)");
    return out.take();
}

void NameCollisions::list(TextOut& out, const std::vector<Collision>& found) {
    if (found.empty()) return;
    out.put("Names standing for more than one address once cut: ").dec(found.size()).put("\n");
    for (const Collision& c : found) {
        out.put(c.field).put('\n');
        for (const auto& use : c.uses) out.put("    ").hex(use.first, 8).put(' ').put(use.second).put('\n');
    }
    out.put('\n');
}

}  // namespace dravont
