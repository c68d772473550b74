#include "pdf/reader/CXRefRepair.h"

#include <algorithm>
#include <string_view>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/object/DecimalDigits.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/CPdfParser.h"
#include "pdf/reader/CPdfXRef.h"
#include "pdf/reader/RawDictionary.h"
#include "pdf/reader/RawKeywords.h"
#include "pdf/reader/RawObject.h"

namespace {

constexpr std::string_view kTrailer = "trailer";
constexpr std::string_view kEnd = "end";
// The bytes before "obj" that a header's numbers may take ("8388607 65535 ").
constexpr int64_t kLongestNumbers = 32;
// A stream's dictionary is read when it is no longer than this.
constexpr int64_t kLongestStreamHead = 64 * 1024;
constexpr int64_t kMaxGeneration = 65535;

bool IsWhite(char c) { return IsPdfWhite(static_cast<unsigned char>(c)); }
bool IsDigit(char c) { return IsPdfDigit(static_cast<unsigned char>(c)); }
bool IsRegular(char c) { return IsPdfRegular(static_cast<unsigned char>(c)); }

std::string Bytes(CByteSource& source, int64_t from, int64_t count) {
    if (from < 0 || count <= 0) return {};
    std::string bytes(static_cast<size_t>(count), '\0');
    bytes.resize(source.Read(static_cast<uint64_t>(from), reinterpret_cast<uint8_t*>(bytes.data()), bytes.size()));
    return bytes;
}

size_t SkipWhite(std::string_view text, size_t at) {
    while (at < text.size() && IsWhite(text[at])) ++at;
    return at;
}

// The extent [start, end) of a dictionary entry's value that is an integer
// or a reference ("12" or "5 0 R"), and whether it is a reference.
struct NumberValue {
    size_t start = 0;
    size_t end = 0;
    uint64_t value = 0;
    bool reference = false;
};

std::optional<NumberValue> NumberAfter(std::string_view text, size_t at) {
    NumberValue number;
    number.start = SkipWhite(text, at);
    const DecimalDigits first = DecimalDigits::Scan(text, number.start, DigitOverflow::Stop);
    if (first.count == 0) return std::nullopt;
    number.value = first.value;
    number.end = first.end;
    const DecimalDigits second = DecimalDigits::Scan(text, SkipWhite(text, first.end), DigitOverflow::Stop);
    const size_t r = SkipWhite(text, second.end);
    if (second.count > 0 && r < text.size() && text[r] == 'R' && (r + 1 >= text.size() || !IsRegular(text[r + 1]))) {
        number.reference = true;
        number.end = r + 1;
    }
    return number;
}

// The name after a dictionary key, when it is one.
bool NameAfter(std::string_view text, size_t at, std::string_view name) {
    at = SkipWhite(text, at);
    if (at >= text.size() || text[at] != '/' || text.substr(at + 1, name.size()) != name) return false;
    const size_t after = at + 1 + name.size();
    return after >= text.size() || !IsRegular(text[after]);
}

}  // namespace

void CXRefRepair::Scan() {
    const auto size = static_cast<int64_t>(source_.Size());
    int64_t pos = std::max<int64_t>(base_, 0);
    while (pos < size) {
        static constexpr ByteSet kFirsts("ost");
        const auto hit = FindEarliest(source_, pos, {kObj, kStream, kTrailer}, kFirsts);
        if (!hit) break;
        const int64_t at = hit->first;
        switch (hit->second) {
            case 0:
                OnObjectKeyword(at);
                pos = at + static_cast<int64_t>(kObj.size());
                break;
            case 1:
                pos = std::max(at + static_cast<int64_t>(kStream.size()), OnStreamKeyword(at));
                break;
            default:
                OnTrailerKeyword(at);
                pos = at + static_cast<int64_t>(kTrailer.size());
                break;
        }
    }
}

bool CXRefRepair::StandsAlone(int64_t at, int64_t after) const {
    const std::string before = Bytes(source_, at - 1, at > 0 ? 1 : 0);
    const std::string next = Bytes(source_, after, 1);
    return (before.empty() || !IsRegular(before[0])) && (next.empty() || !IsRegular(next[0]));
}

void CXRefRepair::OnObjectKeyword(int64_t at) {
    // "endobj": the object found last has ended.
    if (Bytes(source_, at - static_cast<int64_t>(kEnd.size()), at >= 3 ? 3 : 0) == kEnd) {
        open_.reset();
        return;
    }
    if (!StandsAlone(at, at + static_cast<int64_t>(kObj.size()))) return;
    // Backwards from the keyword: white space, the generation, white space,
    // the number, and before it no byte that would continue the number.
    const int64_t from = std::max<int64_t>(at - kLongestNumbers, 0);
    const std::string head = Bytes(source_, from, at - from);
    size_t i = head.size();
    const auto back = [&head, &i](bool (*test)(char)) {
        const size_t end = i;
        while (i > 0 && test(head[i - 1])) --i;
        return end - i;
    };
    if (back(IsWhite) == 0) return;
    const size_t generationAt = i;
    if (back(IsDigit) == 0) return;
    const size_t generationStart = i;
    if (back(IsWhite) == 0) return;
    if (back(IsDigit) == 0 || (i == 0 && from > 0) || (i > 0 && IsRegular(head[i - 1]))) return;
    const DecimalDigits number = DecimalDigits::Scan(head, i, DigitOverflow::Stop);
    const DecimalDigits generation = DecimalDigits::Scan(head, generationStart, DigitOverflow::Stop);
    if (generation.end != generationAt || number.value > static_cast<uint64_t>(CPdfXRef::kMaxObjectNumber) ||
        generation.value > static_cast<uint64_t>(kMaxGeneration))
        return;
    const auto n = static_cast<int32_t>(number.value);
    const int64_t position = from + static_cast<int64_t>(i);
    if (static_cast<size_t>(n) >= entries_.size()) entries_.resize(static_cast<size_t>(n) + 1);
    entries_[static_cast<size_t>(n)] = {position - base_, static_cast<int32_t>(generation.value), XRefEntryType::InUse};
    dataLengths_.erase(n);
    open_ = Found{n, position};
}

