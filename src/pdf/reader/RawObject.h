#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

class CByteSource;
class CPdfXRef;

// Where an object stored plainly in the file lies: its bytes from the
// entry's offset through "endobj" and one byte more (normally its line end).
struct RawObjectLocation {
    int64_t start = 0;
    int64_t length = 0;
    // The object is a stream whose /Length leads to "endstream".
    bool isStream = false;
    // The object is an object stream (a stream whose /Type is /ObjStm).
    bool isObjectStream = false;
    // No "endobj" follows the object in the file: its bytes run through its
    // value, and a copy of it ends with kClosing.
    bool unclosed = false;
};

// What closes a copy of an object that the file leaves unclosed.
inline constexpr std::string_view kClosing = "\rendobj\r";

// The bytes of an object in the file (type 1 entry). A stream object ends at
// the first "endobj" after its data when its /Length leads to "endstream";
// any other object at the first "endobj" after its offset. When no "endobj"
// follows, an object whose value can be parsed ends after that value; nothing
// otherwise.
std::optional<RawObjectLocation> LocateRawObject(CPdfXRef& xref, int32_t number);

// The exact bytes of object `number`, or nothing (a free entry, an object
// that cannot be found). An object from an object stream is framed as a plain
// object: "N 0 obj", a carriage return, its bytes, "endobj", a carriage return;
// an unclosed object gets kClosing after its bytes. In an encrypted document
// such an object's strings are encrypted under its own number, as the strings
// of an object stored plainly are.
std::optional<std::string> ReadRawObject(CPdfXRef& xref, int32_t number);

// The earliest occurrence, at or after `start`, of any of the patterns: its
// position and which pattern it is (its index in `patterns`).
std::optional<std::pair<int64_t, size_t>> FindEarliest(CByteSource& source, int64_t start,
                                                       std::initializer_list<std::string_view> patterns);

// Inserts `text` before the byte at `position`.
void InsertText(std::string& buffer, size_t position, std::string_view text);
