#include "output/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include "common/messages.h"
#include "common/run_error.h"
#include "common/run_state.h"
#include "output/commit_guard.h"

namespace dravont {

namespace fs = std::filesystem;

namespace {

std::string file_failure(const std::string& name, const msg::Message& what, bool utf8,
                         const std::string& reason) {
    std::string text = name + (utf8 ? what.utf8 : what.cp932);
    if (!reason.empty()) text += " (" + reason + ")";
    return text + "\n\n";
}

std::string file_failure(const std::string& name, const msg::Message& what, bool utf8, int error) {
    return file_failure(name, what, utf8, error != 0 ? std::string(std::strerror(error)) : "");
}

// mkstemp creates its file readable by the owner only; give it the
// permissions a file created with fopen(name, "w") would get.
void set_default_mode(int fd) {
#if defined(_WIN32)
    (void)fd;  // Windows files carry no such mode bits
#else
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
#endif
}

// A file beside `finalName`, in the same directory so that renames never
// cross a file system, with a short name of its own: its length never
// depends on the output name's, which may be as long as the system allows.
std::string sibling(const std::string& finalName, const std::string& leaf) {
    const fs::path dir = fs::path(finalName).parent_path();
    return dir.empty() ? leaf : (dir / leaf).string();
}

std::string random_leaf() {
    static std::mt19937 random{std::random_device{}()};
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string leaf = ".dravont-";
    for (int i = 0; i < 6; ++i) leaf += kChars[random() % 36];
    return leaf;
}

// Throws when `finalName` cannot be replaced by a rename: a directory stands
// there, the name is too long, or (POSIX) a sticky directory protects
// another user's file.
void check_destination(const std::string& finalName, bool utf8) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(finalName, ec);
    if (ec && status.type() != fs::file_type::not_found) {
        throw RunFailure(file_failure(finalName, msg::kCannotCreate, utf8, ec.message()));
    }
    if (fs::is_directory(status)) throw RunFailure(file_failure(finalName, msg::kCannotCreate, utf8, EISDIR));
#if !defined(_WIN32)
    struct stat file {}, dir {};
    const fs::path parent = fs::path(finalName).parent_path();
    const std::string dirName = parent.empty() ? "." : parent.string();
    const uid_t me = geteuid();
    if (fs::exists(status) && me != 0 && ::lstat(finalName.c_str(), &file) == 0 &&
        ::stat(dirName.c_str(), &dir) == 0 && (dir.st_mode & S_ISVTX) != 0 && file.st_uid != me &&
        dir.st_uid != me) {
        throw RunFailure(file_failure(finalName, msg::kCannotCreate, utf8, EPERM));
    }
#endif
}

// Gives the present file at `finalName`, if any, a second name beside it, so
// that its content can be put back after a failed commit. Returns that name,
// or "" when there is no such file.
std::string keep_previous(const std::string& finalName, bool utf8) {
    std::error_code ec;
    const fs::file_status status = fs::symlink_status(finalName, ec);
    if (ec || !fs::exists(status)) return {};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string backup = sibling(finalName, random_leaf());
        // A hard link keeps the file itself; a copy serves where the file
        // system has no hard links.
        fs::create_hard_link(finalName, backup, ec);
        if (ec && ec != std::errc::file_exists) {
            if (fs::is_symlink(status)) {
                fs::copy_symlink(finalName, backup, ec);
            } else {
                fs::copy_file(finalName, backup, ec);
            }
            if (ec && ec != std::errc::file_exists) {
                std::error_code ignored;
                fs::remove(backup, ignored);
                throw RunFailure(file_failure(finalName, msg::kCannotCreate, utf8, ec.message()));
            }
        }
        if (!ec) return backup;
    }
    throw RunFailure(file_failure(finalName, msg::kCannotCreate, utf8, EEXIST));
}

// Swaps the names of `temp` and `finalName` in one step where the system can
// (Linux), so that `finalName` names the new file and `temp` the previous
// one. True when done; false where it cannot be, or when no file stands at
// `finalName`: a rename does the work then.
//
// Unlike a rename over the previous file, the swap does not make ext4 write
// the new file out at once (its safeguard for files replaced by a rename),
// and the previous file is freed after the swap, not inside it.
bool exchange_names(const std::string& temp, const std::string& finalName) {
#if defined(__linux__) && defined(RENAME_EXCHANGE)
    // Only a file or a symbolic link is swapped away: anything else makes
    // the rename that follows fail, as it should.
    struct stat st {};
    if (::lstat(finalName.c_str(), &st) != 0 || !(S_ISREG(st.st_mode) || S_ISLNK(st.st_mode))) return false;
    return ::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, finalName.c_str(), RENAME_EXCHANGE) == 0;
#else
    (void)temp;
    (void)finalName;
    return false;
#endif
}

}  // namespace

AtomicFileOutputs::~AtomicFileOutputs() {
    if (!committed_) {
        discard(symbols_);
        discard(lines_);
    }
    release(symbols_);
    release(lines_);
}

namespace {

// A new temporary file beside `finalName`, open at the returned descriptor
// and locked for as long as `lockFd` is open (POSIX), so that another run's
// sweep of stale temporaries leaves it alone. Throws RunFailure.
int make_temporary(const std::string& finalName, bool utf8, std::string& tempName, int& lockFd) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string pattern = sibling(finalName, ".dravont-XXXXXX");
        const int fd = mkstemp(pattern.data());
        if (fd < 0) throw RunFailure(file_failure(finalName, msg::kCannotCreate, utf8, errno));
#if defined(_WIN32)
        lockFd = -1;  // an open file is not deleted there: nothing to lock
#else
        lockFd = ::dup(fd);
        if (lockFd < 0 || !lock_temporary(lockFd)) {
            // Swept away between its creation and its lock: another name.
            if (lockFd >= 0) ::close(lockFd);
            ::close(fd);
            continue;
        }
#endif
        tempName = pattern;
        return fd;
    }
    throw RunFailure(file_failure(finalName, msg::kCannotCreate, utf8, EEXIST));
}

}  // namespace