int64_t CXRefRepair::OnStreamKeyword(int64_t at) {
    const auto keywordEnd = at + static_cast<int64_t>(kStream.size());
    if (Bytes(source_, at - static_cast<int64_t>(kEnd.size()), at >= 3 ? 3 : 0) == kEnd) return keywordEnd;
    if (!open_ || !StandsAlone(at, keywordEnd)) return keywordEnd;
    const Found object = *open_;
    open_.reset();
    // The data begins after the line end that follows the keyword.
    int64_t data = keywordEnd;
    const std::string eol = Bytes(source_, data, 2);
    if (eol.starts_with("\r\n")) {
        data += 2;
    } else if (!eol.empty() && (eol[0] == '\n' || eol[0] == '\r')) {
        data += 1;
    }
    const StreamHead head = ReadStreamHead(object.position, at);
    if (head.objectStream) objectStreams_.push_back(object);
    if (head.xrefStream) xrefStreams_.push_back(object);
    int64_t end = 0;
    if (head.length && !__builtin_add_overflow(data, *head.length, &end) &&
        end <= static_cast<int64_t>(source_.Size()) && EndStreamAt(end))
        return end;
    // Up to the first "endstream", or the "endobj" of an object left without
    // one; when neither follows, the data is searched as any other bytes.
    if (noMoreEnds_) return keywordEnd;
    static constexpr ByteSet kEndFirsts("e");
    const auto found = FindEarliest(source_, data, {kEndStream, kEndObj}, kEndFirsts);
    if (!found) {
        noMoreEnds_ = true;
        return keywordEnd;
    }
    int64_t dataEnd = found->first;
    const std::string before = Bytes(source_, dataEnd - 2, dataEnd - data >= 2 ? 2 : 0);
    if (before.ends_with("\r\n")) {
        dataEnd -= 2;
    } else if (!before.empty() && (before.back() == '\n' || before.back() == '\r')) {
        dataEnd -= 1;
    }
    dataLengths_[object.number] = dataEnd - data;
    return found->first;
}

CXRefRepair::StreamHead CXRefRepair::ReadStreamHead(int64_t header, int64_t keyword) const {
    StreamHead result;
    if (keyword - header > kLongestStreamHead) return result;
    const std::string head = Bytes(source_, header, keyword - header);
    const std::optional<size_t> body = Opening(head, 0);
    if (!body) return result;
    if (const std::optional<size_t> key = FindOwnKey(head, *body, kLength)) {
        const std::optional<NumberValue> length = NumberAfter(head, EndOfKey(*key, kLength));
        if (length && !length->reference && length->value <= static_cast<uint64_t>(INT64_MAX))
            result.length = static_cast<int64_t>(length->value);
    }
    if (const std::optional<size_t> key = FindOwnKey(head, *body, kType)) {
        result.objectStream = NameAfter(head, EndOfKey(*key, kType), "ObjStm");
        result.xrefStream = NameAfter(head, EndOfKey(*key, kType), "XRef");
    }
    return result;
}

bool CXRefRepair::EndStreamAt(int64_t end) const {
    constexpr int64_t kLook = 64;
    const std::string after = Bytes(source_, end, kLook);
    return std::string_view(after).substr(SkipWhite(after, 0)).starts_with(kEndStream);
}

void CXRefRepair::OnTrailerKeyword(int64_t at) {
    const auto end = at + static_cast<int64_t>(kTrailer.size());
    if (!StandsAlone(at, end)) return;
    trailers_.push_back(end);
    if (trailers_.size() > kKeptTrailers) trailers_.erase(trailers_.begin());
}

std::optional<RawObject> RepairedStreamObject(CPdfXRef& xref, int32_t number) {
    const std::optional<int64_t> dataLength = xref.ScannedDataLength(number);
    if (!dataLength || number < 0 || static_cast<size_t>(number) >= xref.entries().size()) return std::nullopt;
    const XRefEntry& entry = xref.entries()[static_cast<size_t>(number)];
    if (entry.type != XRefEntryType::InUse) return std::nullopt;
    try {
        CPdfParser parser(&xref, std::make_shared<CPdfFileStream>(xref.source(), xref.FilePosition(entry.offset), 0,
                                                                  CPdfObject::Null()));
        parser.SetDecodeStreams(false);
        for (int i = 0; i < 3; ++i) parser.GetObj();
        if (parser.GetObj().is(pdfStream)) return std::nullopt;
    } catch (const CPdfException&) {
    }
    std::optional<RawObject> object = ReadRawObject(xref, number);
    const std::string* bytes = object ? &object->bytes : nullptr;
    const std::optional<size_t> body = bytes ? Opening(*bytes, 0) : std::nullopt;
    const std::optional<size_t> key = body ? FindOwnKey(*bytes, *body, kLength) : std::nullopt;
    if (!key) return std::nullopt;
    const std::optional<NumberValue> length = NumberAfter(*bytes, EndOfKey(*key, kLength));
    if (!length) return std::nullopt;
    object->bytes = bytes->substr(0, length->start) + std::to_string(*dataLength) + bytes->substr(length->end);
    return object;
}
