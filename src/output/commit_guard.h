// What keeps the pair of output files whole when runs overlap or end early.
//
// - CommitLock serialises the commits into one directory: two runs writing
//   the same BASE each replace both files in turn, never one of each. It is
//   held only over the swaps, so a run never waits for another's conversion.
//   POSIX: flock on the directory itself (no lock file is left behind);
//   Windows: a named mutex of the directory's path (nothing is left there).
// - DeferredSignals holds back SIGINT, SIGTERM, SIGHUP and SIGPIPE over the
//   swaps: such a signal ends the run after the pair is complete.
// - Temporaries: a run's temporary files are removed when one of those
//   signals ends it during the conversion, and each holds an flock for as
//   long as its run lives, so that a later run into the same directory can
//   tell which temporaries are stale (their run died without cleaning up,
//   say by SIGKILL) and remove them.
#pragma once

#include <string>

namespace dravont {

class CommitLock {
public:
    // Waits for the lock of `dir` ("" for the current directory). Where it
    // cannot be had (no read access to the directory, a file system without
    // locks) the commit goes ahead unlocked, as it would without this.
    explicit CommitLock(const std::string& dir);
    ~CommitLock();
    CommitLock(const CommitLock&) = delete;
    CommitLock& operator=(const CommitLock&) = delete;
    bool held() const { return held_; }

private:
#if defined(_WIN32)
    void* handle_ = nullptr;
#else
    int fd_ = -1;
#endif
    bool held_ = false;
};

class DeferredSignals {
public:
    DeferredSignals();
    ~DeferredSignals();  // a signal that came meanwhile is delivered now
    DeferredSignals(const DeferredSignals&) = delete;
    DeferredSignals& operator=(const DeferredSignals&) = delete;

private:
#if !defined(_WIN32)
    unsigned char previous_[128];  // the blocked mask as it was (a sigset_t)
#endif
};

// A temporary file being written, known to the signal handler. Returns the
// slot (-1 when none is free: the file is then only removed by the run
// itself). The name must stay as given until forget_temporary.
int remember_temporary(const std::string& name);
void forget_temporary(int slot);

// Holds the temporary's lock for as long as `fd` is open (POSIX; elsewhere
// nothing). Returns false when the file was removed before the lock was
// had (a stale-file sweep of another run took it): make another.
bool lock_temporary(int fd);

// Removes the files of `dir` named like this tool's temporaries whose run
// no longer holds them. Called with the directory's CommitLock held, under
// which no run leaves a temporary unlocked. POSIX only.
void remove_stale_temporaries(const std::string& dir);

// True for a file name (no directory) of the tool's temporaries.
bool is_temporary_name(const std::string& leaf);

}  // namespace dravont
