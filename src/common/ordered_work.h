// Work on numbered items spread over threads, with the results taken in
// order: what a converter needs to make its output's parts side by side and
// still write them one after the other.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace dravont {

class OrderedRun;

// Threads kept for a few runs of ordered work. They start when the pool is
// made, so that starting them overlaps the work before the first run, and
// between runs they wait awake for a while before they sleep: a processor
// left idle can take milliseconds to wake, which would be a large share of
// a conversion that takes a few tens of them.
class WorkerPool {
public:
    // A pool of `threads` threads, the calling one among them.
    explicit WorkerPool(unsigned threads);
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    unsigned threads() const { return static_cast<unsigned>(helpers_.size()) + 1; }

    // Runs work(i, worker, slot) for every i below `count` on the pool's
    // threads (`worker` numbers them from 0, the calling thread being 0) and
    // commit(i, slot) for each i in rising order, one at a time, once
    // work(i) has returned. At most max(window, threads()) items are worked
    // on or waiting for their commit at once (a smaller window would leave
    // threads idle), each with a slot of its own below that number for its
    // results: the slot freed last is the next one given, so the memory a
    // slot's results take stays in use. Without helper threads, or for one
    // item, each item is worked on and committed in turn on the calling
    // thread, in slot 0.
    //
    // An exception thrown by work(i) or commit(i) stops the run at i:
    // commit(i) and the commits after it are not run, and the exception is
    // rethrown once every thread has stopped. Faults of several items thus
    // end the run with the first one's, whatever the threads' timing.
    void run_ordered(size_t count, size_t window,
                     const std::function<void(size_t item, unsigned worker, size_t slot)>& work,
                     const std::function<void(size_t item, size_t slot)>& commit);

    // Runs `task` on a helper thread while the caller goes on (at once on
    // the caller's, without helpers); the pool's end waits for it. One task
    // at a time, and no run while it runs.
    void post(std::function<void()> task);
    // Returns once the posted task, if any, has run.
    void wait_posted();

private:
    void helper(unsigned id);

    std::vector<std::thread> helpers_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::atomic<uint64_t> generation_{0};  // runs started
    std::atomic<unsigned> busy_{0};        // helpers still in the current run
    std::atomic<bool> stopping_{false};
    std::function<void()> task_;          // posted, for helper 1
    std::atomic<bool> taskPosted_{false};
    OrderedRun* run_ = nullptr;            // the current run, published by generation_
};

// The threads worth using for work of this kind: as many as the processors
// this process may run on, at most `limit`; 1 where the system does not say.
unsigned worker_threads(unsigned limit);

}  // namespace dravont
