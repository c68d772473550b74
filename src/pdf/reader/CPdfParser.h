#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "pdf/object/CPdfObject.h"

class CPdfResolver;
class CPdfSecurityHandler;
class CPdfStream;

// Turns the bytes of one stream into PDF values: the lexer (GetToken) and
// the assembly of arrays, dictionaries, references and streams (GetObj).
// Two tokens of look-ahead; construction already reads them.
class CPdfParser {
public:
    CPdfParser(CPdfResolver* xref, std::shared_ptr<CPdfStream> stream);
    CPdfParser(const CPdfParser&) = delete;
    CPdfParser& operator=(const CPdfParser&) = delete;

    // The next complete value.
    CPdfObject GetObj() { return GetObj(0); }
    // Reads one token into the second look-ahead, dropping the first.
    void Shift();
    // Goes on reading at `position` of the stream: the look-ahead tokens are
    // read from there.
    void Seek(int64_t position);
    // The lexer: reads one token from the stream.
    CPdfObject GetToken();
    // The stream whose dictionary has just been read, or null.
    std::shared_ptr<CPdfStream> MakeStream(const CPdfObject& dictionary);

    // Off: streams are made over their raw bytes, without their filters
    // (for callers that only need where a stream lies).
    void SetDecodeStreams(bool decode) { decodeStreams_ = decode; }
    // The values read are those of object `number` of an encrypted document:
    // strings and stream data are decrypted with its key. Set it before any
    // string is read (the tokens ahead are the object's header).
    void SetDecryption(const CPdfSecurityHandler* handler, int32_t number, int32_t generation) {
        security_ = handler;
        objectNumber_ = number;
        objectGeneration_ = generation;
    }

    // The length a stream's data is read with when its /Length does not lead
    // to "endstream" (the length a scan of a damaged file found).
    void SetFallbackLength(std::optional<int64_t> length) { fallbackLength_ = length; }

    // The first look-ahead token, as a value.
    CPdfObject Lookahead() const;
    // The position just after the last token consumed (for a stream: after
    // its "endstream").
    int64_t consumedEnd() const { return consumedEnd_; }
    const std::shared_ptr<CPdfStream>& stream() const { return stream_; }

    // Arrays and dictionaries nested deeper than this become pdfError.
    static constexpr int kMaxDepth = 500;

private:
    // What the lexer read, kept as it is until a value is made of it: names
    // and keywords keep their text, so that a keyword is compared where it
    // stands and the next token reuses its room. The keywords the parser
    // looks for (those that open and close arrays and dictionaries, "R",
    // "obj", "endobj", "stream" and "endstream") are kinds of their own,
    // without text.
    struct Token {
        enum class Kind : uint8_t {
            Integer,
            Real,
            Name,
            String,
            Keyword,
            Boolean,
            Null,
            Error,
            End,
            ArrayOpen,
            ArrayClose,
            DictionaryOpen,
            DictionaryClose,
            R,
            Obj,
            EndObj,
            Stream,
            EndStream
        };
        Kind kind = Kind::End;
        // An integer's value (its full 64 bits), or a boolean's (0 or 1).
        int64_t integer = 0;
        double real = 0;
        // A name's or keyword's text.
        std::string text;
        // A string's value.
        CPdfObject string;

        bool Is(Kind k) const { return kind == k; }
        // The text of a keyword that is a kind of its own, else empty.
        std::string_view Spelling() const;
    };

    CPdfObject GetObj(int depth);
    // What follows "[" or "<<" through its closing token (a dictionary
    // followed by "stream": the stream); `depth` is the elements' nesting.
    CPdfObject ArrayValue(int depth);
    CPdfObject DictionaryValue(int depth);
    // Reads the next token into `token`, and where it ends.
    void ReadToken(Token& token);
    // The token, when it stands whole in the stream's window (a byte after
    // it there): read at once. False, with nothing read, for any other,
    // which Lex reads.
    bool LexInWindow(Token& token);
    void Lex(Token& token);
    // A keyword token of the text: a boolean, null, a keyword of a kind of
    // its own, or a keyword with its text.
    static void SetKeyword(Token& token, std::string_view text);
    // Past white space and comments: the first byte after them, -1 at the end.
    int SkipSpace();
    void NameToken(Token& token);
    void NumberToken(Token& token, int first);
    void KeywordToken(Token& token, int first);
    CPdfObject HexString();
    CPdfObject MadeString(std::string bytes, bool literal) const;
    // The value a token stands for; its text is moved into it.
    static CPdfObject ValueOf(Token& token);
    bool StreamEncrypted(const CPdfObject& dictionary) const;

    Token& first() { return tokens_[front_]; }
    Token& second() { return tokens_[front_ ^ 1]; }

    CPdfResolver* xref_;
    std::shared_ptr<CPdfStream> stream_;
    // The two tokens of look-ahead: the first at `front_`, the second at the
    // other place, so that a shift moves no token.
    Token tokens_[2];
    unsigned front_ = 0;
    int64_t firstEnd_ = 0;
    int64_t secondEnd_ = 0;
    int64_t consumedEnd_ = 0;
    bool decodeStreams_ = true;
    const CPdfSecurityHandler* security_ = nullptr;
    int32_t objectNumber_ = 0;
    int32_t objectGeneration_ = 0;
    std::string scratch_;
    std::optional<int64_t> fallbackLength_;
    // Whether "endstream" follows `end`, after white space; the position is
    // left anywhere.
    bool EndStreamAt(int64_t end);
};
