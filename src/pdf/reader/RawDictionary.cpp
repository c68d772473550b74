#include "pdf/reader/RawDictionary.h"

#include <string>

#include "pdf/object/PdfSyntax.h"

namespace {

enum class TokenKind { End, Name, Open, Close, ArrayOpen, ArrayClose, Other };

struct Token {
    TokenKind kind = TokenKind::End;
    size_t start = 0;
    std::string_view text;
};

// A small lexer over raw object bytes: it knows enough of the syntax to skip
// strings, comments and nested structures.
class CRawLexer {
public:
    CRawLexer(std::string_view bytes, size_t pos) : bytes_(bytes), pos_(pos) {}

    Token Next() {
        SkipWhiteAndComments();
        Token token;
        token.start = pos_;
        if (pos_ >= bytes_.size()) return token;
        const char c = bytes_[pos_];
        if (c == '/') {
            size_t end = pos_ + 1;
            while (end < bytes_.size() && IsPdfRegular(bytes_[end])) ++end;
            token = {TokenKind::Name, pos_, bytes_.substr(pos_ + 1, end - pos_ - 1)};
            pos_ = end;
        } else if (c == '<' && At(pos_ + 1) == '<') {
            token.kind = TokenKind::Open;
            pos_ += 2;
        } else if (c == '>' && At(pos_ + 1) == '>') {
            token.kind = TokenKind::Close;
            pos_ += 2;
        } else if (c == '[') {
            token.kind = TokenKind::ArrayOpen;
            ++pos_;
        } else if (c == ']') {
            token.kind = TokenKind::ArrayClose;
            ++pos_;
        } else if (c == '(') {
            pos_ = SkipLiteralString(bytes_, pos_ + 1);
            token.kind = TokenKind::Other;
        } else if (c == '<') {
            pos_ = SkipHexString(bytes_, pos_ + 1);
            token.kind = TokenKind::Other;
        } else if (IsPdfDelimiter(c)) {
            ++pos_;
            token.kind = TokenKind::Other;
        } else {
            while (pos_ < bytes_.size() && IsPdfRegular(bytes_[pos_])) ++pos_;
            token.kind = TokenKind::Other;
        }
        if (token.kind == TokenKind::Other) token.text = bytes_.substr(token.start, pos_ - token.start);
        return token;
    }

    size_t pos() const { return pos_; }

private:
    char At(size_t i) const { return i < bytes_.size() ? bytes_[i] : '\0'; }

    void SkipWhiteAndComments() {
        while (pos_ < bytes_.size()) {
            if (IsPdfWhite(bytes_[pos_])) {
                ++pos_;
            } else if (bytes_[pos_] == '%') {
                while (pos_ < bytes_.size() && bytes_[pos_] != '\r' && bytes_[pos_] != '\n') ++pos_;
            } else {
                break;
            }
        }
    }

    std::string_view bytes_;
    size_t pos_;
};

}  // namespace

std::optional<size_t> Opening(std::string_view bytes, size_t from) {
    if (from > bytes.size()) return std::nullopt;
    constexpr std::string_view kOpen = "<<";
    const size_t at = bytes.find(kOpen, from);
    if (at == std::string_view::npos) return std::nullopt;
    return at + kOpen.size();
}

std::optional<size_t> FindOwnKey(std::string_view bytes, size_t body, std::string_view key) {
    CRawLexer lexer(bytes, body);
    int depth = 0;  // nesting below the dictionary's own level
    bool expectKey = true;
    for (;;) {
        const Token token = lexer.Next();
        switch (token.kind) {
            case TokenKind::End:
                return std::nullopt;
            case TokenKind::Open:
            case TokenKind::ArrayOpen:
                ++depth;
                break;
            case TokenKind::Close:
            case TokenKind::ArrayClose:
                if (depth == 0) return std::nullopt;  // the dictionary ends
                if (--depth == 0) expectKey = true;
                break;
            case TokenKind::Name:
                if (depth == 0) {
                    if (expectKey && token.text == key) return token.start;
                    expectKey = !expectKey;
                }
                break;
            case TokenKind::Other:
                // Numbers, "R", strings: part of a value; the next name after a
                // value is a key again.
                if (depth == 0) expectKey = true;
                break;
        }
    }
}

namespace {

bool IsUnsignedInteger(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text)
        if (!IsPdfDigit(c)) return false;
    return true;
}

}  // namespace

std::optional<std::pair<size_t, size_t>> ValueSpan(std::string_view bytes, size_t from) {
    if (from > bytes.size()) return std::nullopt;
    CRawLexer lexer(bytes, from);
    const Token first = lexer.Next();
    switch (first.kind) {
        case TokenKind::End:
        case TokenKind::Close:
        case TokenKind::ArrayClose:
            return std::nullopt;
        case TokenKind::Name:
            return std::pair(first.start, lexer.pos());
        case TokenKind::Open:
        case TokenKind::ArrayOpen:
            for (int depth = 1;;) {
                const Token token = lexer.Next();
                if (token.kind == TokenKind::End) return std::nullopt;
                if (token.kind == TokenKind::Open || token.kind == TokenKind::ArrayOpen) ++depth;
                if ((token.kind == TokenKind::Close || token.kind == TokenKind::ArrayClose) && --depth == 0)
                    return std::pair(first.start, lexer.pos());
            }
        case TokenKind::Other:
            break;
    }
    const size_t end = lexer.pos();
    if (!IsUnsignedInteger(first.text)) return std::pair(first.start, end);
    const Token generation = lexer.Next();
    const Token keyword = lexer.Next();
    if (generation.kind == TokenKind::Other && IsUnsignedInteger(generation.text) && keyword.kind == TokenKind::Other &&
        keyword.text == "R")
        return std::pair(first.start, lexer.pos());
    return std::pair(first.start, end);
}
