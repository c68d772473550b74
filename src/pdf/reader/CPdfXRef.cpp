#include "pdf/reader/CPdfXRef.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <string>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/DecimalDigits.h"
#include "pdf/object/PdfCharClass.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/CPdfParser.h"
#include "pdf/reader/CPdfSecurityHandler.h"
#include "pdf/reader/CXRefRepair.h"

namespace {

// The number `length` decimal digits spell, or -1 when a byte is no digit:
// eight at a time where the processor's byte order lets them be read as one
// number (the first digit the lowest byte).
int64_t FixedDigits(const char* text, size_t length) {
    int64_t value = 0;
    size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t kHigh = 0xF0F0F0F0F0F0F0F0;
        for (; length - i >= 8; i += 8) {
            uint64_t bytes = 0;
            std::memcpy(&bytes, text + i, sizeof bytes);
            // Each byte "0" to "9": its high half 3, and still 3 with 6 added.
            if (((bytes & kHigh) | (((bytes + 0x0606060606060606) & kHigh) >> 4)) != 0x3333333333333333) return -1;
            bytes -= 0x3030303030303030;
            // Neighbours joined: two digits, then four, then eight.
            bytes = (bytes * 10 + (bytes >> 8)) & 0x00FF00FF00FF00FF;
            bytes = (bytes * 100 + (bytes >> 16)) & 0x0000FFFF0000FFFF;
            bytes = (bytes * 10000 + (bytes >> 32)) & 0xFFFFFFFF;
            value = value * 100000000 + static_cast<int64_t>(bytes);
        }
    }
    for (; i < length; ++i) {
        if (!IsPdfDigit(text[i])) return -1;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

// References followed inside references (a stream's /Length, an object
// stream's members) are cut off beyond this depth; the value is then null.
constexpr int kMaxFetchDepth = 32;
// Fetches nested below one outermost fetch are cut off beyond this count too:
// a value may hold many streams, and each /Length fetched may lead to a value
// holding many more, so that the depth alone would let the work multiply
// level by level.
constexpr int kMaxNestedFetches = 64;
// Decoded object streams kept at once, and the memory they may use together
// (the most recent one is always kept).
constexpr size_t kKeptObjectStreams = 8;
constexpr size_t kKeptObjectStreamBytes = 128u << 20;
// Widths of cross-reference stream fields beyond this are refused.
constexpr int32_t kMaxFieldWidth = 8;
// Rows read from all the cross-reference streams of a file together: twice
// the largest number of objects, room for a full first-page section and a
// full main section.
constexpr int64_t kMaxXRefStreamRows = 2 * (CPdfXRef::kMaxObjectNumber + 1);
// The object streams decoded for one document may add up to
// kMaxObjectStreamSize bytes and 64 more for every byte of the file; each
// load counts at least kObjectStreamLoadCost bytes.
constexpr uint64_t kObjectStreamBytesPerFileByte = 64;
constexpr uint64_t kObjectStreamLoadCost = 4096;

class CDepthGuard {
public:
    CDepthGuard(int& depth, std::vector<int32_t>& fetching, int32_t number) : depth_(depth), fetching_(fetching) {
        ++depth_;
        fetching_.push_back(number);
    }
    ~CDepthGuard() {
        --depth_;
        fetching_.pop_back();
    }
    CDepthGuard(const CDepthGuard&) = delete;
    CDepthGuard& operator=(const CDepthGuard&) = delete;

private:
    int& depth_;
    std::vector<int32_t>& fetching_;
};

constexpr std::string_view kStartXRef = "startxref";
// "startxref" is looked for in this many bytes at the end of the file.
constexpr int64_t kTailWindow = 1023;
constexpr std::string_view kObj = "obj";

// /Prev (or /XRefStm): an integer is an offset; a reference counts as the
// offset equal to its object number.
std::optional<int64_t> OffsetValue(const CPdfDictionary& dictionary, std::string_view key) {
    const CPdfObject value = dictionary.lookupNF(key);
    if (value.is(pdfInteger)) return value.getInt64();
    if (value.is(pdfReference)) return value.getRef().number;
    return std::nullopt;
}

// Whether `head`, the first bytes at an entry's offset, begin with the
// object's "number generation obj" (after white space).
bool StartsWithHeader(std::string_view head, int32_t number, int32_t generation) {
    size_t at = 0;
    const auto skipSpace = [&] {
        const size_t from = at;
        while (at < head.size() && IsPdfWhite(head[at])) ++at;
        return at > from;
    };
    const auto digits = [&](int64_t expected) {
        const DecimalDigits run = DecimalDigits::Scan(head, at, DigitOverflow::Stop);
        at = run.end;
        return run.count > 0 && static_cast<int64_t>(run.value) == expected;
    };
    skipSpace();
    return digits(number) && skipSpace() && digits(generation) && skipSpace() && head.substr(at).starts_with(kObj);
}

// A subsection of `count` entries from object `first` on stays within the
// object numbers a file may use (written so that nothing overflows).
bool SubsectionFits(int64_t first, int64_t count) {
    constexpr int64_t kNumbers = CPdfXRef::kMaxObjectNumber + 1;
    return first >= 0 && count >= 0 && first <= kNumbers && count <= kNumbers - first;
}

}  // namespace

CPdfXRef::CPdfXRef(std::shared_ptr<CPdfFileStream> file) : file_(std::move(file)) {
    const uint64_t fileSize = source()->Size();
    objectStreamBudget_ = fileSize > (UINT64_MAX - kMaxObjectStreamSize) / kObjectStreamBytesPerFileByte
                              ? UINT64_MAX
                              : kMaxObjectStreamSize + fileSize * kObjectStreamBytesPerFileByte;
}

CPdfXRef::~CPdfXRef() = default;

const std::shared_ptr<CByteSource>& CPdfXRef::source() const { return file_->source(); }

int64_t CPdfXRef::FilePosition(int64_t offset) const {
    int64_t position = 0;
    if (__builtin_add_overflow(base_, offset, &position)) return INT64_MAX;
    return position;
}

int64_t CPdfXRef::FindStartXRef(CPdfStream& file) {
    file.SetPos(kTailWindow, SeekOrigin::End);
    std::string window(kTailWindow, '\0');
    window.resize(file.Read(reinterpret_cast<uint8_t*>(window.data()), window.size()));
    std::replace(window.begin(), window.end(), '\0', ' ');
    const size_t at = window.rfind(kStartXRef);
    if (at == std::string::npos) return 0;
    size_t i = at + kStartXRef.size();
    while (i < window.size() && IsPdfWhite(window[i])) ++i;
    return static_cast<int64_t>(DecimalDigits::Scan(window, i, DigitOverflow::Stop).value);
}

void CPdfXRef::Load() {
    located_ = {};
    base_ = file_->GetStart();
    const int64_t start = FindStartXRef(*file_);
    if (start == 0) throw CPdfException("PDF file was damaged");
    // White space may stand before the section, as readers skip it; but not
    // NUL, which some (qpdf) do not skip there: an update chained to the
    // section would lead them to none.
    char head[64] = {};
    const size_t got =
        FilePosition(start) < static_cast<int64_t>(source()->Size())
            ? source()->Read(static_cast<uint64_t>(FilePosition(start)), reinterpret_cast<uint8_t*>(head), sizeof head)
            : 0;
    size_t at = 0;
    while (at < got && head[at] != '\0' && IsPdfWhite(head[at])) ++at;
    newest_ = {start, at < got && IsPdfDigit(head[at])};
    intact_ = (at < got && head[at] == 'x') || newest_.isStream;
    std::optional<int64_t> pos = start;
    while (pos) {
        std::optional<int64_t> prev;
        ReadXRef(*pos, prev, false);
        pos = prev;
    }
    if (!trailer_.is(pdfDictionary)) throw CPdfException("PDF file was damaged");
    CPdfDictionary& trailer = trailer_.getDict();
    const CPdfObject root = trailer.lookupNF("Root");
    if (!root.is(pdfReference)) throw CPdfException("PDF file was damaged");
    root_ = root.getRef();
    const CPdfObject info = trailer.lookupNF("Info");
    if (info.is(pdfReference)) info_ = info.getRef();
    trailer.setXRef(this);
}

void CPdfXRef::Grow(int64_t size) {
    if (size > static_cast<int64_t>(entries_.size())) entries_.resize(static_cast<size_t>(size));
}

void CPdfXRef::ReadXRef(int64_t pos, std::optional<int64_t>& prev, bool streamOnly) {
    prev.reset();
    // A chain that comes back to a section already read ends there.
    if (!visited_.insert(pos).second) {
        intact_ = false;
        return;
    }
    auto stream = std::make_shared<CPdfFileStream>(source(), FilePosition(pos), 0, CPdfObject::Null());
    CPdfParser parser(nullptr, stream);
    const CPdfObject first = parser.GetObj();
    if (first.isKeyword("xref") && !streamOnly) {
        std::optional<int64_t> xrefStm;
        sectionFree_.clear();
        ReadXRefTable(parser, prev, xrefStm);
        if (xrefStm) {
            // A hybrid file: objects stored in object streams are listed only in
            // the cross-reference stream, or as free in the table beside it; the
            // table's entries stay where both say an object is in use. A damaged
            // stream is ignored, as older readers do.
            try {
                std::optional<int64_t> ignored;
                ReadXRef(*xrefStm, ignored, true);
            } catch (const CPdfException&) {
                intact_ = false;
            }
        }
        sectionFree_.clear();
        return;
    }
    if (!first.is(pdfInteger)) throw CPdfException("Couldn't parse an xref");
    // Readers find a cross-reference stream by its offset, never by its entry.
    if (first.getInt64() >= 0 && first.getInt64() <= kMaxObjectNumber)
        xrefStreamNumbers_.insert(static_cast<int32_t>(first.getInt64()));
    const CPdfObject generation = parser.GetObj();
    const CPdfObject keyword = parser.GetObj();
    if (!generation.is(pdfInteger) || !keyword.isKeyword("obj")) throw CPdfException("Couldn't parse an xref stream");
    const CPdfObject value = parser.GetObj();
    if (!value.is(pdfStream) || !value.getStream().IsDecodable()) throw CPdfException("Couldn't parse an xref stream");
    ReadXRefStream(value.getStream(), prev);
}

void CPdfXRef::ReadXRefTable(CPdfParser& parser, std::optional<int64_t>& prev, std::optional<int64_t>& xrefStm) {
    const auto fail = [] { throw CPdfException("Couldn't parse an xref table"); };
    // Entries are read token by token; offsets keep their full 64-bit value.
    const auto integer = [&parser, &fail]() {
        if (!parser.Lookahead().is(pdfInteger)) fail();
        const int64_t value = parser.Lookahead().getInt64();
        parser.Shift();
        return value;
    };
    for (;;) {
        if (parser.Lookahead().isKeyword("trailer")) {
            parser.Shift();
            break;
        }
        const int64_t first = integer();
        const int64_t count = integer();
        if (!SubsectionFits(first, count)) fail();
        for (int64_t i = first + ReadPlainEntries(parser, first, count); i < first + count; ++i) {
            const int64_t offset = integer();
            const int64_t gen = integer();
            const CPdfObject& kind = parser.Lookahead();
            XRefEntryType type = XRefEntryType::Free;
            if (kind.isKeyword("n")) {
                type = XRefEntryType::InUse;
            } else if (!kind.isKeyword("f")) {
                fail();
            }
            parser.Shift();
            SetTableEntry(i, offset, gen, type);
        }
    }
    CPdfObject trailer = parser.GetObj();
    if (!trailer.is(pdfDictionary)) throw CPdfException("Trailer dictionary is wrong type");
    if (!trailer_.is(pdfDictionary)) trailer_ = trailer;
    prev = OffsetValue(trailer.getDict(), "Prev");
    xrefStm = OffsetValue(trailer.getDict(), "XRefStm");
}

void CPdfXRef::SetTableEntry(int64_t number, int64_t offset, int64_t generation, XRefEntryType type) {
    Grow(number + 1);
    XRefEntry& entry = entries_[static_cast<size_t>(number)];
    if (entry.IsSet()) return;
    entry = {offset, static_cast<int32_t>(generation), type};
    if (type == XRefEntryType::Free) sectionFree_.insert(number);
}

int64_t CPdfXRef::ReadPlainEntries(CPdfParser& parser, int64_t first, int64_t count) {
    // "0000012345 00000 n" and a white byte, after white space: what the
    // tokens of an entry read most often are, taken straight from the bytes.
    constexpr size_t kEntry = 19;
    CByteSource& file = *source();
    uint64_t position = static_cast<uint64_t>(parser.consumedEnd());
    // Room for the entries the rest of the file can hold, made at once
    // rather than doubled as they come.
    const uint64_t fits = (file.Size() - std::min(file.Size(), position)) / (kEntry - 1);
    const int64_t last = first + std::min<int64_t>(count, static_cast<int64_t>(std::min<uint64_t>(fits, INT32_MAX)));
    if (last > static_cast<int64_t>(entries_.capacity())) entries_.reserve(static_cast<size_t>(last));
    // Made at once too, and cut back to the entries read.
    const size_t before = entries_.size();
    Grow(last);
    std::string chunk;
    size_t at = 0;
    int64_t read = 0;
    for (; read < count; ++read) {
        // White space before the entry, and the entry, within the chunk.
        for (;;) {
            while (at < chunk.size() && IsPdfWhite(chunk[at])) ++at;
            if (chunk.size() - at >= kEntry) break;
            position += at;
            chunk.resize(64 * 1024);
            chunk.resize(file.Read(position, reinterpret_cast<uint8_t*>(chunk.data()), chunk.size()));
            at = 0;
            if (chunk.size() < kEntry || !IsPdfWhite(chunk[0])) break;
        }
        const char* entry = chunk.data() + at;
        if (chunk.size() - at < kEntry || entry[10] != ' ' || entry[16] != ' ' ||
            (entry[17] != 'n' && entry[17] != 'f') || !IsPdfWhite(entry[18]))
            break;
        const int64_t offset = FixedDigits(entry, 10);
        const int64_t generation = FixedDigits(entry + 11, 5);
        if (offset < 0 || generation < 0) break;
        SetTableEntry(first + read, offset, generation, entry[17] == 'n' ? XRefEntryType::InUse : XRefEntryType::Free);
        at += kEntry - 1;
    }
    entries_.resize(std::max(before, static_cast<size_t>(std::max<int64_t>(first + read, 0))));
    if (read > 0) parser.Seek(static_cast<int64_t>(position + at));
    return read;
}

void CPdfXRef::ReadXRefStream(CPdfStream& stream, std::optional<int64_t>& prev) {
    CPdfDictionary* dict = stream.GetDict();
    if (dict == nullptr) throw CPdfException("Couldn't parse an xref stream");
    const CPdfObject size = dict->lookupNF("Size");
    if (!size.is(pdfInteger) || size.getInt64() > kMaxObjectNumber + 1)
        throw CPdfException("Size of xref Stream is wrong type");
    Grow(size.getInt64());

    const CPdfObject w = dict->lookupNF("W");
    if (!w.is(pdfArray)) throw CPdfException("W item of xref Stream is wrong type");
    if (w.getArray().getLength() < 3) throw CPdfException("W item of xref Stream is wrong length");
    int32_t widths[3];
    for (size_t i = 0; i < 3; ++i) {
        const CPdfObject width = w.getArray().get(i);
        if (!width.is(pdfInteger) || width.getInt64() < 0 || width.getInt64() > kMaxFieldWidth)
            throw CPdfException("W item of xref Stream is wrong type");
        widths[i] = width.getInt();
    }
    stream.Reset();

    const CPdfObject index = dict->lookupNF("Index");
    if (index.is(pdfArray)) {
        const CPdfArray& pairs = index.getArray();
        for (size_t i = 0; i + 1 < pairs.getLength(); i += 2) {
            const CPdfObject first = pairs.get(i);
            const CPdfObject count = pairs.get(i + 1);
            if (!first.is(pdfInteger) || !count.is(pdfInteger) || !SubsectionFits(first.getInt64(), count.getInt64()))
                throw CPdfException("Index item of xref Stream is wrong type");
            ReadXRefStreamSection(stream, widths, first.getInt64(), count.getInt64());
        }
    } else if (size.getInt64() > 0) {
        ReadXRefStreamSection(stream, widths, 0, size.getInt64());
    }
    if (!trailer_.is(pdfDictionary)) trailer_.setDictionary(dict->shared_from_this());
    prev = OffsetValue(*dict, "Prev");
}

void CPdfXRef::ReadXRefStreamSection(CPdfStream& stream, const int32_t widths[3], int64_t first, int64_t count) {
    // Rows of zero width cost no data, so their number is bounded by itself.
    if (count > kMaxXRefStreamRows - xrefStreamRows_) throw CPdfException("Xref stream is too large");
    xrefStreamRows_ += count;
    Grow(first + count);
    const size_t rowWidth =
        static_cast<size_t>(widths[0]) + static_cast<size_t>(widths[1]) + static_cast<size_t>(widths[2]);
    uint8_t row[3 * kMaxFieldWidth];
    const auto field = [&row](size_t& at, int32_t width, int64_t missing) {
        if (width == 0) return missing;
        uint64_t value = 0;
        for (int32_t i = 0; i < width; ++i) value = (value << 8) | row[at++];
        return static_cast<int64_t>(value);
    };
    for (int64_t i = first; i < first + count; ++i) {
        if (stream.Read(row, rowWidth) != rowWidth)
            throw CPdfException("Unexpected EOF while reading xref stream section");
        size_t at = 0;
        const int64_t typeField = field(at, widths[0], 1);
        const int64_t second = field(at, widths[1], 0);
        const int64_t third = field(at, widths[2], 0);
        if (typeField < 0 || typeField > static_cast<int64_t>(XRefEntryType::Compressed))
            throw CPdfException("Wrong type of xref XRefEntry while reading xref stream section");
        const auto type = static_cast<XRefEntryType>(typeField);
        XRefEntry& entry = entries_[static_cast<size_t>(i)];
        if (!entry.IsSet() || (type != XRefEntryType::Free && sectionFree_.count(i) != 0)) {
            entry = {second, static_cast<int32_t>(static_cast<uint32_t>(third)), type};
        }
    }
}

void CPdfXRef::SetSecurityHandler(std::unique_ptr<CPdfSecurityHandler> handler, int32_t encryptNumber) {
    security_ = std::move(handler);
    encryptNumber_ = encryptNumber;
    // Object streams read before were read undecrypted.
    objectStreams_.clear();
}

int32_t CPdfXRef::GenerationOf(int32_t number) const {
    if (number < 0 || static_cast<size_t>(number) >= entries_.size()) return 0;
    const XRefEntry& entry = entries_[static_cast<size_t>(number)];
    return entry.type == XRefEntryType::Compressed ? 0 : entry.gen;
}

CPdfObject CPdfXRef::Fetch(int32_t number, int32_t generation) {
    if (number < 0 || static_cast<size_t>(number) >= entries_.size()) throw CPdfException("Corrupted PDF file");
    if (fetchDepth_ >= kMaxFetchDepth) return CPdfObject::Null();
    if (fetchDepth_ == 0) {
        nestedFetches_ = 0;
    } else if (++nestedFetches_ > kMaxNestedFetches ||
               std::find(fetching_.begin(), fetching_.end(), number) != fetching_.end()) {
        // Beyond the count, or an object needed while it is being fetched (a
        // stream whose /Length leads back to the object itself): null.
        return CPdfObject::Null();
    }
    const CDepthGuard guard(fetchDepth_, fetching_, number);
    const XRefEntry entry = entries_[static_cast<size_t>(number)];
    if (entry.type == XRefEntryType::InUse) {
        if (generation != entry.gen) return CPdfObject::Null();
        auto stream = std::make_shared<CPdfFileStream>(source(), FilePosition(entry.offset), 0, CPdfObject::Null());
        CPdfParser parser(this, std::move(stream));
        if (security_ && number != encryptNumber_) parser.SetDecryption(security_.get(), number, generation);
        if (rebuilt_) parser.SetFallbackLength(ScannedDataLength(number));
        const CPdfObject num = parser.GetObj();
        const CPdfObject gen = parser.GetObj();
        const CPdfObject keyword = parser.GetObj();
        if (!num.is(pdfInteger) || num.getInt() != number || !gen.is(pdfInteger) || gen.getInt() != generation ||
            !keyword.isKeyword("obj"))
            return CPdfObject::Null();
        return parser.GetObj();
    }
    if (entry.type == XRefEntryType::Compressed) {
        if (generation != 0 || entry.offset < 0 || entry.offset > kMaxObjectNumber) return CPdfObject::Null();
        if (objectStreamsBarred_) {
            objectStreamAsked_ = true;
            return CPdfObject::Null();
        }
        const auto objectStream = ObjectStream(static_cast<int32_t>(entry.offset));
        return objectStream->ParseMember(this, number, entry.gen);
    }
    return CPdfObject::Null();
}

std::optional<CPdfObject> CPdfXRef::FetchOutsideObjectStreams(int32_t number, int32_t generation) {
    if (number < 0 || static_cast<size_t>(number) >= entries_.size() ||
        entries_[static_cast<size_t>(number)].type != XRefEntryType::InUse || fetchDepth_ > 0)
        return std::nullopt;
    struct Barrier {
        explicit Barrier(CPdfXRef& barred) : owner(barred) { owner.objectStreamsBarred_ = true; }
        ~Barrier() { owner.objectStreamsBarred_ = owner.objectStreamAsked_ = false; }
        Barrier(const Barrier&) = delete;
        Barrier& operator=(const Barrier&) = delete;
        CPdfXRef& owner;
    } barrier(*this);
    CPdfObject value = Fetch(number, generation);
    if (objectStreamAsked_) return std::nullopt;
    return value;
}

std::optional<std::string_view> CPdfXRef::GetObjectStreamBytes(int32_t number, int32_t generation) {
    if (generation != 0 || number < 0 || static_cast<size_t>(number) >= entries_.size()) return std::nullopt;
    const XRefEntry& entry = entries_[static_cast<size_t>(number)];
    if (entry.offset < 0 || entry.offset > kMaxObjectNumber) return std::nullopt;
    const auto objectStream = ObjectStream(static_cast<int32_t>(entry.offset));
    return objectStream->MemberBytes(number, entry.gen);
}

std::shared_ptr<const ObjectStreamCache> CPdfXRef::ObjectStream(int32_t streamNumber) {
    const auto found = std::find_if(objectStreams_.begin(), objectStreams_.end(),
                                    [streamNumber](const auto& kept) { return kept->streamNumber == streamNumber; });
    if (found != objectStreams_.end()) {
        std::rotate(objectStreams_.begin(), found, found + 1);
        return objectStreams_.front();
    }
    // An object stream that is needed while it is being read (one that names
    // itself, directly or through another) holds nothing.
    if (loading_.count(streamNumber) != 0) {
        auto empty = std::make_shared<ObjectStreamCache>();
        empty->streamNumber = streamNumber;
        return empty;
    }
    loading_.insert(streamNumber);
    std::shared_ptr<ObjectStreamCache> loaded;
    try {
        loaded = LoadObjectStream(streamNumber);
    } catch (...) {
        loading_.erase(streamNumber);
        throw;
    }
    loading_.erase(streamNumber);
    objectStreams_.insert(objectStreams_.begin(), loaded);
    size_t used = 0;
    size_t keep = 0;
    for (; keep < objectStreams_.size() && keep < kKeptObjectStreams; ++keep) {
        used += objectStreams_[keep]->MemoryUse();
        if (keep > 0 && used > kKeptObjectStreamBytes) break;
    }
    objectStreams_.resize(std::max<size_t>(keep, 1));
    return loaded;
}

std::shared_ptr<ObjectStreamCache> CPdfXRef::LoadObjectStream(int32_t streamNumber) {
    auto cache = std::make_shared<ObjectStreamCache>();
    cache->streamNumber = streamNumber;
    // Every load counts against the budget, at least kObjectStreamLoadCost
    // bytes, so that streams that push each other out of the cache cannot be
    // decoded again and again without end.
    if (objectStreamBudget_ < kObjectStreamLoadCost) throw CPdfException("Object stream is too large");
    objectStreamBudget_ -= kObjectStreamLoadCost;
    const CPdfObject value = Fetch(streamNumber, 0);
    if (!value.is(pdfStream)) return cache;
    CPdfStream& stream = value.getStream();
    const size_t limit =
        static_cast<size_t>(std::min<uint64_t>(kMaxObjectStreamSize, objectStreamBudget_ + kObjectStreamLoadCost));
    std::string data;
    uint8_t chunk[16384];
    for (;;) {
        const size_t got = stream.Read(chunk, sizeof chunk);
        if (got == 0) break;
        if (data.size() + got > limit) throw CPdfException("Object stream is too large");
        data.append(reinterpret_cast<const char*>(chunk), got);
    }
    if (data.size() > kObjectStreamLoadCost) objectStreamBudget_ -= data.size() - kObjectStreamLoadCost;
    cache->data = std::make_shared<const std::string>(std::move(data));
    CPdfDictionary* dict = stream.GetDict();
    if (dict == nullptr) return cache;
    const CPdfObject n = dict->lookup("N");
    const CPdfObject first = dict->lookup("First");
    // A header cannot name more members than the file has object numbers.
    if (!n.is(pdfInteger) || !first.is(pdfInteger) || n.getInt() > static_cast<int64_t>(entries_.size())) return cache;
    cache->ParseHeader(this, n.getInt(), first.getInt64());
    return cache;
}

std::optional<int32_t> CPdfXRef::FindMisplacedObject() const {
    std::vector<int32_t> placed;
    for (size_t i = 1; i < entries_.size(); ++i) {
        if (entries_[i].type == XRefEntryType::InUse && xrefStreamNumbers_.count(static_cast<int32_t>(i)) == 0)
            placed.push_back(static_cast<int32_t>(i));
    }
    // In file order, so that the reads move forward through the file, a few
    // kilobytes at a time past the source's caches where it can be read so.
    const auto offset = [this](int32_t number) { return entries_[static_cast<size_t>(number)].offset; };
    if (!std::is_sorted(placed.begin(), placed.end(), [&](int32_t a, int32_t b) { return offset(a) < offset(b); }))
        std::sort(placed.begin(), placed.end(), [&](int32_t a, int32_t b) { return offset(a) < offset(b); });
    CByteSource& file = *source();
    const bool direct = file.ReadConcurrently(0, nullptr, 0).has_value();
    constexpr size_t kHead = 40;
    std::vector<uint8_t> chunk(direct ? 4096 : kHead);
    uint64_t chunkStart = 0;
    size_t chunkSize = 0;
    for (const int32_t number : placed) {
        const XRefEntry& entry = entries_[static_cast<size_t>(number)];
        const int64_t position = FilePosition(entry.offset);
        std::string_view head;
        if (entry.offset >= 0 && position < static_cast<int64_t>(file.Size())) {
            const auto at = static_cast<uint64_t>(position);
            if (at < chunkStart || at + kHead > chunkStart + chunkSize) {
                chunkStart = at;
                chunkSize = direct ? *file.ReadConcurrently(at, chunk.data(), chunk.size())
                                   : file.Read(at, chunk.data(), chunk.size());
            }
            const size_t within = static_cast<size_t>(at - chunkStart);
            head = std::string_view(reinterpret_cast<const char*>(chunk.data()) + within,
                                    std::min(kHead, chunkSize - within));
        }
        if (!StartsWithHeader(head, number, entry.gen)) return number;
    }
    return std::nullopt;
}

void CPdfXRef::Rebuild() {
    located_ = {};
    base_ = file_->GetStart();
    intact_ = false;
    rebuilt_ = true;
    CXRefRepair scan(*source(), base_);
    scan.Scan();
    entries_ = std::move(scan.entries());
    scannedLengths_ = scan.dataLengths();
    // Cross-reference streams hold no content: only their dictionaries are read.
    for (const CXRefRepair::Found& found : scan.xrefStreams()) {
        XRefEntry& entry = entries_[static_cast<size_t>(found.number)];
        if (entry.type == XRefEntryType::InUse && FilePosition(entry.offset) == found.position) entry = {};
        xrefStreamNumbers_.insert(found.number);
    }
    for (const CXRefRepair::Found& found : scan.objectStreams()) AddObjectStreamMembers(found.number, found.position);
    ChooseTrailer(scan);
    CPdfDictionary& trailer = trailer_.getDict();
    root_ = trailer.lookupNF("Root").getRef();
    if (const CPdfObject info = trailer.lookupNF("Info"); info.is(pdfReference)) info_ = info.getRef();
    trailer.setXRef(this);
}

std::optional<int64_t> CPdfXRef::ScannedDataLength(int32_t number) const {
    const auto found = scannedLengths_.find(number);
    if (found == scannedLengths_.end()) return std::nullopt;
    return found->second;
}

void CPdfXRef::AddObjectStreamMembers(int32_t streamNumber, int64_t position) {
    const XRefEntry& stream = entries_[static_cast<size_t>(streamNumber)];
    // An object stream redefined later in the file is not this one.
    if (stream.type != XRefEntryType::InUse || FilePosition(stream.offset) != position) return;
    std::shared_ptr<const ObjectStreamCache> members;
    try {
        members = ObjectStream(streamNumber);
    } catch (const CPdfException&) {
        return;
    }
    for (int32_t index = 0; index < members->count; ++index) {
        const int32_t number = members->objectNumbers[static_cast<size_t>(index)];
        if (number <= 0 || number > kMaxObjectNumber || number == streamNumber) continue;
        Grow(int64_t{number} + 1);
        XRefEntry& entry = entries_[static_cast<size_t>(number)];
        if (entry.type != XRefEntryType::InUse || FilePosition(entry.offset) < position)
            entry = {streamNumber, index, XRefEntryType::Compressed};
    }
}

void CPdfXRef::ChooseTrailer(const CXRefRepair& scan) {
    // The newest first: classic trailers and cross-reference streams by position.
    std::vector<std::pair<int64_t, bool>> candidates;
    for (const int64_t position : scan.trailers()) candidates.emplace_back(position, false);
    for (const CXRefRepair::Found& found : scan.xrefStreams()) candidates.emplace_back(found.position, true);
    std::sort(candidates.rbegin(), candidates.rend());
    if (candidates.size() > CXRefRepair::kKeptTrailers) candidates.resize(CXRefRepair::kKeptTrailers);
    CPdfObject newest;
    for (const auto& [position, isStream] : candidates) {
        const CPdfObject dictionary = TrailerAt(position, isStream);
        if (!dictionary.is(pdfDictionary)) continue;
        if (!newest.is(pdfDictionary)) newest = dictionary;
        if (IsCatalog(dictionary.getDict().lookupNF("Root"))) {
            trailer_ = dictionary;
            return;
        }
    }
    const std::optional<PdfReference> root = FindCatalogByType();
    if (!root) throw CPdfException("PDF file was damaged");
    auto trailer = std::make_shared<CPdfDictionary>(this);
    trailer->add("Root", CPdfObject::Reference(root->number, root->generation));
    if (newest.is(pdfDictionary))
        for (const auto& [key, value] : newest.getDict().entries()) trailer->add(key, value);
    trailer_ = CPdfObject::FromDictionary(std::move(trailer));
}

CPdfObject CPdfXRef::TrailerAt(int64_t position, bool isStream) {
    try {
        CPdfParser parser(this, std::make_shared<CPdfFileStream>(source(), position, 0, CPdfObject::Null()));
        if (!isStream) return parser.GetObj();
        parser.GetObj();
        parser.GetObj();
        if (!parser.GetObj().isKeyword("obj")) return CPdfObject::Null();
        const CPdfObject value = parser.GetObj();
        if (!value.is(pdfStream) || value.getStream().GetDict() == nullptr) return CPdfObject::Null();
        return CPdfObject::FromDictionary(value.getStream().GetDict()->shared_from_this());
    } catch (const CPdfException&) {
        return CPdfObject::Null();
    }
}

bool CPdfXRef::IsCatalog(const CPdfObject& root) {
    if (!root.is(pdfReference)) return false;
    try {
        const CPdfObject catalog = Fetch(root.getRef().number, root.getRef().generation);
        return catalog.is(pdfDictionary) && catalog.getDict().lookup("Pages").is(pdfDictionary);
    } catch (const CPdfException&) {
        return false;
    }
}

std::optional<PdfReference> CPdfXRef::FindCatalogByType() {
    std::optional<PdfReference> found;
    int64_t foundAt = -1;
    for (size_t i = 1; i < entries_.size(); ++i) {
        const XRefEntry& entry = entries_[i];
        // Where the object is defined: its own position, or its object stream's.
        int64_t at = entry.offset;
        if (entry.type == XRefEntryType::Compressed) {
            if (entry.offset < 0 || static_cast<size_t>(entry.offset) >= entries_.size()) continue;
            at = entries_[static_cast<size_t>(entry.offset)].offset;
        } else if (entry.type != XRefEntryType::InUse) {
            continue;
        }
        const PdfReference reference{static_cast<int32_t>(i), GenerationOf(static_cast<int32_t>(i))};
        if (at <= foundAt) continue;
        try {
            const CPdfObject value = Fetch(reference.number, reference.generation);
            if (!value.is(pdfDictionary) || !value.getDict().isType("Catalog")) continue;
        } catch (const CPdfException&) {
            continue;
        }
        if (!IsCatalog(CPdfObject::Reference(reference.number, reference.generation))) continue;
        found = reference;
        foundAt = at;
    }
    return found;
}
