// The symbol file and the line file are replaced as a pair: when the second
// rename fails after the first has succeeded, the first destination gets its
// previous file back, and no temporary file is left behind.
#include "output/output_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/run_error.h"
#include "common/run_state.h"
#include "common/text_out.h"
#include "support/platform.h"

namespace fs = std::filesystem;

namespace dravont {
namespace {

using coff_test::listing;
using coff_test::read_file;

// Writes a new z.sym and z.lin in `dir` as a run does, up to the commit.
void write_pair(AtomicFileOutputs& files, RunState& state, const fs::path& dir) {
    state.symbolFileName = (dir / "z.sym").string();
    state.lineFileName = (dir / "z.lin").string();
    files.open(state);
    files.symbols().put("new symbols\n");
    files.lines().put("new lines\n");
    files.close();
}

TEST(AtomicFileOutputs, SecondRenameFailingPutsTheFirstFileBack) {
    for (const bool oldSymbols : {true, false}) {
        SCOPED_TRACE(oldSymbols ? "z.sym existed" : "no z.sym before");
        const fs::path dir = coff_test::make_temp_dir("dravont-pair-");
        if (oldSymbols) std::ofstream(dir / "z.sym", std::ios::binary) << "OLD\n";
        TextOut out;
        RunState state(out);
        {
            AtomicFileOutputs files;
            write_pair(files, state, dir);
            // Nothing stood in the way when commit() checked; a directory
            // appears where the line file goes once the symbol file is in place.
            files.set_between_renames([&] {
                EXPECT_EQ(read_file(dir / "z.sym"), "new symbols\n");
                fs::create_directory(dir / "z.lin");
            });
            try {
                files.commit();
                ADD_FAILURE() << "commit() succeeded";
            } catch (const RunFailure& failure) {
                EXPECT_EQ(std::string(failure.what()).rfind(state.lineFileName + " ", 0), 0u) << failure.what();
            }
        }
        if (oldSymbols) {
            EXPECT_EQ(read_file(dir / "z.sym"), "OLD\n");
            EXPECT_EQ(listing(dir), (std::vector<std::string>{"z.lin", "z.sym"}));
        } else {
            EXPECT_EQ(listing(dir), std::vector<std::string>{"z.lin"});
        }
        fs::remove_all(dir);
    }
}

}  // namespace
}  // namespace dravont

namespace dravont {
namespace {

// Whatever stood at the destinations (a file, a symbolic link, nothing),
// a commit leaves the new files there, never writes through a link, and
// leaves no other file behind.
TEST(AtomicFileOutputs, ReplacesWhatStoodThereAndLeavesNoOtherFile) {
    enum Before { kNothing, kFile, kLink };
    for (const Before before : {kNothing, kFile, kLink}) {
        SCOPED_TRACE(before == kNothing ? "nothing" : before == kFile ? "a file" : "a symbolic link");
        const fs::path dir = coff_test::make_temp_dir("dravont-replace-");
        std::vector<std::string> expected{"z.lin", "z.sym"};
        for (const char* name : {"z.sym", "z.lin"}) {
            if (before == kFile) std::ofstream(dir / name, std::ios::binary) << "OLD\n";
            if (before == kLink) {
                std::ofstream(dir / (std::string(name) + ".target"), std::ios::binary) << "TARGET\n";
                std::error_code ec;
                fs::create_symlink(std::string(name) + ".target", dir / name, ec);
                if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
                expected.push_back(std::string(name) + ".target");
            }
        }
        std::sort(expected.begin(), expected.end());
        TextOut out;
        RunState state(out);
        {
            AtomicFileOutputs files;
            write_pair(files, state, dir);
            files.commit();
        }
        EXPECT_EQ(read_file(dir / "z.sym"), "new symbols\n");
        EXPECT_EQ(read_file(dir / "z.lin"), "new lines\n");
        EXPECT_FALSE(fs::is_symlink(dir / "z.sym"));
        if (before == kLink) {
            EXPECT_EQ(read_file(dir / "z.sym.target"), "TARGET\n");
        }
        EXPECT_EQ(listing(dir), expected);
        fs::remove_all(dir);
    }
}

}  // namespace
}  // namespace dravont
