// A run that ends early, overlaps another or cannot write standard output
// leaves a whole pair (the old one or the new one) and no temporaries: a
// signal between the two swaps waits for the second, a signal during the
// conversion removes the temporaries, a later run sweeps those a killed run
// left, two runs on one BASE never mix their files, and the input must be a
// regular file. POSIX: signals, FIFOs, sockets and /dev/full.
#include <gtest/gtest.h>

#if !defined(_WIN32)

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "common/run_state.h"
#include "common/text_out.h"
#include "output/output_files.h"
#include "support/elf_builder.h"
#include "support/platform.h"

namespace fs = std::filesystem;

namespace dravont {
namespace {

const fs::path kExamples = fs::path(DRAVONT_TEST_DATA) / ".." / ".." / "examples";
const std::string kBinary = DRAVONT_BINARY;

using coff_test::listing;
using coff_test::read_file;

struct Outcome {
    int status = -1;  // exit status, -1 when ended by a signal
    int signal = 0;   // the signal that ended it
    std::string err;
};

// Runs the tool in `dir` with standard output on `outFd`, after `prepare`
// has run in the child; collects standard error.
Outcome run_tool(const fs::path& dir, const std::vector<std::string>& words, int outFd,
                 const std::function<void()>& prepare = {}) {
    std::vector<std::string> strings{kBinary};
    strings.insert(strings.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    int err[2];
    if (pipe(err) != 0) return {};
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        close(err[0]);
        close(err[1]);
        if (prepare) prepare();
        if (chdir(dir.c_str()) != 0) _exit(127);
        // Standard error in English, whatever the developer's locale.
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
        setenv("LANG", "C", 1);
        execv(kBinary.c_str(), argv.data());
        _exit(127);
    }
    close(err[1]);
    Outcome o;
    char buffer[4096];
    for (ssize_t n; (n = read(err[0], buffer, sizeof buffer)) > 0;) o.err.append(buffer, static_cast<size_t>(n));
    close(err[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (WIFEXITED(status)) o.status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) o.signal = WTERMSIG(status);
    return o;
}

class CommitGuard : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = coff_test::make_temp_dir("dravont-guard-");
        write_old_pair();
    }
    void write_old_pair() const {
        std::ofstream(dir_ / "z.sym", std::ios::binary) << "OLD symbols\n";
        std::ofstream(dir_ / "z.lin", std::ios::binary) << "OLD lines\n";
    }
    void TearDown() override { fs::remove_all(dir_); }

    // A new z.sym and z.lin written as a run does, up to the commit.
    void write_pair(AtomicFileOutputs& files, RunState& state) const {
        state.symbolFileName = (dir_ / "z.sym").string();
        state.lineFileName = (dir_ / "z.lin").string();
        files.open(state);
        files.symbols().put("new symbols\n");
        files.lines().put("new lines\n");
        files.close();
    }
    void expect_old_pair() const {
        EXPECT_EQ(read_file(dir_ / "z.sym"), "OLD symbols\n");
        EXPECT_EQ(read_file(dir_ / "z.lin"), "OLD lines\n");
    }
    void expect_only(const std::vector<std::string>& names) const { EXPECT_EQ(listing(dir_), names); }

