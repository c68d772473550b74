#include "pdf/object/CPdfString.h"

#include "pdf/object/PdfSyntax.h"

std::string CPdfString::writeHex() const {
    if (isLiteral_) return EncodeHexString(data_);
    std::string out;
    out.reserve(data_.size() + 2);
    out.push_back('<');
    out += data_;
    out.push_back('>');
    return out;
}

std::string CPdfString::bytes() const { return isLiteral_ ? data_ : DecodeHexString(data_); }
