#include "stamp/CBatchProgress.h"

#include <unistd.h>

#include <cstdio>

namespace {

constexpr auto kRedraw = std::chrono::milliseconds(250);

std::string Duration(double seconds) {
    const auto whole = static_cast<uint64_t>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%llu:%02llu", static_cast<unsigned long long>(whole / 60),
                  static_cast<unsigned long long>(whole % 60));
    return text;
}

}  // namespace

CBatchProgress::CBatchProgress() : terminal_(::isatty(STDERR_FILENO) == 1) {}

CBatchProgress::~CBatchProgress() { End(); }

void CBatchProgress::Begin(const char* phase, size_t documents, uint64_t pages) {
    End();
    if (!terminal_) return;
    phase_ = phase;
    documentCount_ = documents;
    pageCount_ = pages;
    documents_ = 0;
    pages_ = 0;
    start_ = std::chrono::steady_clock::now();
    stop_ = false;
    Draw(Line(phase_, 0, documentCount_, 0, pageCount_, 0));
    drawer_ = std::thread([this] { Show(); });
}

void CBatchProgress::End() {
    if (!drawer_.joinable()) return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    drawer_.join();
    Draw("");
}

void CBatchProgress::Show() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!wake_.wait_for(lock, kRedraw, [this] { return stop_; })) {
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        Draw(Line(phase_, documents_.load(std::memory_order_relaxed), documentCount_,
                  pages_.load(std::memory_order_relaxed), pageCount_, seconds));
    }
}

void CBatchProgress::Draw(const std::string& text) const {
    // Back to the line's start, the text, and the rest of the line cleared.
    const std::string line = "\r" + text + "\x1b[K";
    (void)!::write(STDERR_FILENO, line.data(), line.size());
}

std::string CBatchProgress::Line(const char* phase, size_t documentsDone, size_t documents, uint64_t pagesDone,
                                 uint64_t pages, double seconds) {
    char text[160];
    int used = std::snprintf(text, sizeof text, "%s %zu/%zu documents, ", phase, documentsDone, documents);
    // The pages are known once counted: the rate and the time left go by
    // them, else by the documents.
    const bool byPages = pages > 0;
    const double done = byPages ? static_cast<double>(pagesDone) : static_cast<double>(documentsDone);
    const double total = byPages ? static_cast<double>(pages) : static_cast<double>(documents);
    const double rate = seconds > 0 ? done / seconds : 0;
    if (byPages) {
        used += std::snprintf(text + used, sizeof text - static_cast<size_t>(used), "%llu/%llu pages, %.0f pages/s",
                              static_cast<unsigned long long>(pagesDone), static_cast<unsigned long long>(pages), rate);
    } else {
        used += std::snprintf(text + used, sizeof text - static_cast<size_t>(used), "%llu pages, %.0f documents/s",
                              static_cast<unsigned long long>(pagesDone), rate);
    }
    std::string line(text, static_cast<size_t>(used));
    if (rate > 0) line += ", " + Duration((total - done) / rate) + " left";
    return line;
}
