// dravont: converts a big-endian COFF executable for H8/300, H8/300H, H8S or
// SH-2 into the symbol file and the line file of the target debugger.
#include <cstdio>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#endif

#include "common/text_out.h"
#include "driver/run.h"

int main(int argc, char** argv) {
#if defined(_WIN32)
    // The same bytes on every platform: no "\r" added before each "\n".
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    std::vector<std::string> args(argv, argv + argc);
    int status;
    {
        dravont::TextOut out(stdout);
        status = dravont::run_command_line(args, out);
        if (!out.flush()) status = 1;
    }
    if (std::fflush(stdout) != 0) status = 1;
    return status;
}
