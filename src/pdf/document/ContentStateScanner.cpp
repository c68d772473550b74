#include "pdf/document/ContentStateScanner.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <future>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "base/CThreadPool.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/CPdfStream.h"
#include "pdf/object/PdfSyntax.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/CPdfFlateStream.h"
#include "pdf/reader/CPdfXRef.h"

namespace {

// Decoding may produce this many bytes, and this many more for every byte
// of the file, over a whole run.
constexpr uint64_t kBaseBudget = 128u << 20;
constexpr uint64_t kBudgetPerFileByte = 16;
// Content decoded at a time, and at most in one stream.
constexpr uint64_t kReadStep = 64u << 10;
constexpr uint64_t kMaxStreamSize = 64u << 20;
// The scanner's threads decode this much together at most (a stream that
// decodes to more is left to the run's own thread), and each at least 1 MiB.
constexpr uint64_t kThreadsMemory = 64u << 20;
constexpr uint64_t kLeastThreadCap = 1u << 20;
// A thread keeps the room it decoded a stream into up to this size.
constexpr size_t kKeptThreadRoom = 4u << 20;
// A stream without a filter is worth a thread from this length on; shorter
// ones are scanned in less time than it takes to hand them over.
constexpr uint64_t kLongStream = 16 << 10;
// Deflated data handed to a thread is read whole; longer data is left to the
// run's own thread.
constexpr uint64_t kMaxDeflatedAhead = 16u << 20;

// What a byte starts: nothing (white space, a closing delimiter), an operand
// or operator, a comment, a literal string, a hex string or dictionary, a name.
enum : uint8_t { kNothing, kRegular, kComment, kString, kAngle, kName };

constexpr std::array<uint8_t, 256> MakeKinds() {
    std::array<uint8_t, 256> kinds{};
    kinds.fill(kRegular);
    for (int c = 0; c < 256; ++c)
        if (!IsPdfRegular(c)) kinds[static_cast<size_t>(c)] = kNothing;
    kinds['%'] = kComment;
    kinds['('] = kString;
    kinds['<'] = kAngle;
    kinds['/'] = kName;
    return kinds;
}
constexpr std::array<uint8_t, 256> kKinds = MakeKinds();

constexpr bool IsRegular(uint8_t c) { return kKinds[c] == kRegular; }

// Past the data of an inline image, after its "ID": one white byte, then
// everything through "EI" between white bytes (or the end of the data).
const uint8_t* SkipInlineImageData(const uint8_t* p, const uint8_t* end) {
    if (p < end && IsPdfWhite(*p)) ++p;
    while (end - p >= 2) {
        const auto* e = static_cast<const uint8_t*>(std::memchr(p, 'E', static_cast<size_t>(end - p - 1)));
        if (e == nullptr) break;
        if (e[1] == 'I' && IsPdfWhite(e[-1]) && (e + 2 == end || !IsRegular(e[2]))) return e + 2;
        p = e + 1;
    }
    return end;
}

// An operator of one to three bytes as a number: the first byte, and each
// next one above it.
template <size_t N>
constexpr uint32_t Op(const char (&name)[N]) {
    static_assert(N >= 2 && N <= 4);
    uint32_t op = 0;
    for (size_t i = 0; i + 1 < N; ++i) op |= static_cast<uint32_t>(static_cast<uint8_t>(name[i])) << (8 * i);
    return op;
}

// What operator `op` does to the stack depth, to the effect, and whether it
// begins an inline image.
void Apply(uint32_t op, int64_t& depth, bool& inlineImage, ContentStreamEffect& effect) {
    switch (op) {
        case Op("q"):
            ++depth;
            break;
        case Op("Q"):
            --depth;
            effect.lowestDepth = std::min(effect.lowestDepth, depth);
            break;
        case Op("BI"):
            inlineImage = true;
            break;
        case Op("BT"):
            effect.textObject = TextObjectEnd::Open;
            break;
        case Op("ET"):
            effect.textObject = TextObjectEnd::Closed;
            break;
        case Op("BMC"):
        case Op("BDC"):
            ++effect.markedEndDepth;
            break;
        case Op("EMC"):
            --effect.markedEndDepth;
            effect.markedLowestDepth = std::min(effect.markedLowestDepth, effect.markedEndDepth);
            break;
        case Op("cm"):
        case Op("W"):
        case Op("W*"):
        case Op("gs"):
        case Op("Tc"):
        case Op("Tw"):
        case Op("Tz"):
        case Op("TL"):
        case Op("Ts"):
        case Op("Tr"):
            effect.lowestChangeDepth = std::min(effect.lowestChangeDepth, depth);
            break;
        default:
            break;
    }
}

// The bytes a file stream from `start` on, `length` long (0: to the end of
// the file), reads from a file of `size` bytes: where they begin and how many.
std::pair<uint64_t, uint64_t> FileRange(int64_t start, int64_t length, uint64_t size) {
    const auto from = static_cast<uint64_t>(std::max<int64_t>(start, 0));
    uint64_t available = UINT64_MAX;
    if (length != 0) {
        int64_t end = 0;
        if (__builtin_add_overflow(start, length, &end)) end = length < 0 ? INT64_MIN : INT64_MAX;
        if (end <= static_cast<int64_t>(from)) return {from, 0};
        available = static_cast<uint64_t>(end) - from;
    }
    return {from, from >= size ? 0 : std::min(available, size - from)};
}

int64_t KeyOf(int32_t number, int32_t generation) {
    return (static_cast<int64_t>(number) << 32) | static_cast<uint32_t>(generation);
}

}  // namespace

