#include "writer/EncryptedObjectText.h"

#include <cstdint>

#include "pdf/object/DecimalDigits.h"
#include "pdf/object/PdfSyntax.h"

namespace {

// Digits of a direct /Length that is rewritten; a longer one is left as it is.
constexpr size_t kLongestLength = 12;

using Cipher = std::function<std::string(std::string_view)>;

// One pass over an object's text, token by token, copying it to the output
// with its strings and its stream data replaced.
class CObjectTextRewrite {
public:
    CObjectTextRewrite(std::string_view text, const Cipher& encryptString, const Cipher& encryptStream)
        : text_(text), encryptString_(encryptString), encryptStream_(encryptStream) {
        out_.reserve(text.size() + 64);
    }

    std::string Run() {
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c == '%') {
                CopyComment();
            } else if (c == '(' || (c == '<' && Next() != '<')) {
                RewriteString();
            } else if (c == '<' || c == '[') {
                Nest(c == '<' ? 2 : 1, +1);
            } else if (c == '>' || c == ']') {
                Nest(c == '>' && Next() == '>' ? 2 : 1, -1);
            } else if (c == '/') {
                CopyName();
            } else if (IsPdfWhite(c)) {
                out_.push_back(c);
                ++at_;
            } else if (CopyWord() == "stream" && depth_ == 0 && length_ >= 0) {
                RewriteStreamData();
                break;
            }
        }
        return std::move(out_);
    }

private:
    // The byte after the current one, or NUL at the end.
    char Next() const { return at_ + 1 < text_.size() ? text_[at_ + 1] : '\0'; }

    void Copy(size_t end) {
        out_.append(text_.substr(at_, end - at_));
        at_ = end;
    }

    void CopyComment() {
        const size_t end = text_.find_first_of("\r\n", at_);
        Copy(end == std::string_view::npos ? text_.size() : end);
    }

    void RewriteString() {
        const size_t begin = at_;
        const std::string bytes = text_[at_++] == '(' ? DecodeLiteralString(text_, at_) : DecodeHexString(text_, at_);
        if (encryptString_) {
            out_ += EncodeHexString(encryptString_(bytes));
        } else {
            out_.append(text_.substr(begin, at_ - begin));
        }
        lengthNext_ = false;
    }

    // An array or dictionary opens (+1) or closes (-1) with its `size` bytes.
    void Nest(size_t size, int step) {
        Copy(at_ + size);
        depth_ += step;
        lengthNext_ = false;
    }

    size_t RegularEnd(size_t from) const {
        while (from < text_.size() && IsPdfRegular(text_[from])) ++from;
        return from;
    }

    void CopyName() {
        const size_t begin = at_;
        Copy(RegularEnd(at_ + 1));
        lengthNext_ = depth_ == 1 && text_.substr(begin, at_ - begin) == "/Length";
    }

    // Copies a number, keyword or stray delimiter; returns it.
    std::string_view CopyWord() {
        size_t end = RegularEnd(at_);
        if (end == at_) ++end;  // a stray delimiter
        const std::string_view word = text_.substr(at_, end - at_);
        if (lengthNext_) NoteLength(word, end);
        Copy(end);
        return word;
    }

    // The word after the top dictionary's /Length key: where it stands in the
    // output and its value, when it is a direct integer, not the first number
    // of a reference.
    void NoteLength(std::string_view word, size_t end) {
        lengthNext_ = false;
        while (end < text_.size() && IsPdfWhite(text_[end])) ++end;
        const bool reference = end < text_.size() && IsPdfDigit(text_[end]);
        const DecimalDigits digits = DecimalDigits::Scan(word, 0, DigitOverflow::Stop);
        if (reference || word.size() > kLongestLength || digits.count != word.size()) return;
        lengthAt_ = out_.size();
        lengthSize_ = word.size();
        length_ = static_cast<int64_t>(digits.value);
    }

    // After the keyword "stream": its data, replaced, and the rest as it is.
    void RewriteStreamData() {
        // The data starts after the line end that follows "stream".
        if (at_ < text_.size() && text_[at_] == '\r') Copy(at_ + 1);
        if (at_ < text_.size() && text_[at_] == '\n') Copy(at_ + 1);
        if (static_cast<uint64_t>(length_) <= text_.size() - at_) {
            const std::string_view data = text_.substr(at_, static_cast<size_t>(length_));
            at_ += data.size();
            if (encryptStream_) {
                const std::string encrypted = encryptStream_(data);
                out_.replace(lengthAt_, lengthSize_, std::to_string(encrypted.size()));
                out_ += encrypted;
            } else {
                out_.append(data);
            }
        }
        Copy(text_.size());
    }

    std::string_view text_;
    const Cipher& encryptString_;
    const Cipher& encryptStream_;
    std::string out_;
    size_t at_ = 0;
    int depth_ = 0;
    bool lengthNext_ = false;
    // Where the top dictionary's direct /Length stands in out_, and its value.
    size_t lengthAt_ = std::string::npos;
    size_t lengthSize_ = 0;
    int64_t length_ = -1;
};

}  // namespace

bool MayHoldString(std::string_view text) {
    if (text.find('(') != std::string_view::npos) return true;
    for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 2)) {
        if (at + 1 >= text.size() || text[at + 1] != '<') return true;
    }
    return false;
}

std::string EncryptObjectText(std::string_view text, const Cipher& encryptString, const Cipher& encryptStream) {
    return CObjectTextRewrite(text, encryptString, encryptStream).Run();
}
