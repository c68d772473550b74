#pragma once

#include <string>
#include <vector>

// A production for batch mode, written to a folder: documents of one to a
// few blank pages in `in/`, among them one that lists a page object twice and
// one whose page count is above its pages, and the names of the documents in
// production order.
struct Production {
    std::string folder;
    std::vector<std::string> names;

    std::string Input(size_t index) const { return folder + "/in/" + names[index]; }
    // The list naming each input with its output in `outFolder` (under `folder`).
    std::string List(const std::string& outFolder) const;
};
Production WriteProduction(const std::string& folder, int count);

// Runs text mode on each document in order into `outFolder`, carrying the
// number from run to run with -import and -export of `numberFile`, as a
// production was numbered before batch mode; the first failure's message.
std::string RunChain(const Production& production, const std::string& outFolder, const std::string& numberFile,
                     const std::vector<std::string>& params);

// The texts a text stamp shows in a PDF file, in the order they were written.
std::vector<std::string> StampTexts(const std::string& pdf);

// The rows of CSV text (RFC 4180: quoted fields with doubled quotes, CR LF).
std::vector<std::vector<std::string>> ParseCsv(const std::string& text);
