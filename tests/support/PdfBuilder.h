#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Builds small PDF files for tests: objects written in order with their
// offsets recorded, then a classic cross-reference table or a
// cross-reference stream, so that tests read like the file they make.
//
//   PdfBuilder pdf;
//   pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
//   pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
//   std::string bytes = pdf.WithXRefTable("/Root 1 0 R");
class PdfBuilder {
public:
    explicit PdfBuilder(std::string header = "%PDF-1.4\n");

    // Appends "N G obj\n" + body + "\nendobj\n" and records its offset.
    PdfBuilder& Object(int32_t number, const std::string& body, int32_t generation = 0);
    // Appends a stream object with a direct /Length; `dictionaryEntries` go
    // inside the dictionary before /Length.
    PdfBuilder& Stream(int32_t number, const std::string& dictionaryEntries, const std::string& data);
    // Appends bytes as they are (comments, junk, a second revision).
    PdfBuilder& Raw(const std::string& bytes);
    // Records an object that lives in object stream `stream` at `index`.
    PdfBuilder& Compressed(int32_t number, int32_t stream, int32_t index);
    // Appends an object stream holding `members` (number, value text) in
    // order, flate-compressed when `compress`; records each member.
    PdfBuilder& ObjectStream(int32_t number, const std::vector<std::pair<int32_t, std::string>>& members,
                             bool compress = true);

    int64_t OffsetOf(int32_t number) const { return entries_.at(number).offset; }
    const std::string& bytes() const { return bytes_; }
    int32_t size() const;

    // Ends the file with a classic table over 0..size-1 (numbers never
    // written are free), "trailer", << /Size N + `trailerEntries` >>,
    // startxref and %%EOF.
    std::string WithXRefTable(const std::string& trailerEntries);
    // Ends the file with a cross-reference stream object numbered `number`
    // (W [1 4 2], flate-compressed when `compress`) whose dictionary also
    // holds `trailerEntries`.
    std::string WithXRefStream(int32_t number, const std::string& trailerEntries, bool compress = true);

    // Ends an incremental update: a classic table that lists only the objects
    // written through this builder (each run of consecutive numbers is one
    // subsection), the trailer << /Size N + `trailerEntries` >>, startxref and
    // %%EOF. Start the update from the earlier revision's bytes:
    //   PdfBuilder update(first);
    //   update.Object(5, "(new)");
    //   update.WithXRefUpdate("/Root 1 0 R /Prev " + std::to_string(LastStartXRef(first)));
    std::string WithXRefUpdate(const std::string& trailerEntries);
    // Ends the file as a hybrid-reference file: a cross-reference stream
    // numbered `number` (W [1 4 2], uncompressed) that lists the compressed
    // objects, then a classic table that lists object 0 and the objects in the
    // file only, whose trailer points at the stream with /XRefStm.
    std::string WithHybridXRef(int32_t number, const std::string& trailerEntries);
    // Ends the file with "startxref", `offset` and "%%EOF", after sections the
    // test wrote itself (with Raw or Stream).
    std::string WithStartXRef(int64_t offset) const;

private:
    struct Entry {
        int32_t type = 1;
        int64_t offset = 0;      // type 2: the object stream's number
        int32_t generation = 0;  // type 2: the index
    };
    std::string header_;
    std::string bytes_;
    std::map<int32_t, Entry> entries_;
};

// A one-page document: catalog 1, page tree 2 listing page 3 only, page 3,
// then object 4 when there is `content`, then `more`. Tests that need a page
// of their own change the fields they care about:
//   OnePagePdf({.page = "<< /Type /Page /Parent 2 0 R /Resources 7 0 R >>",
//               .more = {{7, "<< >>"}}})
struct OnePage {
    std::string header = "%PDF-1.4\n";
    // Page 3's whole body.
    std::string page = "<< /Type /Page /Parent 2 0 R /Resources << >> >>";
    // The page tree's entries after "/Kids [3 0 R]".
    std::string pages = "/Count 1";
    // When not empty, object 4 is a stream holding these bytes.
    std::string content = "";
    // Objects written after those, in order.
    std::vector<std::pair<int32_t, std::string>> more = {};
};
// The objects, for tests that end the file themselves.
PdfBuilder OnePageObjects(const OnePage& document = {});
// The objects ended with a classic table whose trailer names catalog 1.
std::string OnePagePdf(const OnePage& document = {});

// A document of `count` blank Letter pages, each with empty resources:
// catalog 1, page tree 2, pages from 3 on, a cross-reference table.
std::string BlankLetterPages(int count);

// zlib-compresses `data` (for flate streams built by tests).
std::string Deflate(const std::string& data);

// One row of a cross-reference stream: the three fields big-endian in the
// given widths.
std::string XRefStreamRow(const std::array<int, 3>& widths, uint64_t type, uint64_t second, uint64_t third);

// The value after the last "startxref" of a file (for the /Prev of an update).
int64_t LastStartXRef(const std::string& file);

// One classic cross-reference entry line: offset (ten digits or more),
// generation and 'n' or 'f'; 20 bytes for offsets below 10^10.
std::string XRefTableLine(int64_t offset, int32_t generation, char kind);
