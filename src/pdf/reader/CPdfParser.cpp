#include "pdf/reader/CPdfParser.h"

#include <locale.h>
#include <clocale>
#include <cstdlib>
#include <span>

#include "base/CPdfException.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/CPdfStream.h"
#include "pdf/object/DecimalDigits.h"
#include "pdf/object/PdfSyntax.h"
#include "pdf/reader/CPdfSecurityHandler.h"
#include "pdf/reader/CPdfUndecodedStream.h"
#include "pdf/reader/Filters.h"

namespace {

// Decimal conversion of a real, the longest valid prefix, independent of the
// process locale.
double ParseReal(const std::string& text) {
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
    return strtod_l(text.c_str(), nullptr, cLocale);
}

// The entries of the dictionaries and the elements of the arrays being read
// on this thread, innermost last: one stack of each for every parser, so
// that its room is reused, and each dictionary or array is made at its size.
constexpr size_t kKeptPending = 1024;

std::vector<CPdfDictionary::Entry>& PendingEntries() {
    thread_local std::vector<CPdfDictionary::Entry> pending;
    return pending;
}

std::vector<CPdfObject>& PendingElements() {
    thread_local std::vector<CPdfObject> pending;
    return pending;
}

// What one dictionary or array gathers on its stack, from `base` on; taken
// off again when it is made, or when reading it fails.
template <typename Item>
struct PendingStack {
    explicit PendingStack(std::vector<Item>& items) : stack(items), base(items.size()) {}
    ~PendingStack() {
        stack.erase(stack.begin() + static_cast<std::ptrdiff_t>(base), stack.end());
        // The room a very large one took is not kept.
        if (base == 0 && stack.capacity() > kKeptPending) std::vector<Item>().swap(stack);
    }
    PendingStack(const PendingStack&) = delete;
    PendingStack& operator=(const PendingStack&) = delete;

    std::vector<Item>& stack;
    const size_t base;
};

}  // namespace

CPdfParser::CPdfParser(CPdfResolver* xref, std::shared_ptr<CPdfStream> stream)
    : xref_(xref), stream_(std::move(stream)) {
    consumedEnd_ = stream_->GetPos();
    ReadToken(first());
    firstEnd_ = secondEnd_;
    ReadToken(second());
}

void CPdfParser::Seek(int64_t position) {
    stream_->SetPos(position, SeekOrigin::Start);
    consumedEnd_ = stream_->GetPos();
    ReadToken(first());
    firstEnd_ = secondEnd_;
    ReadToken(second());
}

void CPdfParser::Shift() {
    consumedEnd_ = firstEnd_;
    front_ ^= 1;
    firstEnd_ = secondEnd_;
    ReadToken(second());
}

void CPdfParser::ReadToken(Token& token) {
    // Most tokens stand whole in the window the stream holds.
    if (!LexInWindow(token)) Lex(token);
    secondEnd_ = stream_->GetPos();
}

CPdfObject CPdfParser::GetToken() {
    Token token;
    if (!LexInWindow(token)) Lex(token);
    return ValueOf(token);
}

CPdfObject CPdfParser::Lookahead() const {
    Token token = tokens_[front_];
    return ValueOf(token);
}

std::string_view CPdfParser::Token::Spelling() const {
    switch (kind) {
        case Kind::R:
            return "R";
        case Kind::Obj:
            return "obj";
        case Kind::EndObj:
            return "endobj";
        case Kind::Stream:
            return "stream";
        case Kind::EndStream:
            return "endstream";
        case Kind::ArrayOpen:
            return "[";
        case Kind::ArrayClose:
            return "]";
        case Kind::DictionaryOpen:
            return "<<";
        case Kind::DictionaryClose:
            return ">>";
        default:
            return {};
    }
}

CPdfObject CPdfParser::ValueOf(Token& token) {
    switch (token.kind) {
        case Token::Kind::Integer:
            return CPdfObject::Integer64(token.integer);
        case Token::Kind::Real:
            return CPdfObject::Real(token.real);
        case Token::Kind::Name:
            return CPdfObject::Name(std::move(token.text));
        case Token::Kind::String:
            return std::move(token.string);
        case Token::Kind::Keyword:
            return CPdfObject::Keyword(std::move(token.text));
        case Token::Kind::Boolean:
            return CPdfObject::Boolean(token.integer != 0);
        case Token::Kind::Null:
            return CPdfObject::Null();
        case Token::Kind::Error:
            return CPdfObject::Error();
        case Token::Kind::End:
            return CPdfObject::EndOfFile();
        default:
            break;
    }
    // A keyword of a kind of its own.
    return CPdfObject::Keyword(std::string(token.Spelling()));
}