struct ContentStateScanner::Decoder {
    InflateBuffer buffer;
};

struct ContentStateScanner::Decoded {
    // The data, the first `length` bytes of the buffer, is all the stream holds.
    bool whole = false;
    size_t length = 0;
    // Decoding stopped at its cap rather than at the data's end or the budget.
    bool capped = false;
};

struct ContentStateScanner::Ahead {
    // The stream's start and length as its file stream has them, the bytes
    // that stream reads (count from offset), and whether they are deflated.
    int64_t length = 0;
    uint64_t offset = 0;
    uint64_t count = 0;
    bool deflated = false;
    // What the thread found, and what it consumed of an unlimited budget;
    // no effect when the thread could not tell (the run's thread decodes it).
    std::optional<ContentStreamEffect> effect;
    uint64_t consumed = 0;
    std::promise<void> done;
    std::future<void> finished = done.get_future();
};

ContentStateScanner::ContentStateScanner(CPdfXRef& xref, uint64_t fileSize, size_t threads)
    : xref_(xref),
      budget_(fileSize > (UINT64_MAX - kBaseBudget) / kBudgetPerFileByte ? UINT64_MAX
                                                                         : kBaseBudget + fileSize * kBudgetPerFileByte),
      decoder_(std::make_unique<Decoder>()),
      source_(xref.source()) {
    threads = CThreadPool::ThreadsFor(threads);
    if (threads <= 1 || !source_ || !source_->ReadConcurrently(0, nullptr, 0)) return;
    threadCap_ = std::clamp<uint64_t>(kThreadsMemory / threads, kLeastThreadCap, kMaxStreamSize);
    for (size_t i = 0; i < threads; ++i) threadDecoders_.push_back(std::make_unique<Decoder>());
    pool_ = std::make_unique<CThreadPool>(threads);
}

ContentStateScanner::~ContentStateScanner() = default;

ContentStreamEffect ContentStateScanner::Scan(std::string_view data) {
    ContentStreamEffect effect;
    int64_t depth = 0;
    bool inlineImage = false;
    const auto* p = reinterpret_cast<const uint8_t*>(data.data());
    const uint8_t* const end = p + data.size();
    while (p < end) {
        const uint8_t c = *p++;
        switch (kKinds[c]) {
            case kNothing:
                continue;
            case kComment:
                while (p < end && *p != '\n' && *p != '\r') ++p;
                continue;
            case kString:
                p = SkipLiteralString(p, end);
                continue;
            case kAngle:
                p = p < end && *p == '<' ? p + 1 : SkipHexString(p, end);
                continue;
            case kName:
                while (p < end && IsRegular(*p)) ++p;
                continue;
            default:
                break;
        }
        // An operator or operand: only one to three bytes long ones matter.
        const uint8_t* const token = p - 1;
        while (p < end && IsRegular(*p)) ++p;
        if (p - token > 3) continue;
        uint32_t op = c;
        for (const uint8_t* next = token + 1; next < p; ++next)
            op |= static_cast<uint32_t>(*next) << (8 * static_cast<uint32_t>(next - token));
        if (inlineImage) {
            if (op == Op("ID")) {
                p = SkipInlineImageData(p, end);
                inlineImage = false;
            }
            continue;
        }
        Apply(op, depth, inlineImage, effect);
    }
    effect.endDepth = depth;
    return effect;
}

