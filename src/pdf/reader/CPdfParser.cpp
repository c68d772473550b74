#include "pdf/reader/CPdfParser.h"

#include <locale.h>
#include <clocale>
#include <cstdlib>

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

}  // namespace

CPdfParser::CPdfParser(CPdfResolver* xref, std::shared_ptr<CPdfStream> stream)
    : xref_(xref), stream_(std::move(stream)) {
    consumedEnd_ = stream_->GetPos();
    tokens_[front_] = ReadToken();
    firstEnd_ = secondEnd_;
    tokens_[front_ ^ 1] = ReadToken();
}

void CPdfParser::Seek(int64_t position) {
    stream_->SetPos(position, SeekOrigin::Start);
    consumedEnd_ = stream_->GetPos();
    tokens_[front_] = ReadToken();
    firstEnd_ = secondEnd_;
    tokens_[front_ ^ 1] = ReadToken();
}

void CPdfParser::Shift() {
    consumedEnd_ = firstEnd_;
    front_ ^= 1;
    firstEnd_ = secondEnd_;
    second() = ReadToken();
}

CPdfObject CPdfParser::ReadToken() {
    CPdfObject token = GetToken();
    secondEnd_ = stream_->GetPos();
    return token;
}

CPdfObject CPdfParser::GetToken() {
    CPdfStream& s = *stream_;
    int c;
    for (;;) {
        c = s.GetChar();
        if (c < 0) return CPdfObject::EndOfFile();
        if (c == '%') {
            do {
                c = s.GetChar();
                if (c < 0) return CPdfObject::EndOfFile();
            } while (c != '\r' && c != '\n');
            continue;
        }
        if (!IsPdfWhite(c)) break;
    }
    switch (c) {
        case '(':
            return LiteralString();
        case '<':
            if (s.LookChar() == '<') {
                s.GetChar();
                return CPdfObject::Keyword("<<");
            }
            return HexString();
        case '>':
            if (s.LookChar() == '>') {
                s.GetChar();
                return CPdfObject::Keyword(">>");
            }
            return CPdfObject::Error();
        case ')':
        case '{':
        case '}':
            return CPdfObject::Error();
        case '[':
            return CPdfObject::Keyword("[");
        case ']':
            return CPdfObject::Keyword("]");
        case '/':
            return NameToken();
        default:
            if (c == '-' || c == '.' || IsPdfDigit(c)) return NumberToken(c);
            return KeywordToken(c);
    }
}

CPdfObject CPdfParser::LiteralString() { return MadeString(ReadLiteralString(*stream_), true); }

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

CPdfObject CPdfParser::NameToken() {
    CPdfStream& s = *stream_;
    std::string name;
    for (;;) {
        // The run of regular bytes other than "#" in the window, at once.
        const std::string_view window = s.Buffered();
        size_t run = 0;
        while (run < window.size() && IsPdfRegular(window[run]) && window[run] != '#') ++run;
        name.append(window.data(), run);
        s.Skip(run);
        if (window.empty() || (run < window.size() && window[run] != '#')) break;
        if (run == window.size()) continue;
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
    const size_t zero = name.find('\0');
    if (zero != std::string::npos) name.resize(zero);
    return CPdfObject::Name(std::move(name));
}

CPdfObject CPdfParser::NumberToken(int first) {
    CPdfStream& s = *stream_;
    if (first != '.') {
        // The usual integer, whose digits end within the window, at once.
        const std::string_view window = s.Buffered();
        uint64_t value = first == '-' ? 0 : static_cast<uint64_t>(first - '0');
        size_t run = 0;
        for (; run < window.size() && IsPdfDigit(window[run]); ++run)
            value = value * 10 + static_cast<uint64_t>(window[run] - '0');
        if (run < window.size() && window[run] != '.') {
            s.Skip(run);
            return CPdfObject::Integer64(static_cast<int64_t>(first == '-' ? 0u - value : value));
        }
    }
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
    if (isReal) return CPdfObject::Real(ParseReal(scratch_));
    // As a value an integer wraps around at 32 bits; the full value is kept
    // for offsets and lengths beyond 4 GiB.
    uint64_t value = DecimalDigits::Scan(scratch_, first == '-' ? 1 : 0, DigitOverflow::Wrap).value;
    if (first == '-') value = 0u - value;
    return CPdfObject::Integer64(static_cast<int64_t>(value));
}

CPdfObject CPdfParser::KeywordToken(int first) {
    CPdfStream& s = *stream_;
    std::string text(1, static_cast<char>(first));
    for (;;) {
        const std::string_view window = s.Buffered();
        size_t run = 0;
        while (run < window.size() && IsPdfRegular(window[run])) ++run;
        text.append(window.data(), run);
        s.Skip(run);
        if (run < window.size() || window.empty()) break;
    }
    if (text == "true") return CPdfObject::Boolean(true);
    if (text == "false") return CPdfObject::Boolean(false);
    if (text == "null") return CPdfObject::Null();
    return CPdfObject::Keyword(std::move(text));
}

CPdfObject CPdfParser::GetObj(int depth) {
    const bool array = first().isKeyword("[");
    if (array || first().isKeyword("<<")) {
        Shift();
        if (depth >= kMaxDepth) return CPdfObject::Error();
        return array ? ArrayValue(depth + 1) : DictionaryValue(depth + 1);
    }
    if (first().is(pdfInteger)) {
        CPdfObject number = std::move(first());
        Shift();
        if (first().is(pdfInteger) && second().isKeyword("R")) {
            const int32_t generation = first().getInt();
            Shift();
            Shift();
            return CPdfObject::Reference(number.getInt(), generation);
        }
        return number;
    }
    CPdfObject result = std::move(first());
    Shift();
    return result;
}

CPdfObject CPdfParser::ArrayValue(int depth) {
    CPdfObject result;
    result.setArray(xref_);
    CPdfArray& array = result.getArray();
    while (!first().isKeyword("]") && !first().is(pdfEndOfFile)) array.add(GetObj(depth));
    if (first().isKeyword("]")) Shift();
    return result;
}

CPdfObject CPdfParser::DictionaryValue(int depth) {
    CPdfObject result;
    result.setDictionary(xref_);
    CPdfDictionary& dictionary = result.getDict();
    while (!first().isKeyword(">>") && !first().is(pdfEndOfFile)) {
        if (!first().is(pdfName)) {
            Shift();  // stray values are skipped
            continue;
        }
        std::string key = first().TakeName();
        Shift();
        if (first().is(pdfError)) continue;
        dictionary.add(std::move(key), GetObj(depth));
    }
    if (first().is(pdfEndOfFile)) return result;
    if (second().isKeyword("stream")) {
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
    if (!lengthValue.is(pdfInteger)) return nullptr;
    const int64_t length = lengthValue.getInt64();
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
    if (!first().isKeyword("endstream")) throw CPdfException("Missing 'endstream'");
    Shift();
    return decoded;
}
