#include "stamp/CBatchStamp.h"

#include <signal.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "fonts/FontFinder.h"
#include "fonts/FontMetricsTable.h"
#include "fonts/TextShaper.h"
#include "stamp/CBatchProgress.h"
#include "stamp/CPdfFileStampText.h"
#include "stamp/CProductionLog.h"
#include "stamp/NumberingFile.h"
#include "stamp/OptionParser.h"
#include "stamp/PageNumberText.h"
#include "writer/COutputFile.h"
#include "writer/CStagedFiles.h"
#include "writer/NumberFormat.h"

namespace {

// Signed 32-bit addition that wraps around, as the numbering does.
int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

// Runs `job` for every index below `count` on `workers` threads (this one
// among them), which take the indices in increasing order; once `stop` is
// set no index is taken, and those taken are finished.
void ForEachIndex(size_t count, size_t workers, const std::atomic<bool>& stop, const std::function<void(size_t)>& job) {
    std::atomic<size_t> next = 0;
    const auto work = [&] {
        while (!stop.load(std::memory_order_relaxed)) {
            const size_t index = next.fetch_add(1, std::memory_order_relaxed);
            if (index >= count) return;
            job(index);
        }
    };
    std::vector<std::jthread> helpers;
    for (size_t helper = 1; helper < std::min(workers, count); ++helper) helpers.emplace_back(work);
    work();
}

// What a failure says: a CPdfException's message, else "Unexpected
// exception", as the front end reports a single run.
std::string MessageOf(const std::exception_ptr& failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const CPdfException& exception) {
        return exception.GetMessage();
    } catch (...) {
        return "Unexpected exception";
    }
}

// Set when the batch is asked to stop (an interrupt from the terminal, a
// termination request, a hang-up); a lock-free atomic may be set by a signal
// handler.
std::atomic<bool> interrupted = false;
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnInterrupt(int) { interrupted.store(true); }

// While it lives, SIGINT, SIGTERM and SIGHUP set `interrupted` instead of
// ending the process, so that a batch stops between documents and removes
// what it wrote; the earlier handlers come back when it goes.
class CInterruptGuard {
public:
    CInterruptGuard() {
        interrupted = false;
        struct sigaction action {};
        action.sa_handler = OnInterrupt;
        sigemptyset(&action.sa_mask);
        for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &action, &earlier_[i]);
    }
    ~CInterruptGuard() {
        for (size_t i = 0; i < kSignals.size(); ++i) sigaction(kSignals[i], &earlier_[i], nullptr);
    }
    CInterruptGuard(const CInterruptGuard&) = delete;
    CInterruptGuard& operator=(const CInterruptGuard&) = delete;

    // Throws "Interrupted" once a signal came.
    static void Check() {
        if (interrupted) throw CPdfException("Interrupted");
    }

private:
    static constexpr std::array<int, 3> kSignals = {SIGINT, SIGTERM, SIGHUP};
    std::array<struct sigaction, 3> earlier_{};
};

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        if (!text.empty()) text += '\n';
        text += line;
    }
    return text;
}

}  // namespace

CBatchStamp::CBatchStamp() = default;
CBatchStamp::~CBatchStamp() = default;

bool CBatchStamp::ParseParams(const std::vector<std::string>& words) {
    ParseBatchParams(words, options_);
    inputFileName_ = options_.listFile;
    if (options_.workers == 0)
        options_.workers = static_cast<int32_t>(std::max(1u, std::thread::hardware_concurrency()));
    return true;
}

bool CBatchStamp::Process() {
    ReadList();
    const int32_t start =
        options_.text.importFile.empty() ? options_.text.startNumber : ReadNumberingFile(options_.text.importFile);
    // Created first, so that a log or an export file that cannot be written
    // stops the batch before any document is read.
    std::optional<CProductionLog> log;
    if (!options_.logFile.empty()) log.emplace(options_.logFile);
    std::optional<COutputFile> exportFile;
    if (!options_.text.exportFile.empty()) exportFile.emplace(options_.text.exportFile, "export file create error");
    CBatchProgress progress;
    const CInterruptGuard guard;
    Count(progress);
    Number(start, log ? &*log : nullptr);
    Stamp(progress);
    if (exportFile) exportFile->Write(FormatInt(nextNumber_));
    if (log) log->Commit();
    if (exportFile) exportFile->Commit();
    return true;
}

