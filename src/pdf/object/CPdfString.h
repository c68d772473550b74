#pragma once

#include <string>
#include <string_view>

// A PDF string value. A literal string holds its bytes (escapes already
// processed); a hex string holds the characters that stood between "<" and
// ">" in the file, undecoded, so that it is written back exactly as read.
class CPdfString {
public:
    CPdfString() = default;
    explicit CPdfString(std::string bytes, bool isLiteral = true) : data_(std::move(bytes)), isLiteral_(isLiteral) {}

    bool isLiteral() const { return isLiteral_; }
    const std::string& data() const { return data_; }
    size_t length() const { return data_.size(); }

    // The string in hex form between angle brackets: a literal string as two
    // lowercase digits per byte, a hex string exactly as it was read.
    std::string writeHex() const;
    // The string's bytes: a hex string's digits decoded (a missing last digit
    // counts as 0), a literal string's bytes as they are.
    std::string bytes() const;

    bool operator==(const CPdfString&) const = default;

private:
    std::string data_;
    bool isLiteral_ = true;
};
