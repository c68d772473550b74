#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Runs a whole stamp in the process, on input bytes written to a temporary
// file, with the resource names pinned: "F123" (text), "GS123"/"Im123" (image).
struct StampResult {
    std::optional<std::string> output;  // the output file's bytes, when one was written
    std::string message;                // the failure message, empty on success
};

// `scanThreads`: the threads that scan page content (0: as many as cores).
StampResult RunTextStamp(const std::string& input, const std::vector<std::string>& params, int32_t resourceNumber = 123,
                         size_t scanThreads = 0);
// Stamps the file at `input` into `output` ("text" or "image" mode); the
// failure message, or an empty string on success.
std::string StampFile(const std::string& mode, const std::string& input, const std::string& output,
                      const std::vector<std::string>& params, int32_t resourceNumber = 123);
// `jpeg` is written beside the input and named by -j unless params name one.
StampResult RunImageStamp(const std::string& input, const std::string& jpeg, const std::vector<std::string>& params,
                          int32_t resourceNumber = 123);
