#include "common/ordered_work.h"

#if defined(__linux__)
#include <pthread.h>
#include <sched.h>
#endif
#if !defined(_WIN32)
#include <signal.h>
#endif

#include <algorithm>
#include <chrono>
#include <exception>
#include <system_error>

namespace dravont {

namespace {

// Keeps `t` off the processor the calling thread runs on. A new thread
// starts on its creator's processor; where the other processors sleep, the
// system can take milliseconds to move it to one, the two sharing one
// processor meanwhile.
void keep_off_callers_cpu(std::thread& t) {
#if defined(__linux__)
    const int cpu = sched_getcpu();
    cpu_set_t set;
    if (cpu < 0 || pthread_getaffinity_np(t.native_handle(), sizeof set, &set) != 0) return;
    CPU_CLR(cpu, &set);
    if (CPU_COUNT(&set) > 0) pthread_setaffinity_np(t.native_handle(), sizeof set, &set);
#else
    (void)t;
#endif
}

// How long a thread with nothing to do stays awake before it sleeps.
constexpr std::chrono::milliseconds kAwake{20};

// Waits until `ready()` holds: awake for kAwake, then asleep on `wake` under
// `mutex` (whoever makes ready() true notifies `wake` after taking `mutex`).
template <typename Ready>
void wait_until(Ready ready, std::mutex& mutex, std::condition_variable& wake) {
    const auto until = std::chrono::steady_clock::now() + kAwake;
    for (unsigned n = 0; !ready(); ++n) {
        if (n % 64 == 63 && std::chrono::steady_clock::now() > until) {
            std::unique_lock<std::mutex> lock(mutex);
            wake.wait(lock, ready);
            return;
        }
        std::this_thread::yield();
    }
}

}  // namespace

// One run of ordered work, shared by the threads that take its items.
class OrderedRun {
public:
    OrderedRun(size_t count, size_t window, const std::function<void(size_t, unsigned, size_t)>& work,
               const std::function<void(size_t, size_t)>& commit)
        : count_(count), window_(window), work_(work), commit_(commit), done_(window, false), errors_(window),
          slotOf_(window) {
        // Slot 0 is taken first, and a slot freed is the next one taken:
        // its memory is the one most recently in use.
        for (size_t s = window; s-- > 0;) freeSlots_.push_back(s);
    }

    void worker(unsigned id) {
        for (;;) {
            const size_t item = next_.fetch_add(1);
            if (item >= count_) return;
            // At most `window` items are out: the item waits until the one
            // `window` before it is committed.
            wait_until([&] { return stop_.load() || item < committed_.load() + window_; }, mutex_, free_);
            if (stop_.load()) return;
            size_t slot;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                slot = freeSlots_.back();
                freeSlots_.pop_back();
                slotOf_[item % window_] = slot;
            }
            std::exception_ptr error;
            try {
                work_(item, id, slot);
            } catch (...) {
                error = std::current_exception();
            }
            std::unique_lock<std::mutex> lock(mutex_);
            done_[item % window_] = true;
            errors_[item % window_] = error;
            // One thread commits at a time; an item finished meanwhile is
            // seen by the committing thread's next look, made under the lock.
            if (!committing_) commit_ready(lock);
        }
    }

    void rethrow() const {
        if (failure_) std::rethrow_exception(failure_);
    }

private:
    void commit_ready(std::unique_lock<std::mutex>& lock) {
        committing_ = true;
        for (size_t item = committed_.load(); !stop_.load() && item < count_ && done_[item % window_];
             item = committed_.load()) {
            std::exception_ptr error = errors_[item % window_];
            const size_t slot = slotOf_[item % window_];
            if (!error) {
                lock.unlock();
                try {
                    commit_(item, slot);
                } catch (...) {
                    error = std::current_exception();
                }
                lock.lock();
            }
            done_[item % window_] = false;
            errors_[item % window_] = nullptr;
            if (error) {
                // The run ends here; the item keeps its slot, so that no
                // item still at work can be given it.
                failure_ = error;
                stop_.store(true);
            } else {
                freeSlots_.push_back(slot);
                committed_.store(item + 1);
            }
            free_.notify_all();
        }
        committing_ = false;
    }

    const size_t count_;
    const size_t window_;
    const std::function<void(size_t, unsigned, size_t)>& work_;
    const std::function<void(size_t, size_t)>& commit_;
    std::atomic<size_t> next_{0};       // the next item to work on
    std::atomic<size_t> committed_{0};  // items committed
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable free_;  // a slot was freed, or the run stopped
    bool committing_ = false;
    std::vector<bool> done_;
    std::vector<std::exception_ptr> errors_;
    std::vector<size_t> slotOf_;     // by item % window, of the items out
    std::vector<size_t> freeSlots_;  // a stack
    std::exception_ptr failure_;
};

WorkerPool::WorkerPool(unsigned threads) {
    for (unsigned id = 1; id < threads; ++id) {
        try {
            helpers_.emplace_back([this, id] { helper(id); });
            keep_off_callers_cpu(helpers_.back());
        } catch (const std::system_error&) {
            break;  // no more threads to be had: those running do the work
        }
    }
}

WorkerPool::~WorkerPool() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_.store(true);
    }
    wake_.notify_all();
    for (std::thread& t : helpers_) t.join();
}

void WorkerPool::helper(unsigned id) {
#if !defined(_WIN32)
    // The signals that end a run are taken by the main thread alone, which
    // holds them back while it puts the output files in place.
    sigset_t ending;
    sigemptyset(&ending);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) sigaddset(&ending, sig);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);
#endif
    uint64_t seen = 0;
    for (;;) {
        const bool mine = id == 1;
        wait_until([&] { return stopping_.load() || generation_.load() != seen || (mine && taskPosted_.load()); },
                   mutex_, wake_);
        if (mine && taskPosted_.load()) {
            task_();
            task_ = nullptr;
            taskPosted_.store(false);
            continue;
        }
        if (stopping_.load()) return;
        seen = generation_.load();
        run_->worker(id);
        busy_.fetch_sub(1);
    }
}

void WorkerPool::post(std::function<void()> task) {
    if (helpers_.empty()) {
        task();
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        task_ = std::move(task);
        taskPosted_.store(true);
    }
    wake_.notify_all();
}

void WorkerPool::run_ordered(size_t count, size_t window, const std::function<void(size_t, unsigned, size_t)>& work,
                             const std::function<void(size_t, size_t)>& commit) {
    if (helpers_.empty() || count <= 1) {
        for (size_t i = 0; i < count; ++i) {
            work(i, 0, 0);
            commit(i, 0);
        }
        return;
    }
    OrderedRun run(count, std::max<size_t>(window, threads()), work, commit);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        run_ = &run;
        busy_.store(static_cast<unsigned>(helpers_.size()));
        generation_.fetch_add(1);
    }
    wake_.notify_all();
    run.worker(0);
    // The helpers leave the run once no item is left; wait for the last.
    while (busy_.load() != 0) std::this_thread::yield();
    run.rethrow();
}

void WorkerPool::wait_posted() {
    while (taskPosted_.load()) std::this_thread::yield();
}

unsigned worker_threads(unsigned limit) {
#if defined(__linux__)
    // The processors this process may run on (taskset, a container's share).
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        return std::max(1u, std::min(static_cast<unsigned>(CPU_COUNT(&set)), limit));
    }
#endif
    const unsigned hardware = std::thread::hardware_concurrency();
    return std::max(1u, std::min(hardware == 0 ? 1u : hardware, limit));
}

}  // namespace dravont
