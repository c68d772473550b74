#include "pdf/reader/RawObject.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "app/CPdfException.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CByteSource.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/CPdfParser.h"
#include "pdf/reader/CPdfXRef.h"

namespace {

constexpr std::string_view kEndObj = "endobj";
constexpr std::string_view kStream = "stream";

const uint8_t* Search(const uint8_t* begin, const uint8_t* end, std::string_view pattern) {
    if (static_cast<size_t>(end - begin) < pattern.size()) return nullptr;
    return static_cast<const uint8_t*>(memmem(begin, static_cast<size_t>(end - begin), pattern.data(), pattern.size()));
}

// The earliest occurrence, at or after `start`, of any of the patterns: its
// position and which pattern it is. The source is read window by window; an
// occurrence across two windows is found through the bytes carried over. The
// first pattern is searched first, and the others only up to where it was
// found, so a search for "endobj" or "stream" reads no further than needed.
std::optional<std::pair<int64_t, size_t>> FindEarliest(CByteSource& source, int64_t start,
                                                       std::initializer_list<std::string_view> patterns) {
    size_t longest = 1;
    for (std::string_view pattern : patterns) longest = std::max(longest, pattern.size());
    const size_t keep = longest - 1;
    std::string carry;
    auto pos = static_cast<uint64_t>(std::max<int64_t>(start, 0));
    for (;;) {
        const CByteWindow window = source.Window(pos);
        if (window.size == 0) return std::nullopt;
        std::optional<std::pair<int64_t, size_t>> best;
        const auto consider = [&best](int64_t at, size_t which) {
            if (!best || at < best->first) best = {at, which};
        };
        if (!carry.empty()) {
            std::string joint = carry;
            joint.append(reinterpret_cast<const char*>(window.data), std::min(window.size, keep));
            const auto* jb = reinterpret_cast<const uint8_t*>(joint.data());
            const auto base = static_cast<int64_t>(pos - carry.size());
            size_t which = 0;
            for (std::string_view pattern : patterns) {
                const uint8_t* hit = Search(jb, jb + joint.size(), pattern);
                if (hit != nullptr && static_cast<size_t>(hit - jb) < carry.size()) consider(base + (hit - jb), which);
                ++which;
            }
            if (best) return best;
        }
        const uint8_t* end = window.data + window.size;
        size_t which = 0;
        for (std::string_view pattern : patterns) {
            const uint8_t* limit = end;
            if (best) {
                const auto bestIndex = static_cast<size_t>(best->first - static_cast<int64_t>(pos));
                limit = window.data + std::min(window.size, bestIndex + pattern.size() - 1);
            }
            if (const uint8_t* hit = Search(window.data, limit, pattern))
                consider(static_cast<int64_t>(pos) + (hit - window.data), which);
            ++which;
        }
        if (best) return best;
        carry.append(reinterpret_cast<const char*>(window.data), window.size);
        if (carry.size() > keep) carry.erase(0, carry.size() - keep);
        pos += window.size;
    }
}

std::optional<int64_t> FindFirst(CByteSource& source, int64_t start, std::string_view pattern) {
    const auto found = FindEarliest(source, start, {pattern});
    if (!found) return std::nullopt;
    return found->first;
}

// The object's bytes run through the "endobj" found at `endObj` and one byte more.
RawObjectLocation Through(CByteSource& source, int64_t start, int64_t endObj) {
    const int64_t end = std::min<int64_t>(endObj + static_cast<int64_t>(kEndObj.size()) + 1,
                                          static_cast<int64_t>(source.Size()));
    return {start, end - start, false};
}

// Whether the bytes at `start` begin with the object's own number: an entry
// whose offset leads to another object is not taken for this one.
bool StartsWithNumber(CByteSource& source, int64_t start, int32_t number) {
    uint8_t head[32];
    const size_t got = source.Read(static_cast<uint64_t>(start), head, sizeof head);
    size_t i = 0;
    while (i < got && (head[i] == ' ' || head[i] == '\t' || head[i] == '\r' || head[i] == '\n' || head[i] == '\f' ||
                       head[i] == 0))
        ++i;
    int64_t value = 0;
    size_t digits = 0;
    for (; i < got && head[i] >= '0' && head[i] <= '9' && digits < 12; ++i, ++digits) value = value * 10 + (head[i] - '0');
    return digits > 0 && value == number;
}

// The object parsed from its header on: the value ends after its last token
// (for a stream, after "endstream", which its /Length leads to), and its
// "endobj" is the first one after that. Nothing when the object cannot be
// parsed that way.
std::optional<RawObjectLocation> LocateByParsing(CPdfXRef& xref, int32_t number, int64_t start) {
    try {
        auto file = std::make_shared<CPdfFileStream>(xref.source(), start, 0, CPdfObject::Null());
        CPdfParser parser(&xref, file);
        const CPdfObject num = parser.GetObj();
        const CPdfObject gen = parser.GetObj();
        const CPdfObject keyword = parser.GetObj();
        if (!num.is(pdfInteger) || num.getInt() != number || !gen.is(pdfInteger) || !keyword.isKeyword("obj"))
            return std::nullopt;
        const CPdfObject value = parser.GetObj();
        if (value.is(pdfError) || value.is(pdfEndOfFile)) return std::nullopt;
        const auto endObj = FindFirst(*xref.source(), parser.consumedEnd(), kEndObj);
        if (!endObj) return std::nullopt;
        RawObjectLocation location = Through(*xref.source(), start, *endObj);
        if (value.is(pdfStream)) {
            CPdfDictionary* dict = value.getStream().GetDict();
            location.isObjectStream = dict != nullptr && dict->isType("ObjStm");
        }
        return location;
    } catch (const CPdfException&) {
        return std::nullopt;
    }
}

}  // namespace