int CPdfParser::SkipSpace() {
    CPdfStream& s = *stream_;
    for (;;) {
        int c = s.GetChar();
        if (c == '%') {
            do {
                c = s.GetChar();
            } while (c >= 0 && c != '\r' && c != '\n');
            if (c < 0) return c;
            continue;
        }
        if (c < 0 || !IsPdfWhite(c)) return c;
    }
}

bool CPdfParser::LexInWindow(Token& token) {
    CPdfStream& s = *stream_;
    const std::string_view window = s.Buffered();
    size_t at = 0;
    while (at < window.size() && IsPdfWhite(window[at])) ++at;
    if (at >= window.size()) return false;
    const char c = window[at];
    size_t end = at + 1;
    // A token ends inside the window when a byte follows it there.
    const auto regularRun = [&window, &end](bool stopAtHash) {
        while (end < window.size() && IsPdfRegular(window[end]) && !(stopAtHash && window[end] == '#')) ++end;
        return end < window.size();
    };
    if (IsPdfDigit(c) || c == '-') {
        uint64_t value = c == '-' ? 0 : static_cast<uint64_t>(c - '0');
        for (; end < window.size() && IsPdfDigit(window[end]); ++end)
            value = value * 10 + static_cast<uint64_t>(window[end] - '0');
        if (end >= window.size() || window[end] == '.') return false;
        token.kind = Token::Kind::Integer;
        token.integer = static_cast<int64_t>(c == '-' ? 0u - value : value);
    } else if (c == '/') {
        if (!regularRun(true) || window[end] == '#') return false;
        token.kind = Token::Kind::Name;
        // Cleared and appended to: assign would first check whether the
        // bytes overlap the string's own.
        token.text.clear();
        token.text.append(window.data() + at + 1, end - at - 1);
    } else if (c == '[' || c == ']') {
        token.kind = c == '[' ? Token::Kind::ArrayOpen : Token::Kind::ArrayClose;
    } else if ((c == '<' || c == '>') && end < window.size() && window[end] == c) {
        ++end;
        token.kind = c == '<' ? Token::Kind::DictionaryOpen : Token::Kind::DictionaryClose;
    } else if (IsPdfRegular(c) && c != '.') {
        if (!regularRun(false)) return false;
        SetKeyword(token, window.substr(at, end - at));
    } else {
        return false;
    }
    s.Skip(end);
    return true;
}

void CPdfParser::SetKeyword(Token& token, std::string_view text) {
    using Kind = Token::Kind;
    // The keywords of kinds of their own, told apart by their length first.
    Kind kind = Kind::Keyword;
    switch (text.size()) {
        case 1:
            if (text[0] == 'R') kind = Kind::R;
            break;
        case 3:
            if (text == "obj") kind = Kind::Obj;
            break;
        case 4:
            if (text == "true") kind = Kind::Boolean;
            if (text == "null") kind = Kind::Null;
            break;
        case 5:
            if (text == "false") kind = Kind::Boolean;
            break;
        case 6:
            if (text == "endobj") kind = Kind::EndObj;
            if (text == "stream") kind = Kind::Stream;
            break;
        case 9:
            if (text == "endstream") kind = Kind::EndStream;
            break;
        default:
            break;
    }
    token.kind = kind;
    if (kind == Kind::Boolean) token.integer = text[0] == 't' ? 1 : 0;
    if (kind == Kind::Keyword) token.text.assign(text);
}

void CPdfParser::Lex(Token& token) {
    CPdfStream& s = *stream_;
    const int c = SkipSpace();
    if (c < 0) {
        token.kind = Token::Kind::End;
        return;
    }
    switch (c) {
        case '(':
            token.kind = Token::Kind::String;
            token.string = MadeString(ReadLiteralString(s), true);
            return;
        case '<':
            if (s.LookChar() != '<') {
                token.kind = Token::Kind::String;
                token.string = HexString();
                return;
            }
            s.GetChar();
            token.kind = Token::Kind::DictionaryOpen;
            return;
        case '>':
            if (s.LookChar() != '>') {
                token.kind = Token::Kind::Error;
                return;
            }
            s.GetChar();
            token.kind = Token::Kind::DictionaryClose;
            return;
        case ')':
        case '{':
        case '}':
            token.kind = Token::Kind::Error;
            return;
        case '[':
            token.kind = Token::Kind::ArrayOpen;
            return;
        case ']':
            token.kind = Token::Kind::ArrayClose;
            return;
        case '/':
            return NameToken(token);
        default:
            if (c == '-' || c == '.' || IsPdfDigit(c)) return NumberToken(token, c);
            return KeywordToken(token, c);
    }
}

