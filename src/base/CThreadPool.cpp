#include "base/CThreadPool.h"

#include <algorithm>
#include <system_error>

CThreadPool::CThreadPool(size_t threads) : size_(std::max<size_t>(threads, 1)) {}

CThreadPool::~CThreadPool() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        tasks_.clear();
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) thread.join();
}

size_t CThreadPool::ThreadsFor(size_t requested) {
    if (requested > 0) return requested;
    return std::max<size_t>(std::thread::hardware_concurrency(), 1);
}

void CThreadPool::Submit(std::function<void(size_t)> task) {
    if (!started_) Start();
    if (threads_.empty()) {
        task(0);
        return;
    }
    {
        const std::lock_guard lock(mutex_);
        tasks_.push_back(std::move(task));
        ++unfinished_;
    }
    wake_.notify_one();
}

void CThreadPool::Wait() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return unfinished_ == 0; });
}

void CThreadPool::Start() {
    started_ = true;
    threads_.reserve(size_);
    try {
        for (size_t i = 0; i < size_; ++i) threads_.emplace_back([this, i] { Work(i); });
    } catch (const std::system_error&) {
        // Fewer threads than asked for (or none: Submit runs the tasks).
    }
}

void CThreadPool::Work(size_t thread) {
    for (;;) {
        std::function<void(size_t)> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (stopping_) return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        task(thread);
        {
            const std::lock_guard lock(mutex_);
            --unfinished_;
        }
        idle_.notify_all();
    }
}
