#include "coff/mapped_file.h"

#if defined(_WIN32)

namespace dravont {

std::unique_ptr<MappedFile> MappedFile::map(int, uint64_t) { return nullptr; }
MappedFile::~MappedFile() = default;
bool MappedFile::changed() const { return false; }

}  // namespace dravont

#else

#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstddef>

namespace dravont {

namespace {

// The mappings the SIGBUS handler repairs: a run maps one file, a test a few.
constexpr int kSlots = 8;

struct Slot {
    std::atomic<uintptr_t> start{0};
    std::atomic<uintptr_t> end{0};  // past the last page
    volatile sig_atomic_t changed = 0;
};

Slot slots[kSlots];
struct sigaction previousAction;
bool handlerInstalled = false;
uintptr_t pageSize = 4096;

void on_bus_error(int, siginfo_t* info, void*) {
    const uintptr_t at = reinterpret_cast<uintptr_t>(info->si_addr);
    for (Slot& slot : slots) {
        if (at < slot.start.load() || at >= slot.end.load()) continue;
        // The file now ends before this page: a page of zeros takes its
        // place, and the faulting read is run again on it.
        void* page = reinterpret_cast<void*>(at & ~(pageSize - 1));
        if (mmap(page, pageSize, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED) break;
        slot.changed = 1;
        return;
    }
    // No mapped input: the fault is run again under the action there was
    // before, as if this handler had never been installed.
    sigaction(SIGBUS, &previousAction, nullptr);
}

bool install_handler() {
    if (handlerInstalled) return true;
    const long size = sysconf(_SC_PAGESIZE);
    if (size > 0) pageSize = static_cast<uintptr_t>(size);
    struct sigaction action {};
    action.sa_sigaction = on_bus_error;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    handlerInstalled = sigaction(SIGBUS, &action, &previousAction) == 0;
    return handlerInstalled;
}

}  // namespace

std::unique_ptr<MappedFile> MappedFile::map(int fd, uint64_t size) {
    if (size == 0 || size > SIZE_MAX / 2) return nullptr;
    int free = -1;
    for (int i = 0; i < kSlots && free < 0; ++i) {
        if (slots[i].start.load() == 0) free = i;
    }
    if (free < 0 || !install_handler()) return nullptr;
    void* data = mmap(nullptr, static_cast<size_t>(size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (data == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(data);
    Slot& slot = slots[free];
    slot.changed = 0;
    slot.end.store((start + static_cast<uintptr_t>(size) + pageSize - 1) & ~(pageSize - 1));
    slot.start.store(start);
    return std::unique_ptr<MappedFile>(new MappedFile(static_cast<const uint8_t*>(data), size, free));
}

MappedFile::~MappedFile() {
    Slot& slot = slots[slot_];
    slot.start.store(0);
    slot.end.store(0);
    munmap(const_cast<uint8_t*>(data_), static_cast<size_t>(size_));
}

bool MappedFile::changed() const { return slots[slot_].changed != 0; }

}  // namespace dravont

#endif
