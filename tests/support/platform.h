// What the tests need of the operating system, for POSIX and Windows alike.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace coff_test {

// A new empty directory under the system's temporary directory. Its path
// holds no dot, so names built in it are judged by their last part alone.
std::filesystem::path make_temp_dir(const std::string& prefix);

// The whole content of a file ("" when it cannot be read).
std::string read_file(const std::filesystem::path& path);

// The names in a directory, sorted.
std::vector<std::string> listing(const std::filesystem::path& dir);

struct ProcessResult {
    int status = -1;  // exit status, -1 when the process did not exit normally
    std::string out;  // everything it wrote to standard output, byte for byte
    std::string err;  // everything it wrote to standard error
};

// How a process is started: changes to this process's environment
// ("NAME=value" sets NAME, "NAME" alone removes it), and whether its
// standard error goes into the same pipe as its standard output (then
// ProcessResult::out holds both, as a build log would).
struct ProcessSetup {
    std::vector<std::string> environment;
    bool sharedStreams = false;
};

// Runs `program` with `args` (argv[0] is `program` itself) in directory
// `cwd`, without a shell, and collects its standard output and standard
// error.
ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& cwd, const ProcessSetup& setup);

// The same with LC_ALL set to `locale`. The default, a Shift_JIS character
// set, makes the tool print Shift_JIS and its diagnostics in English
// whatever locale the tests run in.
ProcessResult run_process(const std::string& program, const std::vector<std::string>& args,
                          const std::filesystem::path& cwd, const std::string& locale = "C.SJIS");

}  // namespace coff_test
