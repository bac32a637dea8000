// Names the cut makes ambiguous. A symbol-file line keeps 32 characters of
// a name (65 of a qualified static), so names that differ only after them
// are written alike: the debugger then shows one name at several addresses.
// The files keep their format; the user is told which names collide: a
// name field written at two or more addresses, cut from two or more
// different names (one of them longer than the field). After the run one
// warning line on standard error gives their number and the first few
// (field, addresses, the names they were cut from); the -debug listing
// gives all of them. Nothing is said where nothing collides.
//
// Hooks into the conversion: the rules of each worker (dwarf_rules.cpp, one
// per thread) have a NameCollisions of their own, to which every symbol-file line
// it meets (written or dropped as a repeat) of 32 characters or more goes
// by note(), ordered by its unit's and DIE's offsets (the symbol file's
// order); the folded functions' lines follow with kAfterWalk. The sequence
// (convert_dwarf.cpp) has the first one take the others' (take) and
// reports what find() gives.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dravont {

class TextOut;

// The unit offset the lines written after the walk are noted under.
inline constexpr uint64_t kAfterWalk = UINT64_MAX;

class NameCollisions {
public:
    // Only fields of 32 characters or more can have been cut (a cut name
    // keeps 32 characters, a cut qualified name more), or equal one that
    // was.
    static bool may_collide(std::string_view field) { return field.size() >= 32; }

    // A line's name field as written, its value and the name before any
    // cut ("" or the field itself when nothing was cut), at (unit, die).
    void note(uint64_t unit, uint64_t die, uint32_t value, std::string_view field, std::string_view full);
    // Takes the lines `other` noted.
    void take(NameCollisions& other);

    struct Collision {
        std::string field;
        std::vector<uint32_t> values;   // in symbol-file order
        std::vector<std::string> fulls;  // the names cut to the field, in order
        std::vector<std::pair<uint32_t, std::string>> uses;  // each (value, name) met, in order
    };
    // The colliding names, in the order the symbol file first has them.
    std::vector<Collision> find() const;

    // The warning line ("" when nothing collides), the first few names.
    static std::string warning(const std::vector<Collision>& found);
    // Every colliding name for the -debug listing; nothing when none.
    static void list(TextOut& out, const std::vector<Collision>& found);

private:
    struct Line {
        uint64_t unit, die;
        uint64_t hash;
        uint32_t value;
        uint32_t fieldAt, fieldSize;
        uint32_t fullAt, fullSize;
    };
    std::string_view field(const Line& l) const { return std::string_view(text_).substr(l.fieldAt, l.fieldSize); }
    std::string_view full(const Line& l) const { return std::string_view(text_).substr(l.fullAt, l.fullSize); }

    std::vector<Line> lines_;
    std::string text_;  // the fields and full names
};

}  // namespace dravont
