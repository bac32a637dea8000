// dravont: converts an executable for H8/300, H8/300H, H8S or SH (big-endian
// COFF, or ELF with DWARF) into the symbol file and the line file of the
// target debugger.
//
// What depends on the process's environment (driver/console.h) is decided
// here and handed to the run: the encoding of the messages, the language of
// standard error and whether both streams go to one file.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#elif defined(__linux__)
#include <malloc.h>
#endif

#include "common/diagnostics.h"
#include "common/text_out.h"
#include "driver/console.h"
#include "driver/run.h"

int main(int argc, char** argv) {
#if defined(_WIN32)
    // The same bytes on every platform: no "\r" added before each "\n".
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
#if defined(__GLIBC__)
    // A run allocates and frees buffers of a few megabytes unit after unit;
    // kept in the heap rather than handed back to the system, they are not
    // faulted in afresh each time.
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
#endif
    std::vector<std::string> args(argv, argv + argc);
    const dravont::Console console = dravont::detect_console();
    int status;
    {
        dravont::TextOut err(stderr);
        dravont::TextOut out(stdout);
        out.set_utf8(console.utf8);
        err.set_utf8(console.utf8);
        dravont::Diagnostics diagnostics(err, console.language, console.sharedStreams);
        out.set_diagnostics(&diagnostics);
        status = dravont::run_command_line(args, out);
        // Only the closing summary can be left to write here: a run checks
        // standard output before it replaces the files.
        if (!out.sync()) {
            if (status == 0) {
                err.put("dravont: cannot write standard output");
                if (out.error() != 0) err.put(" (").put(std::strerror(out.error())).put(')');
                err.put(" after the output files were written\n");
            }
            status = 1;
        }
        err.sync();
    }
    std::fflush(stderr);
    return status;
}
