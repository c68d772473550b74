#include "stamp/OptionParser.h"

#include <charconv>
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "base/CPdfException.h"

namespace {

[[noreturn]] void Fail() { throw CPdfException("Error parameter"); }

// The largest side a picture may be drawn at: the largest page PDF allows.
constexpr int32_t kMaxPictureSide = 14400;

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// A BCP 47 language tag as it is spelled: a language of 2 to 8 letters, then
// subtags of 1 to 8 letters or digits, all joined by "-" ("ja", "zh-Hant",
// "sr-Latn-RS").
bool IsLanguageTag(std::string_view tag) {
    for (bool first = true;; first = false) {
        const size_t dash = tag.find('-');
        const std::string_view subtag = tag.substr(0, dash);
        if (subtag.empty() || subtag.size() > 8 || (first && subtag.size() < 2)) return false;
        for (const char c : subtag) {
            if (!IsLetter(c) && (first || c < '0' || c > '9')) return false;
        }
        if (dash == std::string_view::npos) return true;
        tag.remove_prefix(dash + 1);
    }
}

bool IsNotEmpty(std::string_view text) { return !text.empty(); }

// A whole number of 32 bits from `at` on: white space, an optional sign and
// decimal digits; `at` ends after it.
std::optional<int32_t> WholeNumber(std::string_view text, size_t& at) {
    while (at < text.size() && IsSpace(text[at])) ++at;
    const bool negative = at < text.size() && text[at] == '-';
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return std::nullopt;
    int64_t magnitude = 0;
    const auto [end, error] = std::from_chars(text.data() + at, text.data() + text.size(), magnitude);
    const int64_t value = negative ? -magnitude : magnitude;
    if (error != std::errc() || value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    at = static_cast<size_t>(end - text.data());
    return static_cast<int32_t>(value);
}

// Walks the parameter words. Flags and string options are their words
// exactly. A word that begins with a number option's word, followed by
// anything but a letter (-s3, -s, -s.5, not -seq), is that option, and so is
// a word that begins with "-color": its value must have the option's form.
// Other words are ignored. A string option takes the following word whatever
// it is.
class CWordWalker {
public:
    CWordWalker(const std::vector<std::string>& words, size_t minimum, std::string& inputFile, std::string& outputFile)
        : words_(words) {
        if (words.size() < minimum) Fail();
        inputFile = words[0];
        outputFile = words[1];
    }
    // An input file and no output file.
    CWordWalker(const std::vector<std::string>& words, std::string& inputFile) : words_(words), index_(0) {
        if (words.empty()) Fail();
        inputFile = words[0];
    }

    bool Next() {
        if (++index_ >= words_.size()) return false;
        if (words_[index_].empty() || words_[index_][0] != '-') Fail();
        return true;
    }
    const std::string& word() const { return words_[index_]; }

    bool Int(std::string_view option, int32_t& target) const {
        if (!Names(option)) return false;
        const std::string_view value = std::string_view(word()).substr(option.size());
        size_t at = 0;
        const std::optional<int32_t> number = WholeNumber(value, at);
        if (!number || at != value.size()) Fail();
        target = *number;
        return true;
    }
    bool Pair(std::string_view option, int32_t& first, int32_t& second) const {
        if (!Names(option)) return false;
        const std::string_view value = std::string_view(word()).substr(option.size());
        size_t at = 0;
        const std::optional<int32_t> a = WholeNumber(value, at);
        if (!a || at >= value.size() || value[at] != ',') Fail();
        const std::optional<int32_t> b = WholeNumber(value, ++at);
        if (!b || at != value.size()) Fail();
        first = *a;
        second = *b;
        return true;
    }
    // Six hexadecimal digits, after "0x" or "0X" or not.
    bool Color(std::string_view option, uint32_t& target) const {
        if (word().compare(0, option.size(), option) != 0) return false;
        std::string_view digits = std::string_view(word()).substr(option.size());
        if (digits.size() == 8 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.remove_prefix(2);
        uint32_t value = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
        if (digits.size() != 6 || error != std::errc() || end != digits.data() + digits.size()) Fail();
        target = value;
        return true;
    }
    bool Flag(std::string_view option, bool& target) const {
        if (word() != option) return false;
        target = true;
        return true;
    }
    bool Text(std::string_view option, std::string& target) {
        if (word() != option) return false;
        if (index_ + 1 >= words_.size()) Fail();
        target = words_[++index_];
        return true;
    }
    // A string option whose value must pass `valid`.
    bool Checked(std::string_view option, std::string& target, bool (*valid)(std::string_view)) {
        std::string value;
        if (!Text(option, value)) return false;
        if (!valid(value)) Fail();
        target = std::move(value);
        return true;
    }
    bool Align(std::string_view option, Alignment& target) {
        std::string named;
        if (!Text(option, named)) return false;
        target = AlignmentOf(named);
        return true;
    }

private:
    // The word begins with `option` ("-s") and no letter follows.
    bool Names(std::string_view option) const {
        return word().compare(0, option.size(), option) == 0 &&
               (word().size() == option.size() || !IsLetter(word()[option.size()]));
    }

    const std::vector<std::string>& words_;
    size_t index_ = 1;
};

// Text mode's parameters; a word that `own` takes is not tried against them.
void WalkTextParams(CWordWalker& w, TextStampOptions& o, const std::function<bool(CWordWalker&)>& own);

}  // namespace

void ParsePagesParams(const std::vector<std::string>& words, std::string& inputFile, std::string& password,
                      bool& repair) {
    CWordWalker w(words, inputFile);
    // The options a text run opens its input with belong here as well.
    while (w.Next()) {
        (void)(w.Text("-password", password) || w.Flag("-repair", repair));
    }
}

void ParseTextParams(const std::vector<std::string>& words, TextStampOptions& o, std::string& inputFile,
                     std::string& outputFile) {
    CWordWalker w(words, 2, inputFile, outputFile);
    WalkTextParams(w, o, nullptr);
}

namespace {

void WalkTextParams(CWordWalker& w, TextStampOptions& o, const std::function<bool(CWordWalker&)>& own) {
    while (w.Next()) {
        if (own && own(w)) continue;
        (void)(w.Int("-s", o.startPage) || w.Int("-e", o.endPage) || w.Int("-ns", o.startNumber) ||
               w.Int("-ne", o.endNumber) || w.Int("-m", o.maskDigits) || w.Int("-n", o.everyNth) ||
               w.Flag("-seq", o.sequential) || w.Flag("-r", o.reverse) || w.Flag("-one", o.oneNumber) ||
               w.Flag("-2up", o.twoUp) || w.Flag("-ab2", o.abTwoUp) || w.Flag("-rom", o.romanLower) ||
               w.Flag("-ROM", o.romanUpper) || w.Text("-export", o.exportFile) || w.Text("-import", o.importFile) ||
               w.Flag("-nopg", o.noPageNumber) || w.Text("-prefix", o.prefixText) || w.Text("-sep", o.separatorText) ||
               w.Text("-end", o.endText) || w.Text("-font", o.fontName) ||
               w.Checked("-fontfile", o.fontFile, IsNotEmpty) || w.Int("-fontindex", o.fontIndex) ||
               w.Checked("-lang", o.language, IsLanguageTag) || w.Color("-color", o.color) ||
               w.Int("-size", o.fontSize) || w.Int("-angle", o.angle) || w.Flag("-force", o.forcePortrait) ||
               w.Pair("-pos", o.posX, o.posY) || w.Flag("-flipv", o.flipVertical) ||
               w.Flag("-fliph", o.flipHorizontal) || w.Align("-align", o.align) ||
               w.Flag("-incremental", o.incremental) || w.Flag("-ignore-docmdp", o.ignoreDocMdp) ||
               w.Flag("-break-signatures", o.breakSignatures) || w.Text("-password", o.password) ||
               w.Flag("-repair", o.repair));
    }
}

}  // namespace

void ParseBatchParams(const std::vector<std::string>& words, BatchOptions& o) {
    CWordWalker w(words, o.listFile);
    WalkTextParams(w, o.text, [&o](CWordWalker& walker) {
        if (walker.Text("-log", o.logFile)) return true;
        if (!walker.Int("-workers", o.workers)) return false;
        if (o.workers < 1) Fail();
        return true;
    });
}

void ParseImageParams(const std::vector<std::string>& words, ImageStampOptions& o, std::string& inputFile,
                      std::string& outputFile) {
    CWordWalker w(words, 3, inputFile, outputFile);
    while (w.Next()) {
        if (w.word().size() >= 2 && w.word()[1] == 'j') {
            o.jpegFile = w.word().substr(2);
            continue;
        }
        (void)(w.Int("-s", o.startPage) || w.Int("-e", o.endPage) || w.Int("-n", o.everyNth) ||
               w.Flag("-force", o.forcePortrait) || w.Int("-opacity", o.opacity) || w.Pair("-pos", o.posX, o.posY) ||
               w.Pair("-size", o.imageWidth, o.imageHeight) || w.Flag("-flipv", o.flipVertical) ||
               w.Flag("-fliph", o.flipHorizontal) || w.Align("-align", o.align) ||
               w.Flag("-incremental", o.incremental) || w.Flag("-ignore-docmdp", o.ignoreDocMdp) ||
               w.Flag("-break-signatures", o.breakSignatures) || w.Text("-password", o.password) ||
               w.Flag("-repair", o.repair));
    }
    // Values that would draw nothing, a mirrored picture or an invalid file.
    const auto side = [](int32_t points) { return points == -1 || (points > 0 && points <= kMaxPictureSide); };
    if (o.opacity < 0 || o.opacity > 100 || !side(o.imageWidth) || !side(o.imageHeight)) Fail();
}

Alignment AlignmentOf(std::string_view word) {
    if (word == "left") return Alignment::Left;
    if (word == "center") return Alignment::Center;
    return Alignment::Right;
}