    fs::path dir_;
};

const int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Delivered between the two swaps, a signal waits until both files are in
// place, and then ends the process as it would have.
TEST_F(CommitGuard, SignalBetweenTheSwapsWaitsForTheSecond) {
    for (const int sig : kEndingSignals) {
        SCOPED_TRACE(strsignal(sig));
        EXPECT_EXIT(
            {
                TextOut out;
                RunState state(out);
                AtomicFileOutputs files;
                write_pair(files, state);
                files.set_between_renames([sig] { raise(sig); });
                files.commit();
                std::_Exit(0);
            },
            ::testing::KilledBySignal(sig), "");
        EXPECT_EQ(read_file(dir_ / "z.sym"), "new symbols\n");
        EXPECT_EQ(read_file(dir_ / "z.lin"), "new lines\n");
        expect_only({"z.lin", "z.sym"});
        write_old_pair();
    }
}

// During the conversion, the same signals remove the temporaries and end
// the process; the old pair stays.
TEST_F(CommitGuard, SignalDuringTheConversionRemovesTheTemporaries) {
    for (const int sig : kEndingSignals) {
        SCOPED_TRACE(strsignal(sig));
        EXPECT_EXIT(
            {
                TextOut out;
                RunState state(out);
                AtomicFileOutputs files;
                write_pair(files, state);
                raise(sig);
                std::_Exit(0);
            },
            ::testing::KilledBySignal(sig), "");
        expect_old_pair();
        expect_only({"z.lin", "z.sym"});
    }
}

// SIGKILL cannot be caught: its temporaries stay until a later run into the
// same directory commits, which removes them, but never those of a run
// still converting.
TEST_F(CommitGuard, LaterRunRemovesTheTemporariesOfAKilledRun) {
    EXPECT_EXIT(
        {
            TextOut out;
            RunState state(out);
            AtomicFileOutputs files;
            write_pair(files, state);
            raise(SIGKILL);
        },
        ::testing::KilledBySignal(SIGKILL), "");
    EXPECT_EQ(listing(dir_).size(), 4u);  // z.sym, z.lin and two temporaries
    std::ofstream(dir_ / ".dravont-kept", std::ios::binary) << "not ours: other name\n";
    TextOut out;
    RunState converting(out), committing(out);
    AtomicFileOutputs busy, done;
    write_pair(busy, converting);
    write_pair(done, committing);
    done.commit();
    // Left: the pair, the file of another name, and the running one's two.
    std::vector<std::string> names = listing(dir_);
    EXPECT_EQ(names.size(), 5u);
    EXPECT_EQ(std::count(names.begin(), names.end(), ".dravont-kept"), 1);
    busy.commit();
    expect_only({".dravont-kept", "z.lin", "z.sym"});
}

// Standard output that cannot be written fails the run before the commit,
// says why on standard error, and leaves the pair as it was; a closed pipe
// whose SIGPIPE is not ignored ends the run by that signal, no temporaries
// left either.
TEST_F(CommitGuard, FailedStandardOutputLeavesThePair) {
    fs::copy_file(kExamples / "sample.coff", dir_ / "in.coff");
    const int full = open("/dev/full", O_WRONLY);
    if (full < 0) GTEST_SKIP() << "no /dev/full";
    const std::string kept = "\ndravont: note: z.sym and z.lin left as they were\n";
    const struct {
        const char* what;
        bool pipe;
        bool ignorePipe;
        int status;
        int signal;
        std::string err;
    } kCases[] = {
        {"full disk", false, false, 1, 0, "dravont: error: cannot write standard output (No space left on device)" + kept},
        {"closed pipe, SIGPIPE ignored", true, true, 1, 0, "dravont: error: cannot write standard output (Broken pipe)" + kept},
        {"closed pipe", true, false, -1, SIGPIPE, ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.what);
        int ends[2] = {-1, -1};
        int outFd = full;
        if (c.pipe) {
            ASSERT_EQ(pipe(ends), 0);
            close(ends[0]);
            outFd = ends[1];
        }
        const bool ignore = c.ignorePipe;
        const Outcome o = run_tool(dir_, {"in.coff", "-o", "z"}, outFd, [ignore] {
            if (ignore) signal(SIGPIPE, SIG_IGN);
        });
        if (c.pipe) close(ends[1]);
        EXPECT_EQ(o.status, c.status);
        EXPECT_EQ(o.signal, c.signal);
        EXPECT_EQ(o.err.substr(0, c.err.size()), c.err);
        expect_old_pair();
        expect_only({"in.coff", "z.lin", "z.sym"});
    }
    close(full);
}

// Two runs at once on one BASE from different inputs (a make with a shared
// output name, an IDE beside a build): each leaves a whole pair, so the
// files found after both always belong to one input.
TEST_F(CommitGuard, ConcurrentRunsNeverMixThePair) {
    fs::copy_file(kExamples / "sample.coff", dir_ / "a.coff");
    fs::copy_file(kExamples / "sample.elf", dir_ / "b.elf");
    const int null = open("/dev/null", O_WRONLY);
    ASSERT_GE(null, 0);
    std::vector<std::pair<std::string, std::string>> pairs;
    for (const char* input : {"a.coff", "b.elf"}) {
        ASSERT_EQ(run_tool(dir_, {input, "-o", "z"}, null).status, 0);
        pairs.emplace_back(read_file(dir_ / "z.sym"), read_file(dir_ / "z.lin"));
    }
    ASSERT_NE(pairs[0].first, pairs[1].first);
    ASSERT_NE(pairs[0].second, pairs[1].second);
    std::vector<std::string> words[2] = {{"a.coff", "-o", "z"}, {"b.elf", "-o", "z"}};
    std::vector<char*> argv[2];
    for (int k = 0; k < 2; ++k) {
        argv[k].push_back(const_cast<char*>(kBinary.c_str()));
        for (std::string& w : words[k]) argv[k].push_back(w.data());
        argv[k].push_back(nullptr);
    }
    int mixed = 0;
    for (int round = 0; round < 150; ++round) {
        pid_t pids[2];
        for (int k = 0; k < 2; ++k) {
            pids[k] = fork();
            if (pids[k] == 0) {
                dup2(null, STDOUT_FILENO);
                if (chdir(dir_.c_str()) != 0) _exit(127);
                execv(kBinary.c_str(), argv[k].data());
                _exit(127);
            }
        }
        for (pid_t pid : pids) {
            int status = 0;
            waitpid(pid, &status, 0);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        const std::pair<std::string, std::string> found(read_file(dir_ / "z.sym"), read_file(dir_ / "z.lin"));
        if (found != pairs[0] && found != pairs[1]) ++mixed;
    }
    close(null);
    EXPECT_EQ(mixed, 0);
    expect_only({"a.coff", "b.elf", "z.lin", "z.sym"});
}

// Only a regular file (after links) is read: anything else is refused at
// once, with the reason on standard error, and nothing is written.
TEST_F(CommitGuard, NonRegularInputsAreRefused) {
    ASSERT_EQ(mkfifo((dir_ / "fifo.elf").c_str(), 0600), 0);  // no writer: opening must not wait
    fs::create_symlink("/dev/zero", dir_ / "zero.elf");
    fs::create_symlink("/dev/null", dir_ / "null.coff");
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (dir_ / "sock.elf").string();
    const bool haveSocket = sock >= 0 && socketPath.size() < sizeof address.sun_path &&
                            (std::strcpy(address.sun_path, socketPath.c_str()),
                             bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    const struct {
        const char* name;
        const char* reason;
    } kCases[] = {
        {"fifo.elf", "not a regular file but a FIFO"},
        {"zero.elf", "not a regular file but a device"},
        {"null.coff", "not a regular file but a device"},
        {"sock.elf", "not a regular file but a socket"},
    };
    const int null = open("/dev/null", O_WRONLY);
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        if (std::string(c.name) == "sock.elf" && !haveSocket) continue;
        const Outcome o = run_tool(dir_, {c.name, "-o", "out"}, null);
        EXPECT_EQ(o.status, 1);
        EXPECT_EQ(o.err.rfind(std::string("dravont: error: ") + c.name + ": cannot read the input file: " + c.reason + "\n", 0),
                  0u) << o.err;
        EXPECT_FALSE(fs::exists(dir_ / "out.sym"));
        EXPECT_FALSE(fs::exists(dir_ / "out.lin"));
    }
    close(null);
    if (sock >= 0) close(sock);
}

// A conversion that cannot have the memory it asks for fails with a
// message and writes nothing: here a section whose declared 1 GiB passes
// the bounds, under a 512 MB limit on the process.
TEST_F(CommitGuard, OutOfMemoryFailsCleanly) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit";
#endif
#endif
    elf_test::ElfBuilder elf(true, 46);
    elf_test::ByteWriter info{true};
    info.u32(1), info.u32(0x3FF00000), info.u32(1);  // ELFCOMPRESS_ZLIB, 1 GiB - 1 MiB, alignment
    info.bytes.resize(info.size() + 1100 * 1000, 0x5A);
    elf.add_section({".debug_info", 1, 0x800, 0, info.bytes});
    const std::vector<uint8_t> image = elf.build();
    std::ofstream(dir_ / "big.elf", std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    const int null = open("/dev/null", O_WRONLY);
    const Outcome o = run_tool(dir_, {"big.elf", "-o", "z"}, null, [] {
        const rlimit limit{512u << 20, 512u << 20};
        setrlimit(RLIMIT_AS, &limit);
    });
    close(null);
    EXPECT_EQ(o.status, 1);
    EXPECT_EQ(o.err.rfind("dravont: error: big.elf: out of memory\ndravont: note: z.sym and z.lin left as they were\n", 0), 0u) << o.err;
    expect_old_pair();
    expect_only({"big.elf", "z.lin", "z.sym"});
}

}  // namespace
}  // namespace dravont

#endif
