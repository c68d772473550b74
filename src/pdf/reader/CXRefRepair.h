#pragma once

#include "pdf/reader/RawObject.h"

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "pdf/reader/XRefEntry.h"

class CByteSource;
class CPdfXRef;

// The scan that rebuilds the object map of a file whose cross-reference
// cannot be read as written: the file is read once, front to back, for
// "N G obj" headers (the last definition of a number wins), for the streams
// that follow them (their data is skipped, by their /Length when it leads to
// "endstream", else up to the first "endstream" or "endobj"), and for
// "trailer" keywords. Object streams and cross-reference streams are known by
// their /Type. The work is linear in the file's size: every byte is searched
// at most once, and a stream's dictionary is read only for the header that
// owns it.
class CXRefRepair {
public:
    // `base` is the header's position: the offsets found count from it.
    CXRefRepair(CByteSource& source, int64_t base) : source_(source), base_(base) {}

    // An object found by its header: its number and where the header begins
    // (a position in the file).
    struct Found {
        int32_t number = 0;
        int64_t position = 0;
    };

    void Scan();

    // In-use entries for every number found, offsets counted from the base;
    // unset entries for the numbers between.
    std::vector<XRefEntry>& entries() { return entries_; }
    // Object streams and cross-reference streams, in file order (a number
    // found again later is listed again).
    const std::vector<Found>& objectStreams() const { return objectStreams_; }
    const std::vector<Found>& xrefStreams() const { return xrefStreams_; }
    // Where the dictionaries after the last "trailer" keywords begin, in file
    // order; at most kKeptTrailers.
    const std::vector<int64_t>& trailers() const { return trailers_; }
    // The length of each stream whose /Length does not lead to "endstream"
    // (or is not a direct number): from its data's start to the line end
    // before the "endstream" or "endobj" that ends it. For the last
    // definition of each number.
    const std::unordered_map<int32_t, int64_t>& dataLengths() const { return dataLengths_; }

    static constexpr size_t kKeptTrailers = 16;

private:
    void OnObjectKeyword(int64_t at);
    int64_t OnStreamKeyword(int64_t at);
    void OnTrailerKeyword(int64_t at);
    // Whether the bytes before `at` end in a character that cannot belong to
    // the keyword there (white space, a delimiter, or the start of the file),
    // and the byte at `after` too (or the end of the file).
    bool StandsAlone(int64_t at, int64_t after) const;
    // The direct /Length of the stream whose dictionary runs from the
    // object's header to `keyword`, and whether it is an object stream or a
    // cross-reference stream.
    struct StreamHead {
        std::optional<int64_t> length;
        bool objectStream = false;
        bool xrefStream = false;
    };
    StreamHead ReadStreamHead(int64_t header, int64_t keyword) const;
    // Whether "endstream" follows `end`, after white space.
    bool EndStreamAt(int64_t end) const;

    CByteSource& source_;
    int64_t base_;
    std::vector<XRefEntry> entries_;
    std::vector<Found> objectStreams_;
    std::vector<Found> xrefStreams_;
    std::vector<int64_t> trailers_;
    std::unordered_map<int32_t, int64_t> dataLengths_;
    // The last header found whose stream keyword has not been seen yet.
    std::optional<Found> open_;
    // A search for the end of a stream found none: none can follow.
    bool noMoreEnds_ = false;
};

// For a rebuilt file: stream object `number` as read, with its /Length set
// to the length of its data as the scan found it, when the /Length it states
// does not lead to "endstream". Nothing when it does (the object is copied as
// it stands), or when the object or its /Length cannot be read.
std::optional<RawObject> RepairedStreamObject(CPdfXRef& xref, int32_t number);
