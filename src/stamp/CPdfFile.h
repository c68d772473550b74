#pragma once

#include <string>
#include <vector>

// A run from one input PDF to one output PDF: the option words, then the job.
class CPdfFile {
public:
    CPdfFile() = default;
    virtual ~CPdfFile() = default;
    CPdfFile(const CPdfFile&) = delete;
    CPdfFile& operator=(const CPdfFile&) = delete;

    // The words after the mode word: input file, output file, parameters.
    // Throws CPdfException("Error parameter") when they do not fit.
    virtual bool ParseParams(const std::vector<std::string>& words) = 0;
    // Reads the input and writes the stamped output; throws CPdfException on
    // failure, leaving no output behind.
    virtual bool Process() = 0;

protected:
    std::string inputFileName_;
    std::string outputFileName_;
};