ContentStateScanner::Decoded ContentStateScanner::Decode(Decoder& decoder, CPdfStream& stream,
                                                         const std::function<std::shared_ptr<CPdfStream>()>& again,
                                                         uint64_t budget, uint64_t cap, uint64_t& consumed) {
    auto* flate = dynamic_cast<CPdfFlateStream*>(&stream);
    if (flate == nullptr || !flate->CanInflateAll()) return ReadInSteps(decoder, stream, budget, cap, consumed);
    const auto limit = static_cast<size_t>(std::min(budget, cap));
    size_t length = 0;
    switch (flate->InflateAll(decoder.buffer, limit, length)) {
        case CPdfFlateStream::Whole::Ended:
            consumed += length;
            return {true, length, false};
        case CPdfFlateStream::Whole::BeyondLimit:
            consumed += limit;
            return {false, 0, limit == cap};
        case CPdfFlateStream::Whole::Unsure:
            break;
    }
    // Damaged or cut-short data: what reading a fresh copy delivers, step by
    // step, counts against the budget.
    const std::shared_ptr<CPdfStream> fresh = again();
    if (!fresh) return {};
    return ReadInSteps(decoder, *fresh, budget, cap, consumed);
}

ContentStateScanner::Decoded ContentStateScanner::ReadInSteps(Decoder& decoder, CPdfStream& stream, uint64_t budget,
                                                              uint64_t cap, uint64_t& consumed) {
    std::vector<uint8_t>& buffer = decoder.buffer.bytes;
    const uint64_t first = consumed;
    size_t length = 0;
    for (;;) {
        const auto room =
            static_cast<size_t>(std::min<uint64_t>({kReadStep, budget - (consumed - first), cap - length}));
        if (room == 0) return {stream.LookChar() < 0 && !stream.IsDamaged(), length, length == cap};
        if (buffer.size() < length + room) buffer.resize(length + room);
        const size_t got = stream.Read(buffer.data() + length, room);
        length += got;
        consumed += got;
        if (got < room) return {!stream.IsDamaged(), length, false};
    }
}

std::optional<ContentStreamEffect> ContentStateScanner::TakeAhead(int64_t key) {
    const auto found = ahead_.find(key);
    if (found == ahead_.end()) return std::nullopt;
    const std::shared_ptr<Ahead> ahead = std::move(found->second);
    ahead_.erase(found);
    ahead->finished.wait();
    // Decoding in its turn, with the budget left, would have gone the same
    // way only if it consumed less than that.
    if (!ahead->effect || ahead->consumed >= budget_) return std::nullopt;
    budget_ -= ahead->consumed;
    return ahead->effect;
}

