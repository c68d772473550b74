#pragma once

// The classes of bytes in PDF syntax: white space, delimiters, and the
// regular characters that make up numbers, keywords and operators.

constexpr bool IsPdfWhite(unsigned char c) {
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

constexpr bool IsPdfDelimiter(unsigned char c) {
    switch (c) {
        case '(': case ')': case '<': case '>': case '[': case ']': case '{': case '}': case '/': case '%':
            return true;
        default:
            return false;
    }
}

constexpr bool IsPdfRegular(unsigned char c) { return !IsPdfWhite(c) && !IsPdfDelimiter(c); }
