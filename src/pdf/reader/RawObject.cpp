#include "pdf/reader/RawObject.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/DecimalDigits.h"
#include "pdf/object/PdfSyntax.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/CPdfParser.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawDictionary.h"
#include "pdf/reader/RawKeywords.h"

namespace {

constexpr std::string_view kObjStm = "/ObjStm";
constexpr std::string_view kXRef = "/XRef";
// Searches look at this many bytes first, then at twice as many each time.
constexpr size_t kFirstSlice = 512;
constexpr size_t kSlice = 8192;

const uint8_t* Search(const uint8_t* begin, const uint8_t* end, std::string_view pattern) {
    if (static_cast<size_t>(end - begin) < pattern.size()) return nullptr;
    return static_cast<const uint8_t*>(memmem(begin, static_cast<size_t>(end - begin), pattern.data(), pattern.size()));
}

// The first place in [begin, end) where one of the patterns stands whole, and
// which pattern it is: for several, one pass over the bytes that stops at
// `firsts`, the patterns' first bytes.
std::optional<std::pair<size_t, size_t>> SearchAll(const uint8_t* begin, const uint8_t* end,
                                                   std::initializer_list<std::string_view> patterns,
                                                   const ByteSet& firsts) {
    if (patterns.size() == 1) {
        const uint8_t* hit = Search(begin, end, *patterns.begin());
        if (hit == nullptr) return std::nullopt;
        return std::pair(static_cast<size_t>(hit - begin), size_t{0});
    }
    for (const uint8_t* p = FindAnyOf(begin, end, firsts); p < end; p = FindAnyOf(p + 1, end, firsts)) {
        size_t which = 0;
        for (std::string_view pattern : patterns) {
            if (static_cast<uint8_t>(pattern[0]) == *p && static_cast<size_t>(end - p) >= pattern.size() &&
                std::memcmp(p, pattern.data(), pattern.size()) == 0)
                return std::pair(static_cast<size_t>(p - begin), which);
            ++which;
        }
    }
    return std::nullopt;
}

}  // namespace