const std::optional<ContentStreamEffect>& ContentStateScanner::EffectOf(int32_t number, int32_t generation) {
    const int64_t key = KeyOf(number, generation);
    if (const auto found = effects_.find(key); found != effects_.end()) return found->second;
    std::optional<ContentStreamEffect>& effect = effects_[key];
    if (number < 0 || static_cast<size_t>(number) >= xref_.entries().size()) return effect;
    if ((effect = TakeAhead(key))) return effect;
    CPdfObject value;
    if (const auto read = read_.find(key); read != read_.end()) {
        value = std::move(read->second);
        read_.erase(read);
    }
    uint64_t consumed = 0;
    try {
        if (!value.is(pdfStream)) value = xref_.Fetch(number, generation);
        if (!value.is(pdfStream)) {
            // An object that does not parse may be a stream that viewers
            // still draw, as they see it.
            if (value.is(pdfError)) effect.emplace().undecodable = true;
            return effect;
        }
        CPdfStream& stream = value.getStream();
        const auto again = [this, number, generation]() -> std::shared_ptr<CPdfStream> {
            const CPdfObject fresh = xref_.Fetch(number, generation);
            return fresh.is(pdfStream) ? fresh.streamPtr() : nullptr;
        };
        const Decoded decoded =
            stream.IsDecodable() ? Decode(*decoder_, stream, again, budget_, kMaxStreamSize, consumed) : Decoded{};
        if (decoded.whole) {
            effect = Scan({reinterpret_cast<const char*>(decoder_->buffer.bytes.data()), decoded.length});
        } else {
            effect.emplace().undecodable = true;
        }
    } catch (const CPdfException&) {
        // A stream that cannot be read draws what a viewer makes of it.
        effect.emplace().undecodable = true;
    }
    budget_ -= consumed;
    return effect;
}

void ContentStateScanner::Prepare(const CPdfDictionary& page) {
    if (!pool_) return;
    const CPdfObject stored = page.lookupNF("Contents");
    CPdfObject contents = stored;
    if (stored.is(pdfReference)) {
        if (Known(stored)) return;
        std::optional<CPdfObject> value = ReadAhead(stored);
        if (!value) return;
        if (value->is(pdfStream)) {
            PrepareStream(stored, std::move(*value));
            return;
        }
        contents = std::move(*value);
    }
    if (!contents.is(pdfArray)) return;
    for (size_t i = 0; i < contents.getArray().getLength(); ++i) {
        const CPdfObject& element = contents.getArray().getNF(i);
        if (Known(element)) continue;
        if (std::optional<CPdfObject> value = ReadAhead(element)) PrepareStream(element, std::move(*value));
    }
}

std::optional<CPdfObject> ContentStateScanner::ReadAhead(const CPdfObject& reference) {
    if (!reference.is(pdfReference)) return std::nullopt;
    try {
        return xref_.FetchOutsideObjectStreams(reference.getRef().number, reference.getRef().generation);
    } catch (const CPdfException&) {
        // Read in its turn.
        return std::nullopt;
    }
}

bool ContentStateScanner::Known(const CPdfObject& reference) const {
    if (!reference.is(pdfReference)) return false;
    const int64_t key = KeyOf(reference.getRef().number, reference.getRef().generation);
    const auto effect = effects_.find(key);
    return (effect != effects_.end() && effect->second) || ahead_.count(key) != 0 || read_.count(key) != 0;
}

void ContentStateScanner::PrepareStream(const CPdfObject& reference, CPdfObject value) {
    const int64_t key = KeyOf(reference.getRef().number, reference.getRef().generation);
    if (!value.is(pdfStream) || Known(reference)) return;
    std::optional<Ahead> ahead = AheadOf(value.getStream());
    if (!ahead) {
        read_.emplace(key, std::move(value));
        return;
    }
    auto shared = std::make_shared<Ahead>(std::move(*ahead));
    ahead_.emplace(key, shared);
    ++handedOver_;
    pool_->Submit([this, shared](size_t thread) { ScanAhead(*shared, thread); });
}

std::optional<ContentStateScanner::Ahead> ContentStateScanner::AheadOf(CPdfStream& stream) const {
    // Streams read from the file as they are, or inflated without a predictor.
    CPdfStream* data = &stream;
    auto* flate = dynamic_cast<CPdfFlateStream*>(data);
    if (flate != nullptr) {
        if (!flate->CanInflateAll()) return std::nullopt;
        data = flate->underlying().get();
    }
    auto* file = dynamic_cast<CPdfFileStream*>(data);
    if (file == nullptr || file->source() != source_) return std::nullopt;
    const auto [offset, count] = FileRange(file->GetStart(), file->GetLength(), file->source()->Size());
    if (flate != nullptr ? count > kMaxDeflatedAhead : count < kLongStream || count > threadCap_) return std::nullopt;
    Ahead ahead;
    ahead.length = file->GetLength();
    ahead.offset = offset;
    ahead.count = count;
    ahead.deflated = flate != nullptr;
    return ahead;
}

