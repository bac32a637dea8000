// The state of one run: options, names, the input image, the current-record
// slots that the decoders fill and their callers read, and the counters.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Against the layering (common/ below the readers): the run state holds the
// COFF record slots the decoders fill, and the input image every reader reads.
#include "coff/coff_records.h"
#include "coff/input_image.h"
#include "common/ordered_work.h"
#include "common/text_out.h"

namespace dravont {

class OutputFiles;

struct RunState {
    explicit RunState(TextOut& standardOutput) : out(standardOutput) {}

    bool debugMode = false;
    std::string inputName;
    std::string outputName;
    std::string symbolFileName;
    std::string lineFileName;

    InputImage image;
    // Position of the string table in the image: f_symptr + 18 * f_nsyms,
    // computed in 64 bits so that no count can wrap it into the file.
    uint64_t stringTable = 0;

    // Current-record slots: each decode replaces its slot, callers read the
    // slot right afterwards.
    std::unique_ptr<FileHeader> fileHeader;
    std::unique_ptr<OptionalHeader> optionalHeader;
    std::unique_ptr<SectionHeader> sectionHeader;
    std::unique_ptr<LineEntry> lineEntry;
    std::unique_ptr<SymbolEntry> symbolEntry;
    std::unique_ptr<AuxEntry> auxEntry;

    // Image position of the header record each header decoder read last.
    uint64_t fileHeaderPosition = 0;
    uint64_t optionalHeaderPosition = 0;
    uint64_t sectionHeaderPosition = 0;

    TargetFamily targetFamily = TargetFamily::H8;

    // Sorted start offsets of the file's structures, gathered on first need
    // to bound line-number tables whose 16-bit count saturated.
    std::vector<uint64_t> structureStarts;
    bool structureStartsKnown = false;

    // Lines written to the symbol file and records written to the line file;
    // 16-bit like the summary line that prints them, so they wrap past 32767.
    int16_t symbolCount = 0;
    int16_t lineCount = 0;

    // When set, the conversion appends the file offset of every line-number
    // entry it writes (tests and fuzzing check that none repeats).
    std::vector<uint64_t>* lineEntryLog = nullptr;

    // Threads the DWARF conversion may use: 0 for as many as the machine
    // has (a few at most), 1 for the calling thread alone. The output is
    // the same whatever the number.
    unsigned threads = 0;
    // The threads of a run that uses more than one, kept until its end.
    std::unique_ptr<WorkerPool> pool;

    // A warning the run prints on standard error once it has succeeded
    // (names the cut makes ambiguous); empty for none.
    std::string warning;

    TextOut& out;                     // standard output
    OutputFiles* outputs = nullptr;   // where the symbol and line files go
};

// The slots are allocated once at start-up and released after the conversion,
// both in the order FileHeader, OptionalHeader, SectionHeader, LineEntry,
// SymbolEntry, AuxEntry.
void allocate_slots(RunState& state);
void release_slots(RunState& state);

}  // namespace dravont
