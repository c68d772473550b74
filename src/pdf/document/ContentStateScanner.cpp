#include "pdf/document/ContentStateScanner.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "base/CPdfException.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/CPdfStream.h"
#include "pdf/object/PdfSyntax.h"
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

int64_t KeyOf(int32_t number, int32_t generation) {
    return (static_cast<int64_t>(number) << 32) | static_cast<uint32_t>(generation);
}

}  // namespace

ContentStateScanner::ContentStateScanner(CPdfXRef& xref, uint64_t fileSize)
    : xref_(xref),
      budget_(fileSize > (UINT64_MAX - kBaseBudget) / kBudgetPerFileByte
                  ? UINT64_MAX
                  : kBaseBudget + fileSize * kBudgetPerFileByte) {}

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

bool ContentStateScanner::Decode(int32_t number, int32_t generation, CPdfStream& stream, size_t& length) {
    auto* flate = dynamic_cast<CPdfFlateStream*>(&stream);
    if (flate == nullptr || !flate->CanInflateAll()) return ReadInSteps(stream, length);
    const auto limit = static_cast<size_t>(std::min(budget_, kMaxStreamSize));
    switch (flate->InflateAll(buffer_, limit, length)) {
        case CPdfFlateStream::Whole::Ended:
            budget_ -= length;
            return true;
        case CPdfFlateStream::Whole::BeyondLimit:
            budget_ -= limit;
            return false;
        case CPdfFlateStream::Whole::Unsure:
            break;
    }
    // Damaged or cut-short data: what reading a fresh copy delivers, step by
    // step, counts against the budget.
    const CPdfObject again = xref_.Fetch(number, generation);
    return again.is(pdfStream) && ReadInSteps(again.getStream(), length);
}

bool ContentStateScanner::ReadInSteps(CPdfStream& stream, size_t& length) {
    length = 0;
    for (;;) {
        const auto room = static_cast<size_t>(std::min<uint64_t>({kReadStep, budget_, kMaxStreamSize - length}));
        if (room == 0) return stream.LookChar() < 0 && !stream.IsDamaged();
        if (buffer_.size() < length + room) buffer_.resize(length + room);
        const size_t got = stream.Read(buffer_.data() + length, room);
        length += got;
        budget_ -= got;
        if (got < room) return !stream.IsDamaged();
    }
}

const std::optional<ContentStreamEffect>& ContentStateScanner::EffectOf(int32_t number, int32_t generation) {
    const int64_t key = KeyOf(number, generation);
    if (const auto found = effects_.find(key); found != effects_.end()) return found->second;
    std::optional<ContentStreamEffect>& effect = effects_[key];
    if (number < 0 || static_cast<size_t>(number) >= xref_.entries().size()) return effect;
    try {
        const CPdfObject value = xref_.Fetch(number, generation);
        if (!value.is(pdfStream)) {
            // An object that does not parse may be a stream that viewers
            // still draw, as they see it.
            if (value.is(pdfError)) effect.emplace().undecodable = true;
            return effect;
        }
        CPdfStream& stream = value.getStream();
        size_t length = 0;
        if (stream.IsDecodable() && Decode(number, generation, stream, length)) {
            effect = Scan({reinterpret_cast<const char*>(buffer_.data()), length});
        } else {
            effect.emplace().undecodable = true;
        }
    } catch (const CPdfException&) {
        // A stream that cannot be read draws what a viewer makes of it.
        effect.emplace().undecodable = true;
    }
    return effect;
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
