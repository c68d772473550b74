#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "pdf/object/PdfCharClass.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The syntax of PDF strings and names, read and written: decoding literal and
// hex strings, writing bytes as a hex string and a name with its escapes, and
// skipping strings in raw bytes. The lexer, the scanners of raw object bytes,
// the encrypted-object rewriter and the writers of names and hex strings go
// through these.

// The bytes of a literal string whose "(" was just read from `input`, which
// has GetChar() (the next byte and past it, -1 at the end) and LookChar() (the
// next byte, not taken); reads through the ")" that closes it. Balanced
// parentheses inside are bytes of the string. A backslash stands for the byte
// after it, except: \n \r \t \b \f are LF, CR, HT, BS and FF; one to three
// octal digits give the low 8 bits of their value; before a line end (CR, LF
// or CR LF) it continues the line, and the line end is dropped. An unclosed
// string runs to the end of the data; a backslash at the end is dropped.
template <typename Input>
std::string ReadLiteralString(Input& input);

// The same over text: `at` stands just after the "(" and moves past the ")"
// that closes the string (or to the end).
std::string DecodeLiteralString(std::string_view text, size_t& at);

// The bytes the hex digits in `digits` stand for, two digits a byte; other
// bytes (white space) are passed over, and a last digit without its partner
// counts as followed by 0.
std::string DecodeHexString(std::string_view digits);
// The same for the hex string in text whose "<" stands just before `at`:
// `at` moves past its ">" (or to the end).
std::string DecodeHexString(std::string_view text, size_t& at);

// `bytes` as a hex string: "<", two lowercase digits a byte, ">".
std::string EncodeHexString(std::string_view bytes);

// Whether a byte of a name is written as "#" and two digits: bytes outside
// "!" to "~", and the delimiters and "#".
constexpr bool NeedsNameEscape(unsigned char c) { return c < '!' || c > '~' || c == '#' || IsPdfDelimiter(c); }
// A name's text after its "/": every byte NeedsNameEscape names as "#" and two
// uppercase hex digits, the others as they are.
std::string PdfNameText(std::string_view name);

// A few bytes to look for in raw bytes (sixteen at most), made once.
struct ByteSet {
    constexpr explicit ByteSet(std::string_view wanted) : bytes(wanted) {
        for (const char c : wanted) member[static_cast<uint8_t>(c)] = true;
    }
    std::string_view bytes;
    std::array<bool, 256> member{};
};

// The first byte in [p, end) that is in `set`, or end: long spans sixteen
// bytes at a time where the processor compares them at once (for a set of
// up to six bytes). `shortSpan` bytes are looked at one by one first, for
// searches that mostly stop soon.
const uint8_t* FindAnyOf(const uint8_t* p, const uint8_t* end, const ByteSet& set, ptrdiff_t shortSpan = 32);

// Which of the bytes [p, p + count) are among `Wanted` (count at most 16):
// bit i for p[i]. Sixteen are compared at once where the processor can, in
// line, for scans that visit every byte of interest in a block.
template <char... Wanted>
inline uint32_t MembersOf(const uint8_t* p, size_t count) {
#if defined(__SSE2__)
    if (count == 16) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        __m128i hits = _mm_setzero_si128();
        ((hits = _mm_or_si128(hits, _mm_cmpeq_epi8(block, _mm_set1_epi8(Wanted)))), ...);
        return static_cast<uint32_t>(_mm_movemask_epi8(hits));
    }
#endif
    uint32_t members = 0;
    for (size_t i = 0; i < count; ++i)
        if (((p[i] == static_cast<uint8_t>(Wanted)) || ...)) members |= uint32_t{1} << i;
    return members;
}

// Where a scan of raw bytes stands in a string, kept from one piece of the
// data to the next (a scan that reads a file window by window). A literal
// string ends at the ")" that balances its "(" (a backslash takes the byte
// after it out of the count); a hex string at the first ">".
class CPdfStringSkip {
public:
    // A literal string begins: its "(" was just read.
    void BeginLiteral() {
        state_ = State::Literal;
        depth_ = 1;
    }
    // A hex string begins: its "<" (not followed by another) was just read.
    void BeginHex() { state_ = State::Hex; }
    bool InString() const { return state_ != State::Outside; }

    // Past the end of the string in [p, end); `end` when the string goes on
    // beyond it (or p when there is no string).
    const uint8_t* Skip(const uint8_t* p, const uint8_t* end);

private:
    enum class State : uint8_t { Outside, Literal, Escape, Hex };
    State state_ = State::Outside;
    uint64_t depth_ = 0;
};

// Past the literal string whose "(" stands just before p, or end.
const uint8_t* SkipLiteralString(const uint8_t* p, const uint8_t* end);
// Past the hex string whose "<" stands just before p, or end.
const uint8_t* SkipHexString(const uint8_t* p, const uint8_t* end);
// The same over text, by position: just after the opening byte in, just after
// the string (or the text's size) out.
size_t SkipLiteralString(std::string_view text, size_t at);
size_t SkipHexString(std::string_view text, size_t at);

// After a backslash in a literal string: the byte the escape stands for, -1
// at the end of the data, kNoEscapedByte after a line continuation.
inline constexpr int kNoEscapedByte = -2;
template <typename Input>
int ReadLiteralEscape(Input& input) {
    const int c = input.GetChar();
    switch (c) {
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 't':
            return '\t';
        case 'b':
            return '\b';
        case 'f':
            return '\f';
        case '\r':
            if (input.LookChar() == '\n') input.GetChar();
            return kNoEscapedByte;
        case '\n':
            return kNoEscapedByte;
        default:
            break;
    }
    if (c < '0' || c > '7') return c;
    int value = c - '0';
    for (int i = 0; i < 2; ++i) {
        const int next = input.LookChar();
        if (next < '0' || next > '7') break;
        input.GetChar();
        value = value * 8 + (next - '0');
    }
    return value & 0xFF;
}

template <typename Input>
std::string ReadLiteralString(Input& input) {
    std::string bytes;
    uint64_t depth = 1;
    for (;;) {
        int c = input.GetChar();
        if (c < 0) break;
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) break;
        } else if (c == '\\') {
            c = ReadLiteralEscape(input);
            if (c == kNoEscapedByte) continue;
            if (c < 0) break;
        }
        bytes.push_back(static_cast<char>(c));
    }
    return bytes;
}