void ContentStateScanner::ScanAhead(Ahead& ahead, size_t thread) {
    try {
        Decoder& decoder = *threadDecoders_[thread];
        // The stream's bytes, read straight from the file, stand in for it.
        auto bytes = std::make_shared<std::string>(static_cast<size_t>(ahead.count), '\0');
        const std::optional<size_t> got =
            source_->ReadConcurrently(ahead.offset, reinterpret_cast<uint8_t*>(bytes->data()), bytes->size());
        bytes->resize(got.value_or(0));
        const auto source = std::make_shared<CMemoryByteSource>(std::shared_ptr<const std::string>(std::move(bytes)));
        const auto open = [&ahead, &source]() -> std::shared_ptr<CPdfStream> {
            auto file = std::make_shared<CPdfFileStream>(source, 0, ahead.length, CPdfObject::Null());
            if (!ahead.deflated) return file;
            return std::make_shared<CPdfFlateStream>(std::move(file), 1, 1, 1, 8);
        };
        const std::shared_ptr<CPdfStream> stream = open();
        const Decoded decoded = Decode(decoder, *stream, open, UINT64_MAX, threadCap_, ahead.consumed);
        // Beyond the thread's cap, what is decoded in its turn may differ.
        if (!decoded.capped || threadCap_ >= kMaxStreamSize) {
            if (decoded.whole) {
                ahead.effect = Scan({reinterpret_cast<const char*>(decoder.buffer.bytes.data()), decoded.length});
            } else {
                ahead.effect.emplace().undecodable = true;
            }
        }
    } catch (...) {
        // Anything that goes wrong here is met again, or not, in its turn.
        ahead.effect.reset();
    }
    // A thread keeps little room between streams.
    std::vector<uint8_t>& room = threadDecoders_[thread]->buffer.bytes;
    if (room.size() > kKeptThreadRoom) std::vector<uint8_t>().swap(room);
    ahead.done.set_value();
}

ContentState ContentStateScanner::PageState(const CPdfDictionary& page) {
    std::vector<const ContentStreamEffect*> streams;
    const auto add = [this, &streams](const CPdfObject& element) {
        if (!element.is(pdfReference)) return false;
        const std::optional<ContentStreamEffect>& effect =
            EffectOf(element.getRef().number, element.getRef().generation);
        if (effect) streams.push_back(&*effect);
        return effect.has_value();
    };
    const CPdfObject stored = page.lookupNF("Contents");
    CPdfObject array;
    if (stored.is(pdfArray)) {
        array = stored;
    } else if (!add(stored) && stored.is(pdfReference)) {
        array = page.lookup("Contents");
    }
    if (array.is(pdfArray)) {
        for (size_t i = 0; i < array.getArray().getLength(); ++i) add(array.getArray().getNF(i));
    }

    return Combine(streams);
}

ContentState ContentStateScanner::Combine(const std::vector<const ContentStreamEffect*>& streams) {
    ContentState state;
    int64_t depth = 0;
    int64_t marked = 0;
    bool text = false;
    for (const ContentStreamEffect* effect : streams) {
        if (effect->undecodable) {
            state.changed = true;
            continue;
        }
        // A Q without its q, or a change made at the page's own level. A
        // viewer ignores a Q (or an EMC) that finds nothing to close.
        if (depth + effect->lowestDepth < 0) {
            state.changed = true;
            state.unmatchedRestores -= depth + effect->lowestDepth;
        }
        if (effect->lowestChangeDepth != ContentStreamEffect::kNone && depth + effect->lowestChangeDepth <= 0)
            state.changed = true;
        depth = effect->endDepth + std::max(depth, -effect->lowestDepth);
        marked = effect->markedEndDepth + std::max(marked, -effect->markedLowestDepth);
        if (effect->textObject != TextObjectEnd::Unchanged) text = effect->textObject == TextObjectEnd::Open;
    }
    if (depth != 0) state.changed = true;
    state.openNesting = depth;
    state.openMarkedContent = marked;
    state.textObjectOpen = text;
    return state;
}