void AtomicFileOutputs::create(Pending& pending, const std::string& finalName, bool utf8) {
    pending.finalName = finalName;
    const int fd = make_temporary(finalName, utf8, pending.tempName, pending.lockFd);
    pending.signalSlot = remember_temporary(pending.tempName);
    set_default_mode(fd);
    pending.file = fdopen(fd, "wb");
    if (!pending.file) {
        const int error = errno;
        ::close(fd);
        throw RunFailure(file_failure(finalName, msg::kCannotCreate, utf8, error));
    }
    // TextOut hands over whole blocks: a stream buffer would only split each
    // into two writes.
    std::setvbuf(pending.file, nullptr, _IONBF, 0);
    pending.text = std::make_unique<TextOut>(pending.file);
}

void AtomicFileOutputs::open(const RunState& state) {
    utf8_ = state.out.utf8();
    // Checked here to fail before the conversion, and again before renaming.
    check_destination(state.symbolFileName, utf8_);
    check_destination(state.lineFileName, utf8_);
    create(symbols_, state.symbolFileName, utf8_);
    create(lines_, state.lineFileName, utf8_);
}

void AtomicFileOutputs::finish(Pending& pending, bool utf8) {
    if (!pending.file) return;
    // The reason of the first write that failed (a full disk), kept for the
    // message: later calls would overwrite errno or find none.
    bool ok = pending.text->flush();
    int error = pending.text->error();
    pending.text.reset();
    errno = 0;
    if (std::fflush(pending.file) != 0 || std::ferror(pending.file) != 0) {
        ok = false;
        if (error == 0) error = errno;
    }
    if (std::fclose(pending.file) != 0) {
        ok = false;
        if (error == 0) error = errno;
    }
    pending.file = nullptr;
    if (!ok) throw RunFailure(file_failure(pending.finalName, msg::kCannotWrite, utf8, error));
}

void AtomicFileOutputs::close() {
    finish(symbols_, utf8_);
    finish(lines_, utf8_);
}

void AtomicFileOutputs::commit() {
    // Another run committing into the same directory goes first or after,
    // never in between; a signal that would end this run meanwhile waits
    // until both files are in place (or both put back).
    const fs::path parent = fs::path(symbols_.finalName).parent_path();
    const CommitLock lock(parent.string());
    const DeferredSignals deferred;
    swap_into_place();
    release(symbols_);
    release(lines_);
    committed_ = true;
    // Under the lock no run leaves a temporary unlocked: those found
    // unlocked are left over by runs that died.
    remove_stale_temporaries(parent.string());
}

void AtomicFileOutputs::swap_into_place() {
    // Both files are replaced or neither: whatever can be checked is checked
    // before the first rename, and should the second rename still fail, the
    // first destination gets its previous file back.
    check_destination(symbols_.finalName, utf8_);
    check_destination(lines_.finalName, utf8_);
    // The previous symbol file, under a name of its own until the line file
    // is in place too.
    std::string previous;
    std::error_code ec;
    if (exchange_names(symbols_.tempName, symbols_.finalName)) {
        previous = symbols_.tempName;
    } else {
        previous = keep_previous(symbols_.finalName, utf8_);
        // std::filesystem::rename replaces an existing file on every
        // platform (std::rename does not on Windows).
        fs::rename(symbols_.tempName, symbols_.finalName, ec);
        if (ec) {
            std::error_code ignored;
            if (!previous.empty()) fs::remove(previous, ignored);
            throw RunFailure(file_failure(symbols_.finalName, msg::kCannotCreate, utf8_, ec.message()));
        }
    }
    symbols_.tempName.clear();
    if (betweenRenames_) betweenRenames_();
    std::string previousLines;
    if (exchange_names(lines_.tempName, lines_.finalName)) {
        previousLines = lines_.tempName;
    } else {
        fs::rename(lines_.tempName, lines_.finalName, ec);
        if (ec) {
            std::string text = file_failure(lines_.finalName, msg::kCannotCreate, utf8_, ec.message());
            if (!put_back(symbols_.finalName, previous)) {
                text += symbols_.finalName + ": previous content kept as " + previous + "\n\n";
            }
            throw RunFailure(text);
        }
    }
    lines_.tempName.clear();
    if (!previous.empty()) fs::remove(previous, ec);
    if (!previousLines.empty()) fs::remove(previousLines, ec);
}

bool AtomicFileOutputs::put_back(const std::string& finalName, const std::string& previous) {
    std::error_code ec;
    if (previous.empty()) {
        fs::remove(finalName, ec);  // there was no file before
        return true;
    }
    fs::rename(previous, finalName, ec);
    return !ec;
}

void AtomicFileOutputs::release(Pending& pending) {
    forget_temporary(pending.signalSlot);
    pending.signalSlot = -1;
#if !defined(_WIN32)
    if (pending.lockFd >= 0) ::close(pending.lockFd);
#endif
    pending.lockFd = -1;
}

void AtomicFileOutputs::discard(Pending& pending) {
    if (pending.file) {
        pending.text.reset();
        std::fclose(pending.file);
        pending.file = nullptr;
    }
    if (!pending.tempName.empty()) std::remove(pending.tempName.c_str());
    pending.tempName.clear();
}

}  // namespace dravont
