#include "pdf/document/ContentStateScanner.h"

#include <algorithm>
#include <array>
#include <vector>

#include "app/CPdfException.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfStream.h"
#include "pdf/reader/CPdfXRef.h"

namespace {

// Decoding may produce this many bytes, and this many more for every byte
// of the file, over a whole run.
constexpr uint64_t kBaseBudget = 128u << 20;
constexpr uint64_t kBudgetPerFileByte = 16;
// Content decoded at a time, and at most in one stream.
constexpr uint64_t kReadStep = 64u << 10;
constexpr uint64_t kMaxStreamSize = 64u << 20;

// Byte classes: regular, white space, delimiter.
enum : uint8_t { kRegular = 0, kWhite = 1, kDelimiter = 2 };

constexpr std::array<uint8_t, 256> MakeClasses() {
    std::array<uint8_t, 256> classes{};
    for (const unsigned char c : {'\0', '\t', '\n', '\f', '\r', ' '}) classes[c] = kWhite;
    for (const unsigned char c : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'}) classes[c] = kDelimiter;
    return classes;
}
constexpr std::array<uint8_t, 256> kClasses = MakeClasses();

bool IsWhite(uint8_t c) { return kClasses[c] == kWhite; }
bool IsRegular(uint8_t c) { return kClasses[c] == kRegular; }

// Past a literal string whose "(" was just read.
const uint8_t* SkipLiteralString(const uint8_t* p, const uint8_t* end) {
    int depth = 1;
    for (; p < end; ++p) {
        if (*p == '\\') {
            ++p;
        } else if (*p == '(') {
            ++depth;
        } else if (*p == ')' && --depth == 0) {
            return p + 1;
        }
    }
    return end;
}

// Past the data of an inline image, after its "ID": one white byte, then
// everything through "EI" between white bytes (or the end of the data).
const uint8_t* SkipInlineImageData(const uint8_t* p, const uint8_t* end) {
    if (p < end && IsWhite(*p)) ++p;
    for (; p + 1 < end; ++p) {
        if (p[0] == 'E' && p[1] == 'I' && IsWhite(p[-1]) && (p + 2 == end || !IsRegular(p[2]))) return p + 2;
    }
    return end;
}

bool ChangesState(std::string_view op) {
    static constexpr std::string_view kOperators[] = {"cm", "W", "W*", "gs", "Tc", "Tw", "Tz", "TL", "Ts", "Tr"};
    return std::find(std::begin(kOperators), std::end(kOperators), op) != std::end(kOperators);
}

int64_t KeyOf(int32_t number, int32_t generation) {
    return (static_cast<int64_t>(number) << 32) | static_cast<uint32_t>(generation);
}

}  // namespace

ContentStateScanner::ContentStateScanner(CPdfXRef& xref, uint64_t fileSize)
    : xref_(xref),
      budget_(fileSize > (UINT64_MAX - kBaseBudget) / kBudgetPerFileByte ? UINT64_MAX
                                                                         : kBaseBudget + fileSize * kBudgetPerFileByte) {}

ContentStreamEffect ContentStateScanner::Scan(std::string_view data) {
    ContentStreamEffect effect;
    int64_t depth = 0;
    bool inlineImage = false;
    const auto* p = reinterpret_cast<const uint8_t*>(data.data());
    const uint8_t* const end = p + data.size();
    while (p < end) {
        const uint8_t c = *p++;
        switch (c) {
            case '%':
                while (p < end && *p != '\n' && *p != '\r') ++p;
                continue;
            case '(':
                p = SkipLiteralString(p, end);
                continue;
            case '<':
                if (p < end && *p == '<') {
                    ++p;
                } else {
                    while (p < end && *p++ != '>') {}
                }
                continue;
            case '/':
                while (p < end && IsRegular(*p)) ++p;
                continue;
            default:
                if (!IsRegular(c)) continue;
                break;
        }
        // An operator or operand: only one or two bytes long ones matter.
        const uint8_t* const token = p - 1;
        while (p < end && IsRegular(*p)) ++p;
        const auto length = p - token;
        if (length > 2) continue;
        const std::string_view op(reinterpret_cast<const char*>(token), static_cast<size_t>(length));
        if (inlineImage) {
            if (op == "ID") {
                p = SkipInlineImageData(p, end);
                inlineImage = false;
            }
        } else if (op == "q") {
            ++depth;
        } else if (op == "Q") {
            --depth;
            effect.lowestDepth = std::min(effect.lowestDepth, depth);
        } else if (op == "BI") {
            inlineImage = true;
        } else if (ChangesState(op)) {
            effect.lowestChangeDepth = std::min(effect.lowestChangeDepth, depth);
        }
    }
    effect.endDepth = depth;
    return effect;
}

bool ContentStateScanner::Decode(CPdfStream& stream) {
    data_.clear();
    for (;;) {
        const size_t room = static_cast<size_t>(std::min<uint64_t>({kReadStep, budget_, kMaxStreamSize - data_.size()}));
        if (room == 0) return stream.LookChar() < 0 && !stream.IsDamaged();
        const size_t at = data_.size();
        data_.resize(at + room);
        const size_t got = stream.Read(reinterpret_cast<uint8_t*>(data_.data() + at), room);
        data_.resize(at + got);
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
        if (!value.is(pdfStream)) return effect;
        CPdfStream& stream = value.getStream();
        if (stream.IsDecodable() && Decode(stream)) {
            effect = Scan(data_);
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
        const std::optional<ContentStreamEffect>& effect = EffectOf(element.getRef().number, element.getRef().generation);
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

    ContentState state;
    int64_t depth = 0;
    for (const ContentStreamEffect* effect : streams) {
        if (effect->undecodable) {
            state.changed = true;
            continue;
        }
        // A Q without its q, or a change made at the page's own level.
        if (depth + effect->lowestDepth < 0) state.changed = true;
        if (effect->lowestChangeDepth != ContentStreamEffect::kNone && depth + effect->lowestChangeDepth <= 0)
            state.changed = true;
        depth = effect->endDepth + std::max(depth, -effect->lowestDepth);
    }
    if (depth != 0) state.changed = true;
    state.openNesting = static_cast<int32_t>(std::min<int64_t>(depth, ContentState::kMaxOpenNesting));
    return state;
}