void CBatchStamp::ReadList() {
    CFileByteSource source(options_.listFile, "List file open error");
    list_.resize(static_cast<size_t>(source.Size()));
    if (source.Read(0, reinterpret_cast<uint8_t*>(list_.data()), list_.size()) != list_.size())
        throw CPdfException("List file open error");
    std::vector<std::string> refusals;
    std::vector<size_t> lines;
    const auto lineCount = static_cast<size_t>(std::count(list_.begin(), list_.end(), '\n')) + 1;
    documents_.reserve(lineCount);
    lines.reserve(lineCount);
    size_t line = 0;
    for (size_t start = 0; start < list_.size();) {
        const size_t end = std::min(list_.find('\n', start), list_.size());
        std::string_view text = std::string_view(list_).substr(start, end - start);
        start = end + 1;
        ++line;
        // Lines may end with CR LF.
        if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        const size_t tab = text.find('\t');
        if (tab == 0 || tab == std::string_view::npos || tab + 1 == text.size() ||
            text.find('\t', tab + 1) != std::string_view::npos) {
            refusals.push_back("List line " + FormatInt(static_cast<int64_t>(line)) +
                               " is not an input and an output separated by a tab");
            continue;
        }
        documents_.push_back({text.substr(0, tab), text.substr(tab + 1), 0, 0, 0});
        lines.push_back(line);
    }
    FindRepeatedFiles(lines, refusals);
    if (!refusals.empty()) throw CPdfException(Joined(refusals));
}

void CBatchStamp::FindRepeatedFiles(const std::vector<size_t>& lines, std::vector<std::string>& refusals) const {
    // Every name the list holds, sorted: the lines that name one file are
    // side by side, inputs before outputs, each in line order.
    struct Name {
        std::string_view file;
        bool output;
        size_t line;
        auto operator<=>(const Name&) const = default;
    };
    std::vector<Name> names;
    names.reserve(documents_.size() * 2);
    for (size_t index = 0; index < documents_.size(); ++index) {
        names.push_back({documents_[index].input, false, lines[index]});
        names.push_back({documents_[index].output, true, lines[index]});
    }
    std::sort(names.begin(), names.end());
    std::vector<std::pair<size_t, std::string>> found;
    for (size_t group = 0; group < names.size();) {
        size_t end = group;
        while (end < names.size() && names[end].file == names[group].file) ++end;
        const Name* firstOutput = nullptr;
        for (size_t at = group; at < end; ++at) {
            if (!names[at].output) continue;
            const std::string line = "List line " + FormatInt(static_cast<int64_t>(names[at].line));
            if (firstOutput != nullptr)
                found.emplace_back(names[at].line, line + " writes the output of line " +
                                                       FormatInt(static_cast<int64_t>(firstOutput->line)) + " again");
            firstOutput = firstOutput != nullptr ? firstOutput : &names[at];
            // An input of its own line is stamped in place.
            for (size_t reader = group; reader < end && !names[reader].output; ++reader) {
                if (names[reader].line == names[at].line) continue;
                found.emplace_back(names[at].line, line + " writes over the input of line " +
                                                       FormatInt(static_cast<int64_t>(names[reader].line)));
                break;
            }
        }
        group = end;
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& refusal : found) refusals.push_back(std::move(refusal.second));
}

void CBatchStamp::Count(CBatchProgress& progress) {
    progress.Begin("counting", documents_.size(), 0);
    ForEachIndex(documents_.size(), static_cast<size_t>(options_.workers), interrupted, [&](size_t index) {
        Document& document = documents_[index];
        try {
            CPdfFileStampText run;
            run.SetRun(RunOptions(0), std::string(document.input), std::string(document.output));
            CPdfFileStamp::StampPlan plan = run.Plan();
            document.pageCount = plan.pageCount;
            document.listedPages = plan.listedPages;
            if (!plan.skipped.empty()) {
                const std::lock_guard<std::mutex> lock(mutex_);
                skipped_[index] = std::move(plan.skipped);
            }
        } catch (...) {
            Fail(index, std::current_exception());
        }
        progress.Done(static_cast<uint64_t>(document.listedPages));
    });
    progress.End();
    CInterruptGuard::Check();
    if (!failures_.empty()) throw CPdfException(FailureMessage(false));
}

