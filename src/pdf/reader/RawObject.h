#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "pdf/object/PdfSyntax.h"
#include "pdf/reader/RawObjectLocation.h"

class CByteSource;
class CPdfXRef;

// An input object's bytes, as read for copying or editing.
struct RawObject {
    enum class Form {
        // "N G obj", the value and "endobj", as the file holds them (and
        // encrypted as the file is).
        Plain,
        // The same, but the file has no "endobj" after the value.
        Unclosed,
        // The value alone, its strings in plain text: an object stream's
        // member (decrypted with the stream), or a value an edit made plain.
        Member,
    };
    std::string bytes;
    Form form = Form::Plain;
};

// The bytes of an object in the file (type 1 entry). A stream object ends at
// the first "endobj" after its data when its /Length leads to "endstream";
// any other object at the first "endobj" after its offset. When no "endobj"
// follows, an object whose value can be parsed ends after that value; nothing
// otherwise.
std::optional<RawObjectLocation> LocateRawObject(CPdfXRef& xref, int32_t number);

// The exact bytes of object `number`, or nothing (a free entry, an object
// that cannot be found, an object stream member without bytes).
std::optional<RawObject> ReadRawObject(CPdfXRef& xref, int32_t number);

// The earliest occurrence, at or after `start`, of any of the patterns (whose
// first bytes `firsts` holds): its position and which pattern it is (its index
// in `patterns`).
std::optional<std::pair<int64_t, size_t>> FindEarliest(CByteSource& source, int64_t start,
                                                       std::initializer_list<std::string_view> patterns,
                                                       const ByteSet& firsts);
