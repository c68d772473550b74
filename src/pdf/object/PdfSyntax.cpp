#include "pdf/object/PdfSyntax.h"

#include <array>
#include <bit>
#include <cstring>
#include <iterator>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Text read as the input of ReadLiteralString.
struct TextInput {
    std::string_view text;
    size_t at;

    int GetChar() { return at < text.size() ? static_cast<unsigned char>(text[at++]) : -1; }
    int LookChar() const { return at < text.size() ? static_cast<unsigned char>(text[at]) : -1; }
};

// The bytes that end a run of literal string bytes.
constexpr std::array<bool, 256> MakeStringStops() {
    std::array<bool, 256> stops{};
    stops['('] = stops[')'] = stops['\\'] = true;
    return stops;
}
constexpr std::array<bool, 256> kStringStops = MakeStringStops();

// The first "(", ")" or "\\" in [p, end), or end: sixteen bytes at a time
// where the processor can compare them at once.
const uint8_t* FindStringStop(const uint8_t* p, const uint8_t* end) {
#if defined(__SSE2__)
    const __m128i open = _mm_set1_epi8('(');
    const __m128i close = _mm_set1_epi8(')');
    const __m128i escape = _mm_set1_epi8('\\');
    for (; end - p >= 16; p += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(bytes, open), _mm_cmpeq_epi8(bytes, close)),
                                          _mm_cmpeq_epi8(bytes, escape));
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0)
            return p + std::countr_zero(mask);
    }
#endif
    while (p < end && !kStringStops[*p]) ++p;
    return p;
}

const uint8_t* Bytes(std::string_view text) { return reinterpret_cast<const uint8_t*>(text.data()); }

}  // namespace

std::string DecodeLiteralString(std::string_view text, size_t& at) {
    TextInput input{text, at};
    std::string bytes = ReadLiteralString(input);
    at = input.at;
    return bytes;
}

std::string DecodeHexString(std::string_view digits) {
    std::string bytes;
    bytes.reserve(digits.size() / 2 + 1);
    int high = -1;
    for (const char c : digits) {
        const int value = PdfHexValue(c);
        if (value < 0) continue;
        if (high < 0) {
            high = value;
        } else {
            bytes.push_back(static_cast<char>(high * 16 + value));
            high = -1;
        }
    }
    if (high >= 0) bytes.push_back(static_cast<char>(high * 16));
    return bytes;
}

std::string DecodeHexString(std::string_view text, size_t& at) {
    const size_t end = SkipHexString(text, at);
    const size_t digitsEnd = end > at && text[end - 1] == '>' ? end - 1 : end;
    const std::string_view digits = text.substr(at, digitsEnd - at);
    at = end;
    return DecodeHexString(digits);
}

std::string EncodeHexString(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2 + 2);
    out.push_back('<');
    for (const unsigned char c : bytes) {
        out.push_back(kDigits[c >> 4]);
        out.push_back(kDigits[c & 0x0F]);
    }
    out.push_back('>');
    return out;
}

std::string PdfNameText(std::string_view name) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(name.size());
    for (const unsigned char c : name) {
        if (NeedsNameEscape(c)) {
            out.push_back('#');
            out.push_back(kDigits[c >> 4]);
            out.push_back(kDigits[c & 0x0F]);
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out;
}

#if defined(__SSE2__)
namespace {

// Sixteen bytes at a time for a set of `Count` bytes, compared in one
// unrolled step; stops where fewer than sixteen bytes are left.
template <size_t Count>
const uint8_t* FindAnyOfWide(const uint8_t* p, const uint8_t* end, std::string_view bytes) {
    __m128i wanted[Count];
    for (size_t i = 0; i < Count; ++i) wanted[i] = _mm_set1_epi8(bytes[i]);
    for (; end - p >= 16; p += 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hits = _mm_cmpeq_epi8(block, wanted[0]);
        for (size_t i = 1; i < Count; ++i) hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, wanted[i]));
        if (const auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits)); mask != 0)
            return p + std::countr_zero(mask);
    }
    return p;
}

}  // namespace
#endif

const uint8_t* FindAnyOf(const uint8_t* p, const uint8_t* end, const ByteSet& set, ptrdiff_t shortSpan) {
    const uint8_t* const near = end - p > shortSpan ? p + shortSpan : end;
    while (p < near && !set.member[*p]) ++p;
    if (p < near || p == end) return p;
#if defined(__SSE2__)
    // Sets of up to six bytes sixteen bytes at a time, larger ones a byte at a time.
    using Wide = const uint8_t* (*)(const uint8_t*, const uint8_t*, std::string_view);
    static constexpr Wide kWide[] = {nullptr,          FindAnyOfWide<1>, FindAnyOfWide<2>, FindAnyOfWide<3>,
                                     FindAnyOfWide<4>, FindAnyOfWide<5>, FindAnyOfWide<6>};
    if (!set.bytes.empty() && set.bytes.size() < std::size(kWide)) p = kWide[set.bytes.size()](p, end, set.bytes);
#endif
    while (p < end && !set.member[*p]) ++p;
    return p;
}

const uint8_t* CPdfStringSkip::Skip(const uint8_t* p, const uint8_t* end) {
    if (state_ == State::Hex) {
        const void* close = std::memchr(p, '>', static_cast<size_t>(end - p));
        if (close == nullptr) return end;
        state_ = State::Outside;
        return static_cast<const uint8_t*>(close) + 1;
    }
    while (state_ != State::Outside && p < end) {
        if (state_ == State::Escape) {
            state_ = State::Literal;
            ++p;
            continue;
        }
        p = FindStringStop(p, end);
        if (p == end) break;
        const uint8_t c = *p++;
        if (c == '\\') {
            state_ = State::Escape;
        } else if (c == '(') {
            ++depth_;
        } else if (--depth_ == 0) {
            state_ = State::Outside;
        }
    }
    return p;
}

const uint8_t* SkipLiteralString(const uint8_t* p, const uint8_t* end) {
    CPdfStringSkip skip;
    skip.BeginLiteral();
    return skip.Skip(p, end);
}

const uint8_t* SkipHexString(const uint8_t* p, const uint8_t* end) {
    CPdfStringSkip skip;
    skip.BeginHex();
    return skip.Skip(p, end);
}

size_t SkipLiteralString(std::string_view text, size_t at) {
    if (at >= text.size()) return text.size();
    return static_cast<size_t>(SkipLiteralString(Bytes(text) + at, Bytes(text) + text.size()) - Bytes(text));
}

size_t SkipHexString(std::string_view text, size_t at) {
    if (at >= text.size()) return text.size();
    return static_cast<size_t>(SkipHexString(Bytes(text) + at, Bytes(text) + text.size()) - Bytes(text));
}