void CBatchStamp::Number(int32_t start, CProductionLog* log) {
    CPdfFileStampText numbering;
    numbering.SetRun(RunOptions(start), {}, {});
    const std::vector<int32_t> none;
    for (size_t index = 0; index < documents_.size(); ++index) {
        Document& document = documents_[index];
        document.startNumber = start;
        int32_t highest = 0;
        std::optional<int32_t> first;
        std::optional<int32_t> last;
        const auto found = skipped_.find(index);
        const std::vector<int32_t>& skippedPositions = found == skipped_.end() ? none : found->second;
        auto skipped = skippedPositions.begin();
        for (int32_t position = 0; position < document.listedPages; ++position) {
            if (skipped != skippedPositions.end() && *skipped == position) {
                ++skipped;
                continue;
            }
            const std::optional<int32_t> number = numbering.NumberOfPage(start, position, document.pageCount);
            if (!number) continue;
            if (!first) first = number;
            last = number;
            highest = std::max(highest, *number);
        }
        if (log != nullptr) {
            log->AddRow(document.input, document.output, first ? LogNumber(*first, document.pageCount) : "",
                        last ? LogNumber(*last, document.pageCount) : "", document.pageCount);
        }
        start = WrapAdd(highest, 1);
    }
    nextNumber_ = start;
}

void CBatchStamp::Stamp(CBatchProgress& progress) {
    uint64_t pages = 0;
    for (const Document& document : documents_) pages += static_cast<uint64_t>(document.listedPages);
    // What the runs on every worker share is made now: the font metrics, and
    // for an embedded font the shaper's settings and the font configuration.
    BuildFontMetricsTable();
    CPdfFileStampText probe;
    probe.SetRun(RunOptions(0), {}, {});
    if (probe.UsesEmbeddedFonts()) {
        PrepareShaping();
        if (options_.text.fontFile.empty()) LoadSystemFonts();
    }
    CStagedFiles staged(documents_.size());
    std::atomic<bool> failed = false;
    progress.Begin("stamping", documents_.size(), pages);
    ForEachIndex(documents_.size(), static_cast<size_t>(options_.workers), failed, [&](size_t index) {
        Document& document = documents_[index];
        try {
            // Each run is one document on one worker, and the workers already
            // keep every processor busy: a run scans its page content on its
            // worker alone, unless the batch has only the one.
            CPdfFileStampText run;
            if (options_.workers > 1) run.SetScanThreads(1);
            run.SetRun(RunOptions(document.startNumber), std::string(document.input), std::string(document.output));
            run.ProcessStaged(staged, index);
            if (run.highestStampNumber() != HighestNumber(index))
                throw CPdfException("The document changed while the batch ran");
        } catch (...) {
            Fail(index, std::current_exception());
            failed = true;
        }
        if (interrupted) failed = true;
        progress.Done(static_cast<uint64_t>(document.listedPages));
    });
    progress.End();
    CInterruptGuard::Check();
    if (failed) throw CPdfException(FailureMessage(true));
    staged.Commit();
}

TextStampOptions CBatchStamp::RunOptions(int32_t startNumber) const {
    // Every text option reaches the count and the stamping of each document,
    // and both open the input through CPdfFileStamp::OpenInput: an option that
    // changes how an input is opened (a repair) applies to the batch unchanged.
    TextStampOptions options = options_.text;
    options.startNumber = startNumber;
    // The batch reads the start and writes the next number itself.
    options.importFile.clear();
    options.exportFile.clear();
    return options;
}

std::string CBatchStamp::LogNumber(int32_t number, int32_t pageCount) const {
    if (options_.text.noPageNumber) return {};
    TextStampOptions one = options_.text;
    one.oneNumber = true;
    return ComposePageNumberText(one, number, pageCount);
}

int32_t CBatchStamp::HighestNumber(size_t index) const {
    const int32_t next = index + 1 < documents_.size() ? documents_[index + 1].startNumber : nextNumber_;
    return WrapAdd(next, -1);
}

void CBatchStamp::Fail(size_t index, std::exception_ptr failure) {
    const std::lock_guard<std::mutex> lock(mutex_);
    failures_[index] = std::move(failure);
}

std::string CBatchStamp::FailureMessage(bool writing) const {
    std::vector<std::string> lines;
    for (const auto& [index, failure] : failures_) {
        const Document& document = documents_[index];
        std::string line(document.input);
        if (writing) line.append(" -> ").append(document.output);
        lines.push_back(line + ": " + MessageOf(failure));
        if (writing) break;
    }
    return Joined(lines);
}