std::optional<RawObjectLocation> LocateRawObject(CPdfXRef& xref, int32_t number) {
    if (number < 0 || static_cast<size_t>(number) >= xref.entries().size()) return std::nullopt;
    const XRefEntry& entry = xref.entries()[static_cast<size_t>(number)];
    if (entry.type != 1) return std::nullopt;
    CByteSource& source = *xref.source();
    const int64_t start = xref.FilePosition(entry.offset);
    if (start < 0 || start >= static_cast<int64_t>(source.Size())) return std::nullopt;
    if (!StartsWithNumber(source, start, number)) return std::nullopt;
    // Most objects hold no stream, string or comment before their "endobj":
    // they end there. The others are parsed, so that an "endobj" inside their
    // data does not cut them short.
    const auto first = FindEarliest(source, start, {kEndObj, kStream, "(", "%"});
    if (!first) return std::nullopt;
    if (first->second == 0) return Through(source, start, first->first);
    if (auto location = LocateByParsing(xref, number, start)) return location;
    const auto endObj = FindFirst(source, first->first, kEndObj);
    if (!endObj) return std::nullopt;
    return Through(source, start, *endObj);
}

std::optional<std::string> ReadRawObject(CPdfXRef& xref, int32_t number) {
    if (number < 0 || static_cast<size_t>(number) >= xref.entries().size()) return std::nullopt;
    const XRefEntry& entry = xref.entries()[static_cast<size_t>(number)];
    if (entry.type == 2) {
        const auto bytes = xref.GetObjectStreamBytes(number, 0);
        if (!bytes || bytes->empty()) return std::nullopt;
        std::string framed = std::to_string(number);
        framed += " 0 obj\r";
        framed += *bytes;
        framed += "endobj\r";
        return framed;
    }
    const auto location = LocateRawObject(xref, number);
    if (!location) return std::nullopt;
    std::string bytes(static_cast<size_t>(location->length), '\0');
    bytes.resize(xref.source()->Read(static_cast<uint64_t>(location->start), reinterpret_cast<uint8_t*>(bytes.data()),
                                     bytes.size()));
    return bytes;
}

std::optional<int64_t> FindInFile(CByteSource& source, int64_t start, std::string_view pattern) {
    if (pattern.empty()) return std::nullopt;
    const auto found = FindFirst(source, start, pattern);
    if (!found) return std::nullopt;
    return *found + static_cast<int64_t>(pattern.size()) - 1;
}

std::optional<size_t> FindBytes(std::string_view buffer, size_t from, size_t to, std::string_view pattern) {
    to = std::min(to, buffer.size());
    if (pattern.empty() || from >= to) return std::nullopt;
    const size_t at = buffer.substr(from, to - from).find(pattern);
    if (at == std::string_view::npos) return std::nullopt;
    return from + at + pattern.size() - 1;
}

size_t FindText(const std::string& buffer, std::string_view text, size_t position) {
    if (position > buffer.size()) return buffer.size();
    const size_t at = buffer.find(text, position);
    return at == std::string::npos ? buffer.size() : at;
}

void InsertText(std::string& buffer, size_t position, std::string_view text) {
    buffer.insert(std::min(position, buffer.size()), text);
}
