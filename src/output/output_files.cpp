#include "output/output_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/messages.h"
#include "common/run_error.h"
#include "common/run_state.h"

namespace dravont {

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

}  // namespace

AtomicFileOutputs::~AtomicFileOutputs() {
    if (!committed_) {
        discard(symbols_);
        discard(lines_);
    }
}

void AtomicFileOutputs::create(Pending& pending, const std::string& finalName, bool utf8) {
    // The temporary file lies in the destination's own directory, so the
    // final rename never crosses a file system.
    pending.finalName = finalName;
    std::string pattern = finalName + ".XXXXXX";
    const int fd = mkstemp(pattern.data());
    if (fd < 0) throw RunFailure(file_failure(finalName, msg::kCannotCreate, utf8, errno));
    pending.tempName = pattern;
    set_default_mode(fd);
    pending.file = fdopen(fd, "wb");
    if (!pending.file) {
        const int error = errno;
        ::close(fd);
        throw RunFailure(file_failure(finalName, msg::kCannotCreate, utf8, error));
    }
    pending.text = std::make_unique<TextOut>(pending.file);
}

void AtomicFileOutputs::open(const RunState& state) {
    utf8_ = state.out.utf8();
    create(symbols_, state.symbolFileName, utf8_);
    create(lines_, state.lineFileName, utf8_);
}

void AtomicFileOutputs::finish(Pending& pending, bool utf8) {
    if (!pending.file) return;
    bool ok = pending.text->flush();
    pending.text.reset();
    errno = 0;
    ok = std::fflush(pending.file) == 0 && ok;
    ok = std::ferror(pending.file) == 0 && ok;
    int error = errno;
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
    // std::filesystem::rename replaces an existing file on every platform
    // (std::rename does not on Windows).
    for (Pending* pending : {&symbols_, &lines_}) {
        std::error_code ec;
        std::filesystem::rename(pending->tempName, pending->finalName, ec);
        if (ec) throw RunFailure(file_failure(pending->finalName, msg::kCannotCreate, utf8_, ec.message()));
        pending->tempName.clear();
    }
    committed_ = true;
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
