#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

// The progress line of a batch on standard error, redrawn a few times a
// second while a phase runs: the documents and pages done, the rate and the
// time left. Shown only when standard error is a terminal; otherwise nothing
// is written and nothing runs.
class CBatchProgress {
public:
    CBatchProgress();
    // Ends the current phase.
    ~CBatchProgress();
    CBatchProgress(const CBatchProgress&) = delete;
    CBatchProgress& operator=(const CBatchProgress&) = delete;

    // A phase ("counting", "stamping") over `documents` documents of `pages`
    // pages in all, 0 when the pages are not known yet.
    void Begin(const char* phase, size_t documents, uint64_t pages);
    // One document of `pages` pages done; from any thread.
    void Done(uint64_t pages) {
        pages_.fetch_add(pages, std::memory_order_relaxed);
        documents_.fetch_add(1, std::memory_order_relaxed);
    }
    // Ends the phase and clears the line.
    void End();

    // The line for a phase `seconds` into it.
    static std::string Line(const char* phase, size_t documentsDone, size_t documents, uint64_t pagesDone,
                            uint64_t pages, double seconds);

private:
    void Draw(const std::string& text) const;
    void Show();

    const bool terminal_;
    const char* phase_ = "";
    size_t documentCount_ = 0;
    uint64_t pageCount_ = 0;
    std::chrono::steady_clock::time_point start_;
    std::atomic<size_t> documents_ = 0;
    std::atomic<uint64_t> pages_ = 0;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread drawer_;
};
