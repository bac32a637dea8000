#include "output/commit_guard.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <filesystem>

#if defined(_WIN32)
#define NOGDI
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace dravont {

namespace fs = std::filesystem;

bool is_temporary_name(const std::string& leaf) {
    constexpr std::string_view kPrefix = ".dravont-";
    if (leaf.size() != kPrefix.size() + 6 || leaf.compare(0, kPrefix.size(), kPrefix) != 0) return false;
    for (size_t i = kPrefix.size(); i < leaf.size(); ++i) {
        const char c = leaf[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
    }
    return true;
}

#if defined(_WIN32)

// A named mutex per directory: nothing is left in the directory, and the
// system hands a mutex whose holder died to the next waiter.
CommitLock::CommitLock(const std::string& dir) {
    std::error_code ec;
    fs::path where = fs::absolute(dir.empty() ? fs::path(".") : fs::path(dir), ec);
    if (ec) return;
    std::wstring path = where.lexically_normal().wstring();
    while (path.size() > 3 && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
    uint64_t h = 14695981039346656037ull;  // FNV-1a of the path, case folded as NTFS compares names
    for (wchar_t c : path) {
        h ^= static_cast<uint64_t>(towlower(c == L'/' ? L'\\' : c));
        h *= 1099511628211ull;
    }
    wchar_t name[64];
    swprintf(name, 64, L"Local\\dravont-commit-%016llx", static_cast<unsigned long long>(h));
    HANDLE m = CreateMutexW(nullptr, FALSE, name);
    if (!m) return;
    const DWORD waited = WaitForSingleObject(m, INFINITE);
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        CloseHandle(m);
        return;
    }
    handle_ = m;
    held_ = true;
}

CommitLock::~CommitLock() {
    if (!handle_) return;
    ReleaseMutex(static_cast<HANDLE>(handle_));
    CloseHandle(static_cast<HANDLE>(handle_));
}

// Windows has no signals to hold back over the swaps, nor the handlers
// below: Ctrl+C ends the process as it always did.
DeferredSignals::DeferredSignals() = default;
DeferredSignals::~DeferredSignals() = default;
int remember_temporary(const std::string&) { return -1; }
void forget_temporary(int) {}
bool lock_temporary(int) { return true; }
void remove_stale_temporaries(const std::string&) {}

#else

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

sigset_t ending_signals() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kEndingSignals) sigaddset(&set, sig);
    return set;
}

// The temporaries the handler removes, their names prepared beforehand: a
// handler may call unlink, but nothing that allocates.
constexpr int kSlots = 8;
constexpr size_t kNameRoom = 4096;
struct Slot {
    char name[kNameRoom];
    volatile sig_atomic_t ready = 0;  // set once name is complete
    bool used = false;
};
Slot slots[kSlots];
bool handlersInstalled = false;

void on_ending_signal(int sig) {
    const int saved = errno;
    for (Slot& slot : slots) {
        if (slot.ready) unlink(slot.name);
    }
    // Ended by the signal, as without this handler: the default action,
    // taken when the handler returns and the signal is no longer blocked.
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(sig, &action, nullptr);
    raise(sig);
    errno = saved;
}

// Only a signal left at its default action: one the caller ignores
// (nohup, SIGPIPE ignored) stays ignored, and a program of its own keeps
// its handler.
void install_handlers() {
    if (handlersInstalled) return;
    handlersInstalled = true;
    for (int sig : kEndingSignals) {
        struct sigaction previous {};
        if (sigaction(sig, nullptr, &previous) != 0 || previous.sa_handler != SIG_DFL ||
            (previous.sa_flags & SA_SIGINFO)) {
            continue;
        }
        struct sigaction action {};
        action.sa_handler = on_ending_signal;
        action.sa_mask = ending_signals();
        sigaction(sig, &action, nullptr);
    }
}

}  // namespace

CommitLock::CommitLock(const std::string& dir) {
    fd_ = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) return;
    int status;
    do status = flock(fd_, LOCK_EX);
    while (status != 0 && errno == EINTR);
    held_ = status == 0;
}

CommitLock::~CommitLock() {
    if (fd_ >= 0) ::close(fd_);  // releases the lock
}

DeferredSignals::DeferredSignals() {
    static_assert(sizeof(sigset_t) <= sizeof previous_, "room for a sigset_t");
    const sigset_t set = ending_signals();
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &set, &previous);
    std::memcpy(previous_, &previous, sizeof previous);
}

DeferredSignals::~DeferredSignals() {
    sigset_t previous;
    std::memcpy(&previous, previous_, sizeof previous);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

int remember_temporary(const std::string& name) {
    install_handlers();
    if (name.size() >= kNameRoom) return -1;
    for (int i = 0; i < kSlots; ++i) {
        Slot& slot = slots[i];
        if (slot.used) continue;
        slot.used = true;
        std::memcpy(slot.name, name.c_str(), name.size() + 1);
        slot.ready = 1;
        return i;
    }
    return -1;
}

void forget_temporary(int slot) {
    if (slot < 0 || slot >= kSlots) return;
    slots[slot].ready = 0;
    slots[slot].used = false;
}

bool lock_temporary(int fd) {
    int status;
    do status = flock(fd, LOCK_EX);
    while (status != 0 && errno == EINTR);
    struct stat info {};
    // A sweep that found the file before it was locked has removed it.
    return fstat(fd, &info) != 0 || info.st_nlink > 0;
}

void remove_stale_temporaries(const std::string& dir) {
    const std::string path = dir.empty() ? "." : dir;
    DIR* listing = opendir(path.c_str());
    if (!listing) return;
    const uid_t me = geteuid();
    while (const dirent* entry = readdir(listing)) {
        if (!is_temporary_name(entry->d_name)) continue;
        const std::string name = (fs::path(path) / entry->d_name).string();
        const int fd = ::open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) continue;
        struct stat held {}, now {};
        // Only this user's regular files, and only when no run holds them;
        // the name must still be the file that was locked.
        if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && held.st_uid == me &&
            flock(fd, LOCK_EX | LOCK_NB) == 0 && lstat(name.c_str(), &now) == 0 && now.st_dev == held.st_dev &&
            now.st_ino == held.st_ino) {
            unlink(name.c_str());
        }
        ::close(fd);
    }
    closedir(listing);
}

#endif

}  // namespace dravont
