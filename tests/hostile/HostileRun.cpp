#include "hostile/HostileRun.h"

#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/ExternalTools.h"
#include "support/TestFiles.h"

namespace {

std::string Describe(const HostileRun& run) {
    std::ostringstream text;
    text << "exit " << run.child.exitStatus << ", signal " << run.child.signal
         << (run.child.timedOut ? ", killed after the time limit" : "") << ", " << run.child.seconds << " s, "
         << run.child.maxRssKiB << " KiB (test process " << run.child.parentRssKiB << " KiB), message \""
         << run.child.out << "\", folder [";
    for (const std::string& name : run.folder) text << " " << name;
    text << " ], qpdf " << run.qpdf << " (input " << run.qpdfInput << ")";
    if (!run.child.err.empty()) text << ", standard error:\n" << run.child.err.substr(0, 4000);
    return text.str();
}

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

std::string ReadPart(const std::string& path, int64_t offset, size_t count) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(offset);
    std::string bytes(count, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<size_t>(in.gcount()));
    return bytes;
}

}  // namespace

double TimeLimitSeconds() {
#if defined(__SANITIZE_ADDRESS__)
    return 30;
#else
    return 20;
#endif
}

HostileRun RunHostile(const std::string& input, const HostileOptions& options) {
    TempFolder folder;
    HostileRun run;
    const std::string in = folder.File("in.pdf");
    const std::string out = folder.File("out.pdf");
    WriteFile(in, input);
    run.inputs = {"in.pdf"};
    std::vector<std::string> argv{BREVANO_EXECUTABLE, options.mode, in, out};
    if (options.mode == "image") {
        WriteFile(folder.File("logo.jpg"), options.picture.empty()
                                               ? ReadFile(std::string(BREVANO_TEST_DATA_DIR) + "/picture-640x480.jpg")
                                               : options.picture);
        run.inputs.push_back("logo.jpg");
        argv.push_back("-j" + folder.File("logo.jpg"));
    }
    argv.insert(argv.end(), options.params.begin(), options.params.end());
    run.child = RunChild(argv, TimeLimitSeconds());
    run.folder = ListFolder(folder.path());
    run.outputWritten = FileExists(out);
    if (run.outputWritten) {
        run.outputSize = static_cast<int64_t>(std::filesystem::file_size(out));
        run.outputHead = ReadPart(out, 0, 1024);
        run.outputTail = ReadPart(out, std::max<int64_t>(run.outputSize - 1024, 0), 1024);
        static const bool haveQpdf = HaveTool("qpdf");
        if (run.child.exitStatus == 0 && run.outputSize <= options.largestCheckedOutput && haveQpdf)
            run.qpdf = QpdfCheck(out);
        if (run.qpdf != -1 && run.qpdf != 0 && run.qpdf != 3) run.qpdfInput = QpdfCheck(in);
    }
    return run;
}

