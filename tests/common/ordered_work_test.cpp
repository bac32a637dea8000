// Ordered work on a pool: every item worked once, commits strictly in item
// order and never more than `window` items ahead of them, and a fault ends
// the run with the first faulty item's exception, the commits before it run
// and none after it, whatever the number of threads.
#include "common/ordered_work.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace dravont {
namespace {

struct Fault {
    const char* what;
    size_t workFaults = SIZE_MAX;    // work(i) throws for this item...
    size_t laterFault = SIZE_MAX;    // ...and for this later one
    size_t commitFaults = SIZE_MAX;  // commit(i) throws for this item
    size_t expectedCommits;          // items committed before the run stops
    std::string expectedError;
};

TEST(WorkerPool, CommitsInOrderWithinTheWindowAndStopsAtTheFirstFault) {
    const Fault kCases[] = {
        {"no fault", SIZE_MAX, SIZE_MAX, SIZE_MAX, 40, ""},
        {"work faults", 7, 30, SIZE_MAX, 7, "work 7"},
        {"first item faults", 0, 1, SIZE_MAX, 0, "work 0"},
        {"commit faults", SIZE_MAX, SIZE_MAX, 12, 12, "commit 12"},
        {"commit faults before a work fault", 20, SIZE_MAX, 15, 15, "commit 15"},
    };
    for (const unsigned threads : {1u, 2u, 4u}) {
        WorkerPool pool(threads);
        // The pool is used for two runs in a row, as the conversion does.
        for (const Fault& c : kCases) {
            SCOPED_TRACE(std::string(c.what) + ", threads " + std::to_string(threads));
            constexpr size_t kItems = 40, kWindow = 3;
            std::vector<std::atomic<int>> worked(kItems);
            std::vector<size_t> committed;
            std::atomic<size_t> maxAhead{0};
            std::vector<int> slotUsers(std::max<size_t>(kWindow, threads), 0);  // items holding each slot
            std::mutex m;
            std::string error;
            try {
                pool.run_ordered(
                    kItems, kWindow,
                    [&](size_t i, unsigned worker, size_t slot) {
                        EXPECT_LT(worker, pool.threads());
                        ++worked[i];
                        {
                            std::lock_guard<std::mutex> lock(m);
                            const size_t ahead = i - committed.size();
                            if (ahead > maxAhead) maxAhead = ahead;
                            if (slot < slotUsers.size()) {
                                EXPECT_EQ(slotUsers[slot]++, 0) << "slot " << slot << " given twice";
                            } else {
                                ADD_FAILURE() << "slot " << slot << " outside the window";
                            }
                        }
                        if (i == c.workFaults || i == c.laterFault) throw std::runtime_error("work " + std::to_string(i));
                    },
                    [&](size_t i, size_t slot) {
                        if (i == c.commitFaults) throw std::runtime_error("commit " + std::to_string(i));
                        std::lock_guard<std::mutex> lock(m);
                        committed.push_back(i);
                        if (slot < slotUsers.size()) --slotUsers[slot];
                    });
            } catch (const std::runtime_error& e) {
                error = e.what();
            }
            EXPECT_EQ(error, c.expectedError);
            ASSERT_EQ(committed.size(), c.expectedCommits);
            for (size_t i = 0; i < committed.size(); ++i) EXPECT_EQ(committed[i], i);
            EXPECT_LT(maxAhead.load(), std::max<size_t>(kWindow, threads));
            for (size_t i = 0; i < kItems; ++i) {
                EXPECT_LE(worked[i].load(), 1) << i;
                if (c.expectedError.empty() || i < c.expectedCommits) {
                    EXPECT_EQ(worked[i].load(), 1) << i;
                }
            }
        }
    }
}

}  // namespace
}  // namespace dravont

namespace dravont {
namespace {

// A posted task runs beside the caller, and the pool's end waits for it.
TEST(WorkerPool, EndsOnlyAfterThePostedTask) {
    for (const unsigned threads : {1u, 2u, 4u}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        std::atomic<bool> done{false};
        {
            WorkerPool pool(threads);
            pool.post([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                done = true;
            });
        }
        EXPECT_TRUE(done.load());
    }
}

}  // namespace
}  // namespace dravont