CPdfObject CPdfParser::MadeString(std::string bytes, bool literal) const {
    if (security_ == nullptr || security_->stringMethod() == CryptMethod::Identity)
        return CPdfObject::String(CPdfString(std::move(bytes), literal));
    if (!literal) bytes = DecodeHexString(bytes);
    return CPdfObject::String(CPdfString(security_->DecryptString(objectNumber_, objectGeneration_, bytes), true));
}

// Cross-reference streams are never encrypted, metadata streams not when the
// document says so, and a stream that names its own crypt filter is left as it is.
bool CPdfParser::StreamEncrypted(const CPdfObject& dictionary) const {
    if (security_ == nullptr || security_->streamMethod() == CryptMethod::Identity) return false;
    const CPdfDictionary& dict = dictionary.getDict();
    const CPdfObject type = dict.lookupNF("Type");
    if (type.isName("XRef")) return false;
    if (type.isName("Metadata") && !security_->encryptsMetadata()) return false;
    const CPdfObject filter = dict.lookupNF("Filter");
    if (filter.isName("Crypt")) return false;
    if (filter.is(pdfArray) && filter.getArray().getLength() > 0 && filter.getArray().getNF(0).isName("Crypt"))
        return false;
    return true;
}

CPdfObject CPdfParser::HexString() {
    CPdfStream& s = *stream_;
    std::string digits;
    for (;;) {
        const int c = s.GetChar();
        if (c < 0 || c == '>') break;
        digits.push_back(static_cast<char>(c));
    }
    return MadeString(std::move(digits), false);
}

void CPdfParser::NameToken(Token& token) {
    CPdfStream& s = *stream_;
    std::string& name = token.text;
    name.clear();
    token.kind = Token::Kind::Name;
    // Only an escape can make a NUL byte.
    bool escaped = false;
    for (;;) {
        // The run of regular bytes other than "#" in the window, at once.
        const std::string_view window = s.Buffered();
        size_t run = 0;
        while (run < window.size() && IsPdfRegular(window[run]) && window[run] != '#') ++run;
        name.append(window.data(), run);
        s.Skip(run);
        if (window.empty() || (run < window.size() && window[run] != '#')) break;
        if (run == window.size()) continue;
        escaped = true;
        s.GetChar();
        const int high = PdfHexValue(s.LookChar());
        if (high >= 0) {
            s.GetChar();
            const int next = s.GetChar();
            const int low = PdfHexValue(next);
            name.push_back(static_cast<char>(low >= 0 ? high * 16 + low : high * 16));
        } else {
            name.push_back('#');
        }
    }
    if (!escaped) return;
    const size_t zero = name.find('\0');
    if (zero != std::string::npos) name.resize(zero);
}

void CPdfParser::NumberToken(Token& token, int first) {
    CPdfStream& s = *stream_;
    token.kind = Token::Kind::Integer;
    // Gathered across windows: a number that stands whole in one is read by
    // LexInWindow.
    scratch_.assign(1, static_cast<char>(first));
    bool isReal = first == '.';
    for (;;) {
        const std::string_view window = s.Buffered();
        size_t run = 0;
        for (; run < window.size() && (IsPdfDigit(window[run]) || window[run] == '.'); ++run)
            isReal = isReal || window[run] == '.';
        scratch_.append(window.data(), run);
        s.Skip(run);
        if (run < window.size() || window.empty()) break;
    }
    if (isReal) {
        token.kind = Token::Kind::Real;
        token.real = ParseReal(scratch_);
        return;
    }
    // As a value an integer wraps around at 32 bits; the full value is kept
    // for offsets and lengths beyond 4 GiB.
    uint64_t value = DecimalDigits::Scan(scratch_, first == '-' ? 1 : 0, DigitOverflow::Wrap).value;
    if (first == '-') value = 0u - value;
    token.integer = static_cast<int64_t>(value);
}

void CPdfParser::KeywordToken(Token& token, int first) {
    CPdfStream& s = *stream_;
    std::string& text = scratch_;
    text.assign(1, static_cast<char>(first));
    for (;;) {
        const std::string_view window = s.Buffered();
        size_t run = 0;
        while (run < window.size() && IsPdfRegular(window[run])) ++run;
        text.append(window.data(), run);
        s.Skip(run);
        if (run < window.size() || window.empty()) break;
    }
    SetKeyword(token, text);
}