::testing::AssertionResult IsSound(const HostileRun& run) {
    const auto fail = [&run](const std::string& what) {
        return ::testing::AssertionFailure() << what << " (" << Describe(run) << ")";
    };
    if (!run.child.started) return fail("the program did not start");
    if (run.child.timedOut) return fail("the run did not end within " + std::to_string(TimeLimitSeconds()) + " s");
    if (run.child.signal != 0) return fail("the program was ended by signal " + std::to_string(run.child.signal));
    if (!run.child.err.empty()) return fail("the program wrote to standard error");
    if (run.child.maxRssKiB > kMemoryLimitKiB)
        return fail("the program held more than " + std::to_string(kMemoryLimitKiB) + " KiB");
    std::vector<std::string> expected = run.inputs;
    if (run.child.exitStatus == 1) {
        if (run.child.out.empty()) return fail("a failure without a message");
        if (run.child.out.find_first_of("\r\n") != std::string::npos) return fail("more than one line of message");
    } else if (run.child.exitStatus == 0) {
        if (!run.child.out.empty()) return fail("a success with a message");
        expected.push_back("out.pdf");
        const auto accepted = [](int status) { return status == 0 || status == 3; };
        if (run.qpdf != -1 && !accepted(run.qpdf) && accepted(run.qpdfInput))
            return fail("qpdf accepts the input but not the output");
    } else {
        return fail("exit status other than 0 or 1");
    }
    if (Sorted(run.folder) != Sorted(expected)) return fail("the folder holds other files than expected");
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult FailsWith(const HostileRun& run, const std::string& message) {
    ::testing::AssertionResult sound = IsSound(run);
    if (!sound) return sound;
    if (run.child.exitStatus != 1 || run.child.out != message)
        return ::testing::AssertionFailure() << "expected the failure \"" << message << "\" (" << Describe(run) << ")";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult Succeeds(const HostileRun& run) {
    ::testing::AssertionResult sound = IsSound(run);
    if (!sound) return sound;
    if (run.child.exitStatus != 0)
        return ::testing::AssertionFailure() << "expected a success (" << Describe(run) << ")";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult HeldAtMost(const HostileRun& run, long kib) {
    if (run.child.maxRssKiB <= run.child.parentRssKiB + kib) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "the program held " << run.child.maxRssKiB << " KiB, more than " << kib
                                         << " KiB beyond the " << run.child.parentRssKiB << " KiB of the test process";
}

std::string Row(uint64_t type, uint64_t second, uint64_t third) {
    return XRefStreamRow({1, 4, 2}, type, second, third);
}

std::string RowsOf(const PdfBuilder& pdf, int32_t count, const std::vector<std::pair<int32_t, std::string>>& extra) {
    std::string rows;
    for (int32_t i = 0; i < count; ++i) {
        const auto found = std::find_if(extra.begin(), extra.end(), [i](const auto& row) { return row.first == i; });
        if (found != extra.end()) {
            rows += found->second;
            continue;
        }
        try {
            rows += Row(1, static_cast<uint64_t>(pdf.OffsetOf(i)), 0);
        } catch (const std::out_of_range&) {
            rows += Row(0, 0, i == 0 ? 65535 : 0);
        }
    }
    return rows;
}

std::string DeflateFilled(const std::string& prefix, char fill, uint64_t size) {
    z_stream zs{};
    // Runs of one byte compress best, and fastest, as runs.
    if (deflateInit2(&zs, 9, Z_DEFLATED, 15, 9, Z_RLE) != Z_OK) throw std::runtime_error("deflateInit2");
    std::string out;
    std::string chunk(1 << 16, fill);
    std::vector<unsigned char> buffer(1 << 16);
    uint64_t left = size;
    bool prefixDone = prefix.empty();
    for (;;) {
        std::string_view piece;
        if (!prefixDone) {
            piece = prefix;
            prefixDone = true;
            left -= std::min<uint64_t>(left, prefix.size());
        } else {
            piece = std::string_view(chunk).substr(0, static_cast<size_t>(std::min<uint64_t>(left, chunk.size())));
            left -= piece.size();
        }
        const int flush = left == 0 && prefixDone ? Z_FINISH : Z_NO_FLUSH;
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(piece.data()));
        zs.avail_in = static_cast<uInt>(piece.size());
        int status = Z_OK;
        do {
            zs.next_out = buffer.data();
            zs.avail_out = static_cast<uInt>(buffer.size());
            status = deflate(&zs, flush);
            out.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - zs.avail_out);
        } while (zs.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
        if (flush == Z_FINISH) break;
    }
    deflateEnd(&zs);
    return out;
}

std::string NestedArrays(size_t depth, bool closed) {
    return std::string(depth, '[') + (closed ? std::string(depth, ']') : std::string());
}

std::string NestedDictionaries(size_t depth, bool closed) {
    std::string text;
    text.reserve(depth * 9);
    for (size_t i = 0; i < depth; ++i) text += "<< /A ";
    if (closed) {
        for (size_t i = 0; i < depth; ++i) text += ">> ";
    }
    return text;
}
