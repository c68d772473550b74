#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "support/ChildProcess.h"
#include "support/PdfBuilder.h"

// Whole-program runs of Brevano on hostile inputs, each in a folder of its
// own, and the checks that every such run must pass.

// The most memory one run may hold: 512 MiB. Under AddressSanitizer the same
// run holds more than it does: shadow memory of an eighth of what it uses,
// and up to 256 MiB of freed memory that the sanitizer keeps resident (its
// quarantine, 256 MiB by default); the bound grows by as much.
#if defined(__SANITIZE_ADDRESS__)
constexpr long kMemoryLimitKiB = 512 * 1024 * 9 / 8 + 256 * 1024;
#else
constexpr long kMemoryLimitKiB = 512 * 1024;
#endif

struct HostileRun {
    ChildResult child;
    std::vector<std::string> inputs;  // names of the files the run was given
    std::vector<std::string> folder;  // names in the folder after the run
    bool outputWritten = false;
    int64_t outputSize = 0;
    // `qpdf --check` of the output; -1 when there is none or it was not checked
    // (no qpdf installed, or an output beyond HostileOptions::largestCheckedOutput).
    int qpdf = -1;
    // `qpdf --check` of the input, made when qpdf does not accept the output:
    // an input that qpdf does not accept either is copied with its damage.
    int qpdfInput = -1;
    // The output's first and last bytes, for checks of outputs too large for qpdf.
    std::string outputHead;
    std::string outputTail;
    const std::string& message() const { return child.out; }
};

struct HostileOptions {
    std::string mode = "text";
    std::vector<std::string> params;
    // Image mode: the picture named by -j; the test JPEG when empty.
    std::string picture;
    // Outputs larger than this are not given to qpdf.
    int64_t largestCheckedOutput = 32 << 20;
};

// Writes `input` as in.pdf into a fresh folder (in image mode also the
// picture, by default the test JPEG, as logo.jpg, named by -j) and runs "Brevano mode in.pdf out.pdf params".
HostileRun RunHostile(const std::string& input, const HostileOptions& options = {});

// Every run: it ended by itself within the time limit, without a signal and
// without a word on standard error, within the memory limit; and either it
// failed with exit status 1, one message without a line end and nothing in
// the folder but its inputs, or it succeeded with exit status 0, no message,
// nothing in the folder but its inputs and the output, and qpdf accepted the
// output (status 0 or 3) when it was checked, unless qpdf does not accept the
// input either (objects are copied as they are, damage and all).
::testing::AssertionResult IsSound(const HostileRun& run);
// Sound, and failed with this message.
::testing::AssertionResult FailsWith(const HostileRun& run, const std::string& message);
// Sound, and succeeded.
::testing::AssertionResult Succeeds(const HostileRun& run);

// The time limit of one run: generous, as a guard against hangs only.
double TimeLimitSeconds();

// The memory the program itself held is at most `kib`: its peak is measured
// together with the test process's size at the fork (see RunChild), which
// the bound is added to.
::testing::AssertionResult HeldAtMost(const HostileRun& run, long kib);

// Pieces of test inputs.

// What the pages here draw: a blue square.
inline const std::string kSquare = "0 0 1 rg 10 10 50 50 re f";
// A one-page document: 1 catalog, 2 page tree root, 3 a Letter page, 4 its
// content (for OnePageObjects and OnePagePdf).
inline const OnePage kSquarePage{
    .header = "%PDF-1.5\n",
    .page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << >> /Contents 4 0 R >>",
    .content = kSquare};
// Catalog 1, page tree 2 and a Letter page 3, for an object stream.
inline const std::vector<std::pair<int32_t, std::string>> kOnePageMembers = {
    {1, "<< /Type /Catalog /Pages 2 0 R >>"},
    {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
    {3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << >> >>"}};
// One cross-reference stream row, W [1 4 2].
std::string Row(uint64_t type, uint64_t second, uint64_t third);
// Rows for objects 0 .. count-1 as `pdf` recorded them, with `extra` rows
// (number -> row) replacing or adding entries; numbers the builder did not
// write and `extra` does not name are free.
std::string RowsOf(const PdfBuilder& pdf, int32_t count,
                   const std::vector<std::pair<int32_t, std::string>>& extra = {});
// Deflates `prefix` followed by `fill` bytes up to `size` in all, without
// holding the inflated bytes in memory.
std::string DeflateFilled(const std::string& prefix, char fill, uint64_t size);
// A nest of `depth` containers: "[[[ ... ]]]", or "<< /A << /A ... >> >>".
std::string NestedArrays(size_t depth, bool closed = true);
std::string NestedDictionaries(size_t depth, bool closed = true);
