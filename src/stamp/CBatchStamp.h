#pragma once

#include <cstdint>
#include <exception>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "stamp/BatchOptions.h"
#include "stamp/CPdfFile.h"

class CBatchProgress;
class CProductionLog;

// Batch mode: a whole production numbered in one run. The list names each
// document's input and output; the documents are numbered as one sequence
// with text mode's options, each going on from the highest number stamped in
// the one before it plus one, as -export and -import carry the numbering from
// run to run. The numbers do not depend on how many workers run.
//
// First every document is opened and its pages counted, on every processor;
// when any document fails, nothing is written and the message names each that
// failed. Then the numbers are worked out in production order (and the log's
// rows written), and the documents are stamped, on every processor, each
// through the run text mode makes. The outputs, then the production log and the
// -export file, are put in place only once every output is written; a failure
// removes all that the batch wrote and leaves every existing file as it was.
// Memory holds one document per worker; besides, the list itself and, per
// document, its numbers and the temporary name of its output (some hundred
// bytes). Each run is one document on one worker, and scans its page content
// on that worker alone when there are several.
class CBatchStamp : public CPdfFile {
public:
    CBatchStamp();
    ~CBatchStamp() override;

    // The list file, then text mode's parameters, -log and -workers.
    bool ParseParams(const std::vector<std::string>& words) override;
    bool Process() override;

private:
    struct Document {
        std::string_view input;
        std::string_view output;
        int32_t pageCount = 0;
        int32_t listedPages = 0;
        int32_t startNumber = 0;
    };

    // Reads the list; throws a message naming every line that is not an
    // input and an output separated by a tab, or that writes a file another
    // line reads or writes.
    void ReadList();
    // The refusals of lines that write a file another line reads or writes;
    // `lines` holds each document's line number (from 1).
    void FindRepeatedFiles(const std::vector<size_t>& lines, std::vector<std::string>& refusals) const;
    // Opens and counts every document; throws naming each that failed.
    void Count(CBatchProgress& progress);
    // Each document's start number, the first one's being `start`, its log
    // row, and the next number after the production.
    void Number(int32_t start, CProductionLog* log);
    // Stamps every document; throws naming the first, in production order,
    // that failed.
    void Stamp(CBatchProgress& progress);
    // The options of the run of one document, whose numbering starts at
    // `startNumber`.
    TextStampOptions RunOptions(int32_t startNumber) const;
    // The number as the log shows it: as stamped, without the page count; empty with -nopg.
    std::string LogNumber(int32_t number, int32_t pageCount) const;
    // The highest number stamped in document `index`, as numbered.
    int32_t HighestNumber(size_t index) const;
    // Keeps what document `index` failed with (from any worker).
    void Fail(size_t index, std::exception_ptr failure);
    // One line per failed document, "input: message", in production order;
    // `writing`: the first failure while writing, "input -> output: message".
    std::string FailureMessage(bool writing) const;

    BatchOptions options_;
    std::string list_;
    std::vector<Document> documents_;
    // The few documents that have them, by index: the selected positions the
    // run does not stamp (see StampPlan), and the failures.
    std::mutex mutex_;
    std::map<size_t, std::vector<int32_t>> skipped_;
    std::map<size_t, std::exception_ptr> failures_;
    int32_t nextNumber_ = 0;
};
