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
