#pragma once

#include <array>
#include <cstdint>

// The classes of bytes in PDF syntax: white space (exactly NUL, HT, LF, FF,
// CR and SP), delimiters, and the regular characters that make up numbers,
// keywords and operators; among them the decimal digits. One table, read by
// the lexer and by every scanner of raw bytes.

enum PdfCharClass : uint8_t {
    kPdfWhite = 1,
    kPdfDelimiter = 2,
    kPdfDigit = 4,
};

constexpr std::array<uint8_t, 256> MakePdfCharClasses() {
    std::array<uint8_t, 256> table{};
    for (unsigned char c : {'\0', '\t', '\n', '\f', '\r', ' '}) table[c] = kPdfWhite;
    for (unsigned char c : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'}) table[c] = kPdfDelimiter;
    for (unsigned char c = '0'; c <= '9'; ++c) table[c] = kPdfDigit;
    return table;
}

inline constexpr std::array<uint8_t, 256> kPdfCharClasses = MakePdfCharClasses();

constexpr bool IsPdfWhite(unsigned char c) { return (kPdfCharClasses[c] & kPdfWhite) != 0; }
constexpr bool IsPdfDelimiter(unsigned char c) { return (kPdfCharClasses[c] & kPdfDelimiter) != 0; }
constexpr bool IsPdfRegular(unsigned char c) { return (kPdfCharClasses[c] & (kPdfWhite | kPdfDelimiter)) == 0; }
constexpr bool IsPdfDigit(unsigned char c) { return (kPdfCharClasses[c] & kPdfDigit) != 0; }

// The value of a hexadecimal digit (either case), -1 for any other byte and
// for the end of the data (a negative `c`).
constexpr int PdfHexValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
