#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

// A few threads that run tasks in the order they were given, started with
// the first task. Each task learns which thread (0 to size() - 1) runs it, so
// that it can use what its owner keeps for that thread; tasks must not throw.
// Nothing is shared between pools. Where the system gives no thread, Submit
// runs the task itself, as thread 0. The destructor drops the tasks not
// started yet and waits for the running ones.
class CThreadPool {
public:
    // `threads` at least 1.
    explicit CThreadPool(size_t threads);
    ~CThreadPool();
    CThreadPool(const CThreadPool&) = delete;
    CThreadPool& operator=(const CThreadPool&) = delete;

    void Submit(std::function<void(size_t thread)> task);
    // Returns once every task given so far has run.
    void Wait();
    size_t size() const { return size_; }

    // The number of threads a caller asking for `requested` gets: that many,
    // or for 0 as many as the processor has cores (at least 1).
    static size_t ThreadsFor(size_t requested);

private:
    void Start();
    void Work(size_t thread);

    size_t size_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<std::function<void(size_t)>> tasks_;
    // Tasks given and not yet run to their end.
    size_t unfinished_ = 0;
    bool started_ = false;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};
