#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

class COutputFile;
class CPdfDictionary;

// One object number of the output: where its object begins in the file.
struct OutputEntry {
    int64_t offset = 0;
    int32_t generation = 0;
    int32_t inUse = 0;
};

// Writes the output PDF front to back: the header, the objects, then one
// classic cross-reference table built from the recorded offsets and a trailer
// that keeps /Root, /Info and /ID of the input's trailer.
class COutputWriter {
public:
    // The table starts with one free record per input object number.
    COutputWriter(COutputFile& file, size_t inputEntries);

    // "%" and the version, a carriage return, "%" and four bytes above 127,
    // a carriage return and a line feed.
    void writeHeader(std::string_view version);
    // Records an input object number's entry; false for a number beyond the table.
    bool setEntry(int32_t number, int32_t generation, int64_t offset, bool inUse);
    // A new object: its record {current position, 0, in use} is appended and
    // its text written. Returns its number.
    int32_t appendObject(std::string_view text);
    // A new object that the caller writes itself: its record is appended.
    int32_t beginObject();
    void writeXRefTable();
    void writeTrailer(int64_t xrefPosition, const CPdfDictionary& trailer);

    // The number the next new object gets.
    int32_t nextNumber() const { return static_cast<int32_t>(entries_.size()); }
    const std::vector<OutputEntry>& entries() const { return entries_; }
    COutputFile& file() { return file_; }

private:
    COutputFile& file_;
    std::vector<OutputEntry> entries_;
};
