#include "stamp/OptionParser.h"

#include <cstdio>
#include <functional>

#include "base/CPdfException.h"

namespace {

[[noreturn]] void Fail() { throw CPdfException("Error parameter"); }

// Walks the parameter words: the first test that takes a word decides, a
// string option takes the following word whatever it is.
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

    bool Int(const char* format, int32_t& target) const {
        int value = 0;
        if (std::sscanf(word().c_str(), format, &value) != 1) return false;
        target = value;
        return true;
    }
    bool Pair(const char* format, int32_t& first, int32_t& second) const {
        int a = 0;
        int b = 0;
        if (std::sscanf(word().c_str(), format, &a, &b) != 2) return false;
        first = a;
        second = b;
        return true;
    }
    bool Hex(const char* format, uint32_t& target) const {
        unsigned value = 0;
        if (std::sscanf(word().c_str(), format, &value) != 1) return false;
        target = value;
        return true;
    }
    bool Flag(const char* exact, bool& target) const {
        if (word() != exact) return false;
        target = true;
        return true;
    }
    bool Text(const char* exact, std::string& target) {
        if (word() != exact) return false;
        if (index_ + 1 >= words_.size()) Fail();
        target = words_[++index_];
        return true;
    }
    bool Align(const char* exact, Alignment& target) {
        std::string named;
        if (!Text(exact, named)) return false;
        target = AlignmentOf(named);
        return true;
    }

private:
    const std::vector<std::string>& words_;
    size_t index_ = 1;
};

// Text mode's parameters; a word that `own` takes is not tried against them.
void WalkTextParams(CWordWalker& w, TextStampOptions& o, const std::function<bool(CWordWalker&)>& own);

}  // namespace

void ParsePagesParams(const std::vector<std::string>& words, std::string& inputFile, std::string& password) {
    CWordWalker w(words, inputFile);
    // The options a text run opens its input with belong here as well.
    while (w.Next()) {
        (void)w.Text("-password", password);
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
        (void)(w.Int("-s%d", o.startPage) || w.Int("-e%d", o.endPage) || w.Int("-ns%d", o.startNumber) ||
               w.Int("-ne%d", o.endNumber) || w.Int("-m%d", o.maskDigits) || w.Int("-n%d", o.everyNth) ||
               w.Flag("-seq", o.sequential) || w.Flag("-r", o.reverse) || w.Flag("-one", o.oneNumber) ||
               w.Flag("-2up", o.twoUp) || w.Flag("-ab2", o.abTwoUp) || w.Flag("-rom", o.romanLower) ||
               w.Flag("-ROM", o.romanUpper) || w.Text("-export", o.exportFile) || w.Text("-import", o.importFile) ||
               w.Flag("-nopg", o.noPageNumber) || w.Text("-prefix", o.prefixText) || w.Text("-sep", o.separatorText) ||
               w.Text("-end", o.endText) || w.Text("-font", o.fontName) || w.Text("-fontfile", o.fontFile) ||
               w.Int("-fontindex%d", o.fontIndex) || w.Hex("-color%X", o.color) || w.Int("-size%d", o.fontSize) ||
               w.Int("-angle%d", o.angle) || w.Flag("-force", o.forcePortrait) || w.Pair("-pos%d,%d", o.posX, o.posY) ||
               w.Flag("-flipv", o.flipVertical) || w.Flag("-fliph", o.flipHorizontal) || w.Align("-align", o.align) ||
               w.Flag("-incremental", o.incremental) || w.Flag("-ignore-docmdp", o.ignoreDocMdp) ||
               w.Text("-password", o.password));
    }
}

}  // namespace

void ParseBatchParams(const std::vector<std::string>& words, BatchOptions& o) {
    CWordWalker w(words, o.listFile);
    WalkTextParams(w, o.text, [&o](CWordWalker& walker) {
        if (walker.Text("-log", o.logFile)) return true;
        if (!walker.Int("-workers%d", o.workers)) return false;
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
        (void)(w.Int("-s%d", o.startPage) || w.Int("-e%d", o.endPage) || w.Int("-n%d", o.everyNth) ||
               w.Flag("-force", o.forcePortrait) || w.Int("-opacity%d", o.opacity) ||
               w.Pair("-pos%d,%d", o.posX, o.posY) || w.Pair("-size%d,%d", o.imageWidth, o.imageHeight) ||
               w.Flag("-flipv", o.flipVertical) || w.Flag("-fliph", o.flipHorizontal) || w.Align("-align", o.align) ||
               w.Flag("-incremental", o.incremental) || w.Flag("-ignore-docmdp", o.ignoreDocMdp) ||
               w.Text("-password", o.password));
    }
}

Alignment AlignmentOf(std::string_view word) {
    if (word == "left") return Alignment::Left;
    if (word == "center") return Alignment::Center;
    return Alignment::Right;
}
