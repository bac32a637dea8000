// The sequencing of the DWARF conversion: the units' headers, then two runs
// of ordered work over the units (their DIEs, then their line tables), on
// the pool's threads or, for one thread, one unit or the listing, on the
// calling one; in between, the functions folded into others, after them the
// report of names the cut makes alike. What is written is decided in dwarf_rules and
// dwarf_line_records; where it goes, by the sink each worker is given.
#include "output/convert_dwarf.h"

#include <memory>
#include <string>
#include <vector>

#include "common/ordered_work.h"
#include "common/run_error.h"
#include "common/run_state.h"
#include "common/text_out.h"
#include "dwarf/debug_info.h"
#include "dwarf/unit_list.h"
#include "output/debugger_files.h"
#include "output/dwarf_line_records.h"
#include "output/dwarf_resolver.h"
#include "output/dwarf_rules.h"
#include "output/entity_sink.h"
#include "output/folded_functions.h"
#include "output/linker_kept.h"
#include "output/name_collisions.h"

namespace dravont {

namespace {

// One thread's share: its own reader caches, rules, line records and sink.
struct Worker {
    Worker(RunState& state, const DwarfInput& input, const UnitList& units, const LinkerKept& kept,
           const FoldedFunctions& folded, std::string_view prefix, TextOut* listing, bool apart)
        : resolver(input.sections, units), classes(resolver), files(state), lines(resolver, files, listing, kept),
          sink(apart ? std::unique_ptr<EntitySink>(new PartSink(input.allocated))
                     : std::unique_ptr<EntitySink>(new FileSink(files, input.symbolCount, input.allocated))),
          rules(state, input, prefix, resolver, classes, lines, *sink, folded, listing != nullptr) {}

    void walk(const UnitHeader& header, UnitPart& part) {
        sink->begin_unit(part, header.end - header.offset);
        part.made = rules.convert_unit(header, part.unit);
        sink->end_unit();
    }

    DieResolver resolver;
    TypeClasses classes;
    DebuggerFiles files;  // the run's files, or a part's text while it writes apart
    LineRecords lines;
    std::unique_ptr<EntitySink> sink;
    DwarfRules rules;
};

class Sequence {
public:
    Sequence(RunState& state, const DwarfInput& input, const UnitList& units, TextOut* listing)
        : state_(state), input_(input), units_list_(units), listing_(listing), kept_(input),
          folded_(input.functionSymbols), one_(1) {}
    void run(std::string_view prefix);

private:
    size_t items() const;
    void walk_units();
    void write_folded_functions();
    void write_line_records();
    void report_collisions();

    RunState& state_;
    const DwarfInput& input_;
    const UnitList& units_list_;  // .debug_info's headers, read once
    TextOut* listing_;
    const LinkerKept kept_;
    const FoldedFunctions folded_;
    WorkerPool one_;  // the calling thread alone
    WorkerPool* pool_ = &one_;
    bool apart_ = false;  // workers write into parts, put in the files in order
    std::vector<std::unique_ptr<Worker>> workers_;
    std::unique_ptr<UnitPart[]> parts_;  // by slot
    size_t window_ = 1;
    std::vector<PendingUnit> units_;  // walked, their functions packed
};

void Sequence::run(std::string_view prefix) {
    // The listing shows each unit's entities as one walk meets them.
    apart_ = !listing_ && input_.pool && input_.pool->threads() > 1 && items() > 1;
    if (apart_) pool_ = input_.pool;
    const unsigned threads = pool_->threads();
    for (unsigned i = 0; i < threads; ++i) {
        workers_.push_back(std::make_unique<Worker>(state_, input_, units_list_, kept_, folded_, prefix, listing_, apart_));
    }
    // One more slot than threads: a thread that finished a unit goes on
    // with the next while the one before waits for its merge.
    window_ = apart_ ? threads + 1 : 1;
    parts_.reset(new UnitPart[window_]);
    walk_units();
    write_folded_functions();
    write_line_records();
    report_collisions();
}

// The units, and the header that ended the list as one more item: its
// fault is met, as one walk meets it, after the units before it.
size_t Sequence::items() const {
    return units_list_.units().size() + (units_list_.fault() ? 1 : 0);
}

void Sequence::walk_units() {
    const std::vector<UnitHeader>& headers = units_list_.units();
    std::unique_ptr<PartMerge> merge;
    if (apart_) merge = std::make_unique<PartMerge>(DebuggerFiles(state_), input_.symbolCount);
    try {
        pool_->run_ordered(
            items(), window_,
            [&](size_t i, unsigned worker, size_t slot) {
                if (i == headers.size()) units_list_.rethrow_fault();
                workers_[worker]->walk(headers[i], parts_[slot]);
            },
            [&](size_t, size_t slot) {
                if (merge) merge->merge(parts_[slot]);
                keep_unit(parts_[slot], units_);
            });
    } catch (...) {
        // The listing shows what was read before the fault.
        if (listing_) {
            for (const PendingUnit& unit : units_) listing_->put(unit.listing);
            listing_->put(workers_[0]->rules.take_listing());
        }
        throw;
    }
    // The sets of written lines are freed before the line records need
    // their memory.
    for (auto& w : workers_) w->sink.reset();
}

// Once every unit is walked and before any line record is written: the
// functions folded into others, written from the symbol table.
void Sequence::write_folded_functions() {
    NameCollisions& collisions = workers_[0]->rules.collisions();
    for (size_t i = 1; i < workers_.size(); ++i) collisions.take(workers_[i]->rules.collisions());
    DebuggerFiles files(state_);
    folded_.finish(units_, input_.sections, kept_, files, collisions, listing_);
}

void Sequence::report_collisions() {
    const std::vector<NameCollisions::Collision> found = workers_[0]->rules.collisions().find();
    state_.warning = NameCollisions::warning(found);
    if (listing_) NameCollisions::list(*listing_, found);
}

void Sequence::write_line_records() {
    // The entries of all units, once the written lines are gone: a large
    // input never holds both.
    workers_[0]->lines.set_entries(all_entries(units_));
    for (size_t i = 1; i < workers_.size(); ++i) workers_[i]->lines.share_entries(workers_[0]->lines);
    pool_->run_ordered(
        units_.size(), window_,
        [&](size_t i, unsigned worker, size_t slot) {
            Worker& w = *workers_[worker];
            if (apart_) {
                UnitPart& part = parts_[slot];
                part.text.clear();
                part.lineCount = 0;
                w.files.set_target(part.text, part.text, part.symbolCount, part.lineCount);
            }
            w.lines.write_unit(units_[i]);
        },
        [&](size_t i, size_t slot) {
            if (apart_) {
                const UnitPart& part = parts_[slot];
                state_.outputs->lines().put_through(part.text.text());
                state_.lineCount = static_cast<int16_t>(state_.lineCount + part.lineCount);  // 16-bit: wraps
            }
            units_[i] = PendingUnit();
        });
}

}  // namespace

void convert_dwarf(RunState& state, const DwarfInput& input, TextOut* listing) {
    const UnitList units(input.sections);
    const std::string_view prefix = decide_label_prefix(input, units);
    if (listing) listing->put("Label prefix: \"").put(prefix).put("\"\n\n");
    if (!input.sections.info.present) return;
    Sequence(state, input, units, listing).run(prefix);
}

}  // namespace dravont