// The source is read window by window, a slice at a time, and searched no
// further than the earliest occurrence; an occurrence across two windows is
// found through the bytes carried over.
std::optional<std::pair<int64_t, size_t>> FindEarliest(CByteSource& source, int64_t start,
                                                       std::initializer_list<std::string_view> patterns,
                                                       const ByteSet& firsts) {
    size_t longest = 1;
    for (std::string_view pattern : patterns) longest = std::max(longest, pattern.size());
    const size_t keep = longest - 1;
    std::string carry;
    auto pos = static_cast<uint64_t>(std::max<int64_t>(start, 0));
    size_t slice = kFirstSlice;
    for (;;) {
        const ByteWindow window = source.Window(pos);
        if (window.size == 0) return std::nullopt;
        // A slice at a time, so that a long window is not searched to its end
        // for one pattern while another stands near its start.
        const size_t size = std::min(window.size, slice);
        slice = std::min(slice * 2, kSlice);
        std::optional<std::pair<int64_t, size_t>> best;
        const auto consider = [&best](int64_t at, size_t which) {
            if (!best || at < best->first) best = {at, which};
        };
        if (!carry.empty()) {
            std::string joint = carry;
            joint.append(reinterpret_cast<const char*>(window.data), std::min(size, keep));
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
        if (const std::optional<std::pair<size_t, size_t>> hit =
                SearchAll(window.data, window.data + size, patterns, firsts))
            return std::pair(static_cast<int64_t>(pos + hit->first), hit->second);
        carry.append(reinterpret_cast<const char*>(window.data), size);
        if (carry.size() > keep) carry.erase(0, carry.size() - keep);
        pos += size;
    }
}

namespace {

std::optional<int64_t> FindFirst(CByteSource& source, int64_t start, std::string_view pattern) {
    const auto found = FindEarliest(source, start, {pattern}, ByteSet(pattern.substr(0, 1)));
    if (!found) return std::nullopt;
    return found->first;
}

// The object's bytes run through the "endobj" found at `endObj` and one byte more.
RawObjectLocation Through(CByteSource& source, int64_t start, int64_t endObj) {
    const int64_t end =
        std::min<int64_t>(endObj + static_cast<int64_t>(kEndObj.size()) + 1, static_cast<int64_t>(source.Size()));
    return {start, end - start, false};
}

// Whether the bytes at `start` begin with the object's own number: an entry
// whose offset leads to another object is not taken for this one.
bool StartsWithNumber(CByteSource& source, int64_t start, int32_t number) {
    constexpr size_t kHead = 32;
    // Read in place when the window holds the head, as it mostly does.
    const ByteWindow window = source.Window(static_cast<uint64_t>(start));
    char copy[kHead];
    std::string_view head(reinterpret_cast<const char*>(window.data), std::min(window.size, kHead));
    if (head.size() < kHead)
        head = {copy, source.Read(static_cast<uint64_t>(start), reinterpret_cast<uint8_t*>(copy), sizeof copy)};
    size_t i = 0;
    while (i < head.size() && IsPdfWhite(head[i])) ++i;
    const DecimalDigits digits = DecimalDigits::Scan(head, i, DigitOverflow::Stop);
    return digits.count > 0 && digits.value == static_cast<uint64_t>(number);
}

// What a scan of an object's bytes meets first outside its strings and
// comments.
struct ScanResult {
    enum Kind { kFoundEndObj, kFoundStream, kNothing } kind = kNothing;
    int64_t at = 0;  // where "endobj" begins
};

// A keyword's bytes as one number, the last byte lowest.
constexpr uint64_t Packed(std::string_view keyword) {
    uint64_t packed = 0;
    for (const char c : keyword) packed = (packed << 8) | static_cast<uint8_t>(c);
    return packed;
}

// The last bytes a scan passed, as many as "endobj" and "stream" have (the
// last lowest): which of the two the byte just passed completes.
class CKeywordTail {
public:
    static_assert(kEndObj.size() == kStream.size());
    // Where a keyword begins, counted back from the byte that completes it.
    static constexpr auto kBack = static_cast<int64_t>(kEndObj.size()) - 1;

    // Bytes [p, end) pass.
    void Remember(const uint8_t* p, const uint8_t* end) {
        if (end - p > static_cast<ptrdiff_t>(kEndObj.size())) p = end - kEndObj.size();
        for (; p < end; ++p) recent_ = ((recent_ << 8) | *p) & kMask;
    }
    // One more byte passes: the keyword it completes, if any.
    std::optional<ScanResult::Kind> Push(uint8_t c) {
        recent_ = ((recent_ << 8) | c) & kMask;
        return Completed(recent_);
    }
    // The keyword that the bytes up to `last` (itself included) complete,
    // when the bytes before `from` are those passed before.
    std::optional<ScanResult::Kind> Completes(const uint8_t* from, const uint8_t* last) const {
        if (last - from < kBack) {
            CKeywordTail passed = *this;
            passed.Remember(from, last);
            return passed.Push(*last);
        }
        uint64_t packed = 0;
        for (const uint8_t* p = last - kBack; p <= last; ++p) packed = (packed << 8) | *p;
        return Completed(packed);
    }

private:
    static std::optional<ScanResult::Kind> Completed(uint64_t packed) {
        if (packed == kPackedEndObj) return ScanResult::kFoundEndObj;
        if (packed == kPackedStream) return ScanResult::kFoundStream;
        return std::nullopt;
    }

    static constexpr uint64_t kMask = (uint64_t{1} << (8 * kEndObj.size())) - 1;
    static constexpr uint64_t kPackedEndObj = Packed(kEndObj);
    static constexpr uint64_t kPackedStream = Packed(kStream);

    uint64_t recent_ = 0;
};

// A scan of an object's bytes, window by window: literal strings (with their
// nesting and escapes), hex strings and comments are skipped, and the other
// bytes are watched for "endobj" and the keyword "stream".
class CObjectScan {
public:
    // Scans the window that holds the bytes from `pos` on.
    std::optional<ScanResult> Feed(const uint8_t* data, size_t size, uint64_t pos) {
        const uint8_t* const end = data + size;
        for (const uint8_t* p = data; p < end;) {
            if (string_.InString()) {
                p = string_.Skip(p, end);
                continue;
            }
            if (comment_) {
                while (p < end && *p != '\r' && *p != '\n') ++p;
                if (p < end) {
                    comment_ = false;
                    ++p;
                }
                continue;
            }
            if (!less_) {
                // Bytes that neither begin a string or comment nor end a
                // keyword only pass through the keyword's tail.
                const uint8_t* const stop = FindAnyOf(p, end, kScanStops);
                tail_.Remember(p, stop);
                p = stop;
                if (p == end) break;
            }
            const auto c = static_cast<char>(*p++);
            if (less_) {
                less_ = false;
                if (c != '<') {
                    // A hex string, this byte its first.
                    string_.BeginHex();
                    --p;
                    continue;
                }
            } else {
                less_ = c == '<';
            }
            if (const std::optional<ScanResult::Kind> kind = Plain(c))
                return ScanResult{*kind,
                                  static_cast<int64_t>(pos + static_cast<uint64_t>(p - data)) - 1 - CKeywordTail::kBack};
        }
        return std::nullopt;
    }

    // Takes [begin, end), bytes outside strings and comments that hold no
    // keyword, as passed: true when none of their "<" opens a hex string
    // (each stands in a "<<"), so that the scan goes on from `end`.
    bool Resume(const uint8_t* begin, const uint8_t* end) {
        for (const uint8_t* p = begin; p < end; p += 2) {
            p = static_cast<const uint8_t*>(std::memchr(p, '<', static_cast<size_t>(end - p)));
            if (p == nullptr) break;
            if (end - p < 2 || p[1] != '<') return false;
        }
        tail_.Remember(begin, end);
        return true;
    }

private:
    // A byte outside strings and comments: the keyword it completes, if any.
    // A string or comment ends the bytes before it as a token does: no
    // keyword goes on after it ("e%...\nndobj" is no "endobj").
    std::optional<ScanResult::Kind> Plain(char c) {
        if (c == '(') {
            string_.BeginLiteral();
            tail_ = {};
            return std::nullopt;
        }
        if (c == '%') {
            comment_ = true;
            tail_ = {};
            return std::nullopt;
        }
        return tail_.Push(static_cast<uint8_t>(c));
    }

    // What begins a string or comment, and the last bytes of the keywords.
    static constexpr ByteSet kScanStops{"(%<jm"};

    CPdfStringSkip string_;
    bool comment_ = false;
    // A "<" was just read: a dictionary ("<<") or a hex string opens.
    bool less_ = false;
    // The last bytes outside strings and comments.
    CKeywordTail tail_;
};

// Reads an object from `start` on, skipping strings and comments, until
// "endobj" or the keyword "stream" stands outside them. The bytes before
// `firstMark`, the first "(" or "%", hold neither keyword (FirstMark read
// them): when none of their "<" opens a hex string, the scan begins at the
// mark, with those bytes as the last ones passed.
ScanResult ScanObject(CByteSource& source, int64_t start, int64_t firstMark) {
    CObjectScan scan;
    auto pos = static_cast<uint64_t>(start);
    const ByteWindow head = source.Window(pos);
    if (firstMark >= start && static_cast<uint64_t>(firstMark - start) < head.size &&
        scan.Resume(head.data, head.data + (firstMark - start)))
        pos = static_cast<uint64_t>(firstMark);
    for (;;) {
        const ByteWindow window = source.Window(pos);
        if (window.size == 0) return {};
        if (const std::optional<ScanResult> found = scan.Feed(window.data, window.size, pos)) return *found;
        pos += window.size;
    }
}

// What an object's bytes hold first from `start` on: "endobj" (0), the
// keyword "stream" (1), a "(" (2) or a "%" (3), and where it begins. The bytes
// are searched for the last byte of each (rare in PDF syntax, where the first
// bytes are not) and a keyword is checked against the bytes before it.
std::optional<std::pair<int64_t, size_t>> FirstMark(CByteSource& source, int64_t start) {
    CKeywordTail tail;
    auto pos = static_cast<uint64_t>(start);
    for (size_t slice = kFirstSlice;; slice = std::min(slice * 2, kSlice)) {
        const ByteWindow window = source.Window(pos);
        if (window.size == 0) return std::nullopt;
        const uint8_t* const end = window.data + std::min(window.size, slice);
        // Sixteen bytes at a time, each stop among them in turn.
        for (const uint8_t* block = window.data; block < end; block += 16) {
            const auto count = static_cast<size_t>(std::min<ptrdiff_t>(end - block, 16));
            for (uint32_t stops = MembersOf<'j', 'm', '(', '%'>(block, count); stops != 0; stops &= stops - 1) {
                const uint8_t* const p = block + std::countr_zero(stops);
                const auto at = static_cast<int64_t>(pos + static_cast<uint64_t>(p - window.data));
                if (*p == '(') return std::pair(at, size_t{2});
                if (*p == '%') return std::pair(at, size_t{3});
                // A keyword's bytes are read where they stand.
                if (const std::optional<ScanResult::Kind> kind = tail.Completes(window.data, p))
                    return std::pair(at - CKeywordTail::kBack, size_t{*kind == ScanResult::kFoundEndObj ? 0u : 1u});
            }
        }
        tail.Remember(window.data, end);
        pos += static_cast<uint64_t>(end - window.data);
    }
}

// The value of a dictionary entry at `at` (just after its key) when it is an
// integer or a reference: the integer, or what the reference leads to.
std::optional<int64_t> IntegerEntry(CPdfXRef& xref, std::string_view bytes, size_t at) {
    const auto number = [&bytes](size_t& i) -> std::optional<int64_t> {
        while (i < bytes.size() && IsPdfWhite(bytes[i])) ++i;
        const bool negative = i < bytes.size() && bytes[i] == '-';
        const DecimalDigits digits = DecimalDigits::Scan(bytes, negative ? i + 1 : i, DigitOverflow::Wrap);
        i = digits.end;
        if (digits.count == 0 || (i < bytes.size() && bytes[i] == '.')) return std::nullopt;
        return static_cast<int64_t>(negative ? 0 - digits.value : digits.value);
    };
    const std::optional<int64_t> first = number(at);
    if (!first) return std::nullopt;
    size_t next = at;
    const std::optional<int64_t> second = number(next);
    while (next < bytes.size() && IsPdfWhite(bytes[next])) ++next;
    if (!second || next >= bytes.size() || bytes[next] != 'R' ||
        (next + 1 < bytes.size() && !IsPdfWhite(bytes[next + 1]) && bytes[next + 1] != '/' && bytes[next + 1] != '>'))
        return first;
    const CPdfObject value = xref.Fetch(static_cast<int32_t>(*first), static_cast<int32_t>(*second));
    if (!value.is(pdfInteger)) return std::nullopt;
    return value.getInt64();
}

// The bytes of a stream object from its start through its dictionary's ">>",
// and where the dictionary's body begins (just after its "<<").
struct StreamHead {
    std::string bytes;
    size_t body = 0;
};

// The head of the stream object at `start` whose keyword "stream" stands at
// `keyword`; nothing when "stream" does not follow the dictionary's ">>" or
// the head is longer than a dictionary without strings would be.
std::optional<StreamHead> ReadStreamHead(CByteSource& source, int64_t start, int64_t keyword) {
    constexpr int64_t kLongestHead = 64 * 1024;
    if (keyword - start > kLongestHead) return std::nullopt;
    // Through "stream" and the line end after it.
    StreamHead head;
    head.bytes.resize(static_cast<size_t>(keyword - start) + kStream.size() + 2);
    head.bytes.resize(
        source.Read(static_cast<uint64_t>(start), reinterpret_cast<uint8_t*>(head.bytes.data()), head.bytes.size()));
    const auto stream = static_cast<size_t>(keyword - start);
    if (head.bytes.size() < stream + kStream.size()) return std::nullopt;
    // "stream" right after the dictionary's ">>".
    size_t close = stream;
    while (close > 0 && IsPdfWhite(head.bytes[close - 1])) --close;
    if (close < 2 || head.bytes[close - 1] != '>' || head.bytes[close - 2] != '>') return std::nullopt;
    const size_t obj = head.bytes.find(kObj);
    const std::optional<size_t> body = obj == std::string::npos ? std::nullopt : Opening(head.bytes, obj);
    if (!body || *body > close) return std::nullopt;
    head.bytes.resize(close);
    head.body = *body;
    return head;
}

// Whether the dictionary's /Type is `typeName` (with its slash).
bool HasType(std::string_view dict, size_t body, std::string_view typeName) {
    // Most stream dictionaries have no /Type to look for.
    if (dict.find(kType, body) == std::string_view::npos) return false;
    const std::optional<size_t> typeKey = FindOwnKey(dict, body, kType);
    if (!typeKey) return false;
    size_t at = EndOfKey(*typeKey, kType);
    while (at < dict.size() && IsPdfWhite(dict[at])) ++at;
    const size_t after = at + typeName.size();
    return dict.substr(at, typeName.size()) == typeName &&
           (after >= dict.size() || IsPdfWhite(dict[after]) || dict[after] == '/' || dict[after] == '>');
}

// Where the data of a stream begins: after the line that holds its keyword
// "stream", which stands at `keyword`.
int64_t DataStart(CByteSource& source, int64_t keyword) {
    int64_t data = keyword + static_cast<int64_t>(kStream.size());
    for (;;) {
        const ByteWindow window = source.Window(static_cast<uint64_t>(data));
        if (window.size == 0) return data;
        const auto c = static_cast<char>(window.data[0]);
        ++data;
        if (c == '\n') return data;
        if (c == '\r') {
            const ByteWindow next = source.Window(static_cast<uint64_t>(data));
            return next.size > 0 && next.data[0] == '\n' ? data + 1 : data;
        }
    }
}

// Whether "endstream" follows the data that ends at `dataEnd`, with only white
// space and comments between them, and a byte that does not continue the
// keyword after it.
bool EndStreamFollows(CByteSource& source, int64_t dataEnd) {
    int64_t at = dataEnd;
    for (bool comment = false;; ++at) {
        const ByteWindow window = source.Window(static_cast<uint64_t>(at));
        if (window.size == 0) return false;
        const auto c = static_cast<char>(window.data[0]);
        if (comment) {
            comment = c != '\r' && c != '\n';
        } else if (c == '%') {
            comment = true;
        } else if (!IsPdfWhite(c)) {
            break;
        }
    }
    char word[kEndStream.size() + 1] = {};
    const size_t got = source.Read(static_cast<uint64_t>(at), reinterpret_cast<uint8_t*>(word), sizeof word);
    const char after = word[kEndStream.size()];
    return got >= kEndStream.size() && std::string_view(word, kEndStream.size()) == kEndStream &&
           (IsPdfWhite(after) || after == '%' || after == '/' || after == '<' || after == '[' || after == '(');
}

// A stream object whose dictionary holds no string or comment, located from
// its raw bytes: its /Length (direct or an object of its own) must lead to
// "endstream", and "endobj" is the first one after the data. `keyword` is
// where "stream" stands. Nothing when the bytes do not read that way.
std::optional<RawObjectLocation> LocateStream(CPdfXRef& xref, int64_t start, int64_t keyword) {
    CByteSource& source = *xref.source();
    const std::optional<StreamHead> head = ReadStreamHead(source, start, keyword);
    if (!head) return std::nullopt;
    const std::string_view dict = head->bytes;
    const std::optional<size_t> lengthKey = FindOwnKey(dict, head->body, kLength);
    if (!lengthKey) return std::nullopt;
    const std::optional<int64_t> length = IntegerEntry(xref, dict, EndOfKey(*lengthKey, kLength));
    if (!length) return std::nullopt;
    int64_t dataEnd = 0;
    if (__builtin_add_overflow(DataStart(source, keyword), *length, &dataEnd) || dataEnd < 0) return std::nullopt;
    if (!EndStreamFollows(source, dataEnd)) return std::nullopt;
    const auto endObj = FindFirst(source, dataEnd, kEndObj);
    if (!endObj) return std::nullopt;
    RawObjectLocation location = Through(source, start, *endObj);
    location.isStream = true;
    location.isObjectStream = HasType(dict, head->body, kObjStm);
    location.isXRefStream = HasType(dict, head->body, kXRef);
    return location;
}

// The object parsed from its header on: the value ends after its last token
// (for a stream, after "endstream", which its /Length leads to), and its
// "endobj" is the first one after that. Nothing when the object cannot be
// parsed that way.
std::optional<RawObjectLocation> LocateByParsing(CPdfXRef& xref, int32_t number, int64_t start, bool unclosed = false) {
    try {
        auto file = std::make_shared<CPdfFileStream>(xref.source(), start, 0, CPdfObject::Null());
        CPdfParser parser(&xref, file);
        parser.SetDecodeStreams(false);
        if (xref.rebuilt()) parser.SetFallbackLength(xref.ScannedDataLength(number));
        const CPdfObject num = parser.GetObj();
        const CPdfObject gen = parser.GetObj();
        const CPdfObject keyword = parser.GetObj();
        if (!num.is(pdfInteger) || num.getInt() != number || !gen.is(pdfInteger) || !keyword.isKeyword("obj"))
            return std::nullopt;
        const CPdfObject value = parser.GetObj();
        if (value.is(pdfError) || value.is(pdfEndOfFile)) return std::nullopt;
        RawObjectLocation location;
        if (unclosed) {
            location = {start, parser.consumedEnd() - start};
            location.unclosed = true;
        } else {
            const auto endObj = FindFirst(*xref.source(), parser.consumedEnd(), kEndObj);
            if (!endObj) return std::nullopt;
            location = Through(*xref.source(), start, *endObj);
        }
        if (value.is(pdfStream)) {
            location.isStream = true;
            CPdfDictionary* dict = value.getStream().GetDict();
            location.isObjectStream = dict != nullptr && dict->isType("ObjStm");
            location.isXRefStream = dict != nullptr && dict->isType("XRef");
        }
        return location;
    } catch (const CPdfException&) {
        return std::nullopt;
    }
}

// Where object `number` lies, searched for.
std::optional<RawObjectLocation> Locate(CPdfXRef& xref, int32_t number) {
    if (number < 0 || static_cast<size_t>(number) >= xref.entries().size()) return std::nullopt;
    const XRefEntry& entry = xref.entries()[static_cast<size_t>(number)];
    if (entry.type != XRefEntryType::InUse) return std::nullopt;
    CByteSource& source = *xref.source();
    const int64_t start = xref.FilePosition(entry.offset);
    if (start < 0 || start >= static_cast<int64_t>(source.Size())) return std::nullopt;
    if (!StartsWithNumber(source, start, number)) return std::nullopt;
    // Most objects hold no stream, string or comment before their "endobj":
    // they end there. Strings and comments are skipped by a scan, and streams
    // are parsed, so that an "endobj" inside them does not cut the object short.
    const auto first = FirstMark(source, start);
    // A damaged file may leave an object without its "endobj"; its value
    // still tells where it ends.
    if (!first) return LocateByParsing(xref, number, start, true);
    if (first->second == 0) return Through(source, start, first->first);
    bool isStream = first->second == 1;
    if (isStream) {
        if (auto location = LocateStream(xref, start, first->first)) return location;
    } else {
        const ScanResult scan = ScanObject(source, start, first->first);
        if (scan.kind == ScanResult::kFoundEndObj) return Through(source, start, scan.at);
        isStream = scan.kind == ScanResult::kFoundStream;
    }
    if (isStream) {
        if (auto location = LocateByParsing(xref, number, start)) return location;
    }
    const auto endObj = FindFirst(source, first->first, kEndObj);
    if (!endObj) return LocateByParsing(xref, number, start, true);
    return Through(source, start, *endObj);
}

}  // namespace

std::optional<RawObjectLocation> LocateRawObject(CPdfXRef& xref, int32_t number) {
    if (const RawObjectLocation* last = xref.LastLocated(number)) return *last;
    std::optional<RawObjectLocation> location = Locate(xref, number);
    if (location) xref.RememberLocated(number, *location);
    return location;
}

std::optional<RawObject> ReadRawObject(CPdfXRef& xref, int32_t number) {
    if (number < 0 || static_cast<size_t>(number) >= xref.entries().size()) return std::nullopt;
    const XRefEntry& entry = xref.entries()[static_cast<size_t>(number)];
    if (entry.type == XRefEntryType::Compressed) {
        const auto bytes = xref.GetObjectStreamBytes(number, 0);
        if (!bytes || bytes->empty()) return std::nullopt;
        return RawObject{std::string(*bytes), RawObject::Form::Member};
    }
    const auto location = LocateRawObject(xref, number);
    if (!location) return std::nullopt;
    std::string bytes(static_cast<size_t>(location->length), '\0');
    bytes.resize(xref.source()->Read(static_cast<uint64_t>(location->start), reinterpret_cast<uint8_t*>(bytes.data()),
                                     bytes.size()));
    return RawObject{std::move(bytes), location->unclosed ? RawObject::Form::Unclosed : RawObject::Form::Plain};
}
