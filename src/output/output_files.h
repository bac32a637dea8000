// Where the conversion writes the symbol file and the line file.
//
// The command line writes both to temporary files beside their destinations
// and renames them into place only when the whole run has succeeded, so a
// failed run never leaves a half-written or emptied BASE.sym or BASE.lin,
// nor a new BASE.sym beside an old BASE.lin: both are replaced or neither.
// The swaps are made under the directory's commit lock with the signals
// that end a run held back (commit_guard.h).
// Tests and in-process runs keep both files in memory.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

#include "common/text_out.h"

namespace dravont {

struct RunState;

class OutputFiles {
public:
    virtual ~OutputFiles() = default;
    // Creates both files, named by state.symbolFileName and state.lineFileName.
    // Throws RunFailure when one cannot be created.
    virtual void open(const RunState& state) = 0;
    virtual TextOut& symbols() = 0;
    virtual TextOut& lines() = 0;
    // Ends writing. Throws RunFailure when anything could not be written.
    virtual void close() = 0;
    // Makes the written files the real ones. Throws RunFailure on failure.
    virtual void commit() = 0;
};

class MemoryOutputs final : public OutputFiles {
public:
    void open(const RunState&) override { opened_ = true; }
    TextOut& symbols() override { return symbols_; }
    TextOut& lines() override { return lines_; }
    void close() override {}
    void commit() override { committed_ = true; }

    bool opened() const { return opened_; }
    bool committed() const { return committed_; }

private:
    TextOut symbols_;
    TextOut lines_;
    bool opened_ = false;
    bool committed_ = false;
};

class AtomicFileOutputs final : public OutputFiles {
public:
    AtomicFileOutputs() = default;
    ~AtomicFileOutputs() override;  // removes temporary files left uncommitted
    AtomicFileOutputs(const AtomicFileOutputs&) = delete;
    AtomicFileOutputs& operator=(const AtomicFileOutputs&) = delete;

    void open(const RunState& state) override;
    TextOut& symbols() override { return *symbols_.text; }
    TextOut& lines() override { return *lines_.text; }
    void close() override;
    void commit() override;

    // Test seam: runs between the two renames of commit(), so that a test can
    // make the second one fail after the first has succeeded.
    void set_between_renames(std::function<void()> hook) { betweenRenames_ = std::move(hook); }

private:
    struct Pending {
        std::string finalName;
        std::string tempName;
        std::FILE* file = nullptr;
        std::unique_ptr<TextOut> text;
        int lockFd = -1;    // holds the temporary's lock until the run is done with it
        int signalSlot = -1;  // where the signal handler finds tempName
    };
    // The temporary is no longer the handler's to remove, nor locked.
    static void release(Pending& pending);
    static void create(Pending& pending, const std::string& finalName, bool utf8);
    // The two swaps of commit(), made under its lock with signals held back.
    void swap_into_place();
    static void finish(Pending& pending, bool utf8);
    static void discard(Pending& pending);
    // Returns finalName to the file `previous` names ("": to no file); false
    // when that fails and `previous` still holds the old content.
    static bool put_back(const std::string& finalName, const std::string& previous);

    Pending symbols_;
    Pending lines_;
    bool committed_ = false;
    bool utf8_ = false;
    std::function<void()> betweenRenames_;
};

}  // namespace dravont
