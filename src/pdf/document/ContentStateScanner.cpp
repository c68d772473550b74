#include "pdf/document/ContentStateScanner.h"

#include <algorithm>
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

bool IsWhite(int c) { return c == 0 || c == '\t' || c == '\n' || c == '\f' || c == '\r' || c == ' '; }

bool IsDelimiter(int c) {
    switch (c) {
        case '(': case ')': case '<': case '>': case '[': case ']': case '{': case '}': case '/': case '%':
            return true;
        default:
            return false;
    }
}

bool IsRegular(int c) { return c >= 0 && !IsWhite(c) && !IsDelimiter(c); }

// The decoded bytes, no more than the budget allows.
class BudgetedReader {
public:
    BudgetedReader(CPdfStream& stream, uint64_t& budget) : stream_(stream), budget_(budget) {}

    int Get() {
        if (budget_ == 0) {
            exhausted_ = stream_.LookChar() >= 0;
            return -1;
        }
        const int c = stream_.GetChar();
        if (c >= 0) --budget_;
        return c;
    }
    int Look() { return budget_ == 0 ? -1 : stream_.LookChar(); }
    bool exhausted() const { return exhausted_; }

private:
    CPdfStream& stream_;
    uint64_t& budget_;
    bool exhausted_ = false;
};

// The operators and operands of content, one regular token at a time:
// strings, names, comments and other delimiters are passed over.
class ContentTokens {
public:
    explicit ContentTokens(BudgetedReader& reader) : reader_(reader) {}

    // The next regular token (its first three bytes; a longer token matches
    // no operator looked for); false at the end of the data.
    bool Next() {
        for (;;) {
            int c = reader_.Get();
            if (c < 0) return false;
            if (IsWhite(c)) continue;
            switch (c) {
                case '%':
                    while ((c = reader_.Look()) >= 0 && c != '\n' && c != '\r') reader_.Get();
                    continue;
                case '(':
                    SkipLiteralString();
                    continue;
                case '<':
                    if (reader_.Look() == '<') {
                        reader_.Get();
                    } else {
                        while ((c = reader_.Get()) >= 0 && c != '>') {}
                    }
                    continue;
                case '/':
                    while (IsRegular(reader_.Look())) reader_.Get();
                    continue;
                case ')': case '>': case '[': case ']': case '{': case '}':
                    continue;
                default:
                    break;
            }
            length_ = 0;
            Keep(c);
            while (IsRegular(reader_.Look())) Keep(reader_.Get());
            return true;
        }
    }

    bool Is(std::string_view op) const { return static_cast<size_t>(length_) == op.size() && Text() == op; }
    std::string_view Text() const { return {text_, static_cast<size_t>(std::min(length_, 3))}; }

    // Passes over the data of an inline image, after its "ID": one white
    // byte, then everything up to "EI" between white bytes (or the end).
    void SkipInlineImageData() {
        if (IsWhite(reader_.Look())) reader_.Get();
        int before = ' ';
        int last = ' ';
        for (int c; (c = reader_.Get()) >= 0;) {
            if (c == 'I' && last == 'E' && IsWhite(before)) {
                const int next = reader_.Look();
                if (next < 0 || IsWhite(next) || IsDelimiter(next)) return;
            }
            before = last;
            last = c;
        }
    }

private:
    void Keep(int c) {
        if (length_ < 3) text_[length_] = static_cast<char>(c);
        if (length_ < 4) ++length_;
    }

    void SkipLiteralString() {
        int depth = 1;
        for (int c; (c = reader_.Get()) >= 0;) {
            if (c == '\\') {
                reader_.Get();
            } else if (c == '(') {
                ++depth;
            } else if (c == ')' && --depth == 0) {
                return;
            }
        }
    }

    BudgetedReader& reader_;
    char text_[3] = {};
    int length_ = 0;
};

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

ContentStreamEffect ContentStateScanner::Scan(CPdfStream& stream, uint64_t& budget) {
    ContentStreamEffect effect;
    BudgetedReader reader(stream, budget);
    ContentTokens tokens(reader);
    int64_t depth = 0;
    while (tokens.Next()) {
        if (tokens.Is("q")) {
            ++depth;
        } else if (tokens.Is("Q")) {
            --depth;
            effect.lowestDepth = std::min(effect.lowestDepth, depth);
        } else if (tokens.Is("BI")) {
            while (tokens.Next() && !tokens.Is("ID")) {}
            tokens.SkipInlineImageData();
        } else if (ChangesState(tokens.Text())) {
            effect.lowestChangeDepth = std::min(effect.lowestChangeDepth, depth);
        }
    }
    effect.endDepth = depth;
    effect.undecodable = reader.exhausted() || stream.IsDamaged();
    return effect;
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
        if (stream.IsDecodable()) {
            effect = Scan(stream, budget_);
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
