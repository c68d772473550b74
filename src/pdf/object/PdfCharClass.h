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

// The same for a byte held in a char, as text keeps it.
constexpr bool IsPdfWhite(char c) { return IsPdfWhite(static_cast<unsigned char>(c)); }
constexpr bool IsPdfDelimiter(char c) { return IsPdfDelimiter(static_cast<unsigned char>(c)); }
constexpr bool IsPdfRegular(char c) { return IsPdfRegular(static_cast<unsigned char>(c)); }
constexpr bool IsPdfDigit(char c) { return IsPdfDigit(static_cast<unsigned char>(c)); }

// The same for a byte as a reader of streams returns it: 0 to 255, or -1 at
// the end of the data, which is in no class.
constexpr bool IsPdfWhite(int c) { return c >= 0 && c <= 0xFF && IsPdfWhite(static_cast<unsigned char>(c)); }
constexpr bool IsPdfRegular(int c) { return c >= 0 && c <= 0xFF && IsPdfRegular(static_cast<unsigned char>(c)); }
constexpr bool IsPdfDigit(int c) { return c >= 0 && c <= 0xFF && IsPdfDigit(static_cast<unsigned char>(c)); }

// The value of a hexadecimal digit (either case), -1 for any other byte and
// for the end of the data (a negative `c`).
constexpr int PdfHexValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
