#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CByteSource;
class COutputSink;
class CPdfDictionary;
class CPdfObjectCipher;
struct RawObject;
struct RawObjectLocation;

// One object number of the output: where its object begins in the output.
struct OutputEntry {
    // The byte position of "N G obj" in the output.
    int64_t offset = 0;
    // What the cross-reference states beside it.
    int32_t generation = 0;
    // Written: listed in use; otherwise listed free.
    int32_t inUse = 0;
};

// What an incremental update appends to: the input file and its newest
// cross-reference section.
struct UpdateTarget {
    // The position of the input's header: offsets in the file count from it.
    int64_t base = 0;
    // The newest section's offset (from the header) and form.
    int64_t previousXRef = 0;
    bool streamForm = false;
};

// Writes the output PDF front to back: the header, the objects, then one
// classic cross-reference table built from the recorded offsets and a trailer
// that keeps /Root, /Info and /ID of the input's trailer (and /Encrypt, when
// the output is encrypted). Or, as an update,
// the input's bytes unchanged, the objects, and one cross-reference section
// listing only these, in the input's form, chained to the input's newest.
// Every object is written through it: it alone records where objects start.
class COutputWriter {
public:
    // The table starts with one free record per input object number.
    COutputWriter(COutputSink& sink, size_t inputEntries);

    // Starts the update of `input` (instead of a header): its bytes, and a
    // line end when they do not end with one. Objects written from now on
    // are recorded at their positions in the output, the input's included.
    void beginUpdate(CByteSource& input, const UpdateTarget& target);
    // The update's cross-reference section and trailer: /Root, /Info, /ID and
    // /Encrypt of the input's newest trailer, /Size, /Prev.
    void writeUpdateSection(const CPdfDictionary& trailer);

    // "%" and the version, a carriage return, "%" and four bytes above 127,
    // a carriage return and a line feed.
    void writeHeader(std::string_view version);
    // Input object `number`, copied byte for byte from `input` at `location`,
    // closed ("endobj") when the input leaves it open. Its record is {current
    // position, generation, in use}; false when the number is beyond the
    // table (the bytes are written all the same).
    bool CopyObject(int32_t number, int32_t generation, CByteSource& input, const RawObjectLocation& location);
    // Input object `number` as read, or edited. Recorded as CopyObject
    // records. An object as the file holds it is written as it is (closed
    // when the file leaves it open); a value alone (an object stream's, or an
    // edited one in plain text) is framed as a plain object, "N G obj", a
    // carriage return, the value, "endobj", a carriage return, and encrypted
    // as new objects are.
    bool WriteObject(int32_t number, int32_t generation, const RawObject& object);
    // An encrypted output: new objects and object-stream values are encrypted
    // with `cipher` under their own numbers, except object `plainNumber` (the
    // input's /Encrypt dictionary), and the trailer keeps the input's /Encrypt.
    void SetCipher(CPdfObjectCipher* cipher, int32_t plainNumber = -1) {
        cipher_ = cipher;
        plainNumber_ = plainNumber;
    }

    // New objects. Each is numbered here, from the input's count upwards in
    // the order written (or under a number reserved before), recorded at
    // {current position, 0, in use}, framed and, when the output is
    // encrypted, encrypted under its number. They return the number.
    //
    // A number for an object that another must name before it is written; it
    // is listed free until `appendObject` or `AppendStream` writes it.
    int32_t ReserveNumber();
    // "N 0 obj", `body`, "endobj" and a line end.
    int32_t appendObject(std::string_view body, int32_t reserved = 0);
    // A stream object: "N 0 obj", `dictionary`, "stream", a line end, `data`,
    // a line end, "endstream", a line end, "endobj" and a line end. The
    // dictionary names /Length without a value; the data's length is written
    // right after the key (" 12"), so that it always matches what follows.
    int32_t AppendStream(std::string_view dictionary, std::string_view data, int32_t reserved = 0);
    // The same with the dictionary "<< /Length n >>" on lines of its own.
    int32_t AppendStream(std::string_view data) { return AppendStream(kPlainStreamDictionary, data); }
    static constexpr std::string_view kPlainStreamDictionary = "\n<<\n/Length \n>>\n";

    // Returns the table's position, for writeTrailer.
    int64_t writeXRefTable();
    void writeTrailer(int64_t xrefPosition, const CPdfDictionary& trailer);

    const std::vector<OutputEntry>& entries() const { return entries_; }

private:
    // Records input object `number` at the current position; false for a
    // number beyond the table.
    bool Record(int32_t number, int32_t generation);
    // The number a new object is written under: `reserved`, or the next one.
    int32_t NewNumber(int32_t reserved);
    // Records new object `number` here and writes its bytes, `data` between
    // `head` and `tail`.
    void WriteNew(int32_t number, std::string_view head, std::string_view data, std::string_view tail);
    // The in-use records, as "first count" runs of consecutive numbers.
    std::vector<std::pair<int32_t, int32_t>> InUseRuns() const;
    // An entry's offset as the cross-reference states it.
    int64_t XRefOffset(const OutputEntry& entry) const;
    void WriteUpdateTable(const std::string& keys);
    void WriteUpdateStream(const std::string& keys);

    COutputSink& sink_;
    std::vector<OutputEntry> entries_;
    std::optional<UpdateTarget> update_;
    CPdfObjectCipher* cipher_ = nullptr;
    int32_t plainNumber_ = -1;
    // The first number of a new object: the input's count.
    size_t firstNew_ = 0;
};
