#include "pdf/object/CPdfString.h"

std::string CPdfString::writeHex() const {
    std::string out;
    out.reserve((isLiteral_ ? data_.size() * 2 : data_.size()) + 2);
    out.push_back('<');
    if (isLiteral_) {
        static constexpr char kDigits[] = "0123456789abcdef";
        for (unsigned char c : data_) {
            out.push_back(kDigits[c >> 4]);
            out.push_back(kDigits[c & 0x0F]);
        }
    } else {
        out += data_;
    }
    out.push_back('>');
    return out;
}

std::string CPdfString::bytes() const {
    if (isLiteral_) return data_;
    const auto digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    out.reserve(data_.size() / 2 + 1);
    int high = -1;
    for (char c : data_) {
        const int value = digit(c);
        if (value < 0) continue;
        if (high < 0) {
            high = value;
        } else {
            out.push_back(static_cast<char>(high * 16 + value));
            high = -1;
        }
    }
    if (high >= 0) out.push_back(static_cast<char>(high * 16));
    return out;
}