CPdfObject CPdfParser::GetObj(int depth) {
    const bool array = first().Is(Token::Kind::ArrayOpen);
    if (array || first().Is(Token::Kind::DictionaryOpen)) {
        Shift();
        if (depth >= kMaxDepth) return CPdfObject::Error();
        return array ? ArrayValue(depth + 1) : DictionaryValue(depth + 1);
    }
    if (first().Is(Token::Kind::Integer)) {
        const int64_t number = first().integer;
        Shift();
        if (first().Is(Token::Kind::Integer) && second().Is(Token::Kind::R)) {
            // As a value an integer is its low 32 bits.
            const auto generation = static_cast<int32_t>(static_cast<uint32_t>(first().integer));
            Shift();
            Shift();
            return CPdfObject::Reference(static_cast<int32_t>(static_cast<uint32_t>(number)), generation);
        }
        return CPdfObject::Integer64(number);
    }
    CPdfObject result = ValueOf(first());
    Shift();
    return result;
}

CPdfObject CPdfParser::ArrayValue(int depth) {
    CPdfObject result;
    result.setArray(xref_);
    std::vector<CPdfObject>& pending = PendingElements();
    const PendingStack<CPdfObject> unwind{pending};
    while (!first().Is(Token::Kind::ArrayClose) && !first().Is(Token::Kind::End)) pending.push_back(GetObj(depth));
    result.getArray().assign(std::span(pending).subspan(unwind.base));
    if (first().Is(Token::Kind::ArrayClose)) Shift();
    return result;
}

CPdfObject CPdfParser::DictionaryValue(int depth) {
    CPdfObject result;
    result.setDictionary(xref_);
    std::vector<CPdfDictionary::Entry>& pending = PendingEntries();
    const PendingStack<CPdfDictionary::Entry> unwind{pending};
    while (!first().Is(Token::Kind::DictionaryClose) && !first().Is(Token::Kind::End)) {
        if (!first().Is(Token::Kind::Name)) {
            Shift();  // stray values are skipped
            continue;
        }
        std::string key = std::move(first().text);
        Shift();
        if (first().Is(Token::Kind::Error)) continue;
        CPdfObject value = GetObj(depth);
        pending.emplace_back(std::move(key), std::move(value));
    }
    result.getDict().assign(std::span(pending).subspan(unwind.base));
    if (first().Is(Token::Kind::End)) return result;
    if (second().Is(Token::Kind::Stream)) {
        std::shared_ptr<CPdfStream> stream = MakeStream(result);
        if (!stream) return CPdfObject::Error();
        return CPdfObject::FromStream(std::move(stream));
    }
    Shift();
    return result;
}

std::shared_ptr<CPdfStream> CPdfParser::MakeStream(const CPdfObject& dictionary) {
    CPdfStream& s = *stream_;
    // The rest of the line after "stream" is not data.
    for (;;) {
        const int c = s.GetChar();
        if (c < 0 || c == '\n') break;
        if (c == '\r') {
            if (s.LookChar() == '\n') s.GetChar();
            break;
        }
    }
    const int64_t start = s.GetPos();
    const CPdfObject lengthValue = dictionary.getDict().lookup("Length");
    std::optional<int64_t> stated;
    if (lengthValue.is(pdfInteger)) stated = lengthValue.getInt64();
    int64_t statedEnd = 0;
    if (fallbackLength_ &&
        (!stated || __builtin_add_overflow(start, *stated, &statedEnd) || *stated < 0 || !EndStreamAt(statedEnd)))
        stated = fallbackLength_;
    if (!stated) return nullptr;
    const int64_t length = *stated;
    std::shared_ptr<CPdfStream> raw = s.MakeSubStream(start, length, dictionary);
    if (!raw) return nullptr;
    if (decodeStreams_ && StreamEncrypted(dictionary))
        raw = security_->DecryptStream(objectNumber_, objectGeneration_, std::move(raw));
    // A stream whose filters are not decoded is still a stream.
    std::shared_ptr<CPdfStream> decoded = decodeStreams_ ? AddFilters(raw, dictionary) : raw;
    if (!decoded) decoded = std::make_shared<CPdfUndecodedStream>(raw);
    // A length beyond the largest position leaves the input at its end.
    int64_t end = 0;
    if (__builtin_add_overflow(start, length, &end)) end = length < 0 ? 0 : INT64_MAX;
    s.SetPos(end, SeekOrigin::Start);
    Shift();
    Shift();
    if (!first().Is(Token::Kind::EndStream)) throw CPdfException("Missing 'endstream'");
    Shift();
    return decoded;
}

bool CPdfParser::EndStreamAt(int64_t end) {
    CPdfStream& s = *stream_;
    s.SetPos(end, SeekOrigin::Start);
    while (IsPdfWhite(static_cast<unsigned char>(s.LookChar()))) s.GetChar();
    for (const char c : std::string_view("endstream"))
        if (s.GetChar() != static_cast<unsigned char>(c)) return false;
    return true;
}
