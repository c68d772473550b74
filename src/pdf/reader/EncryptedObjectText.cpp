#include "pdf/reader/EncryptedObjectText.h"

#include <cstdint>
#include <cstring>

#include "pdf/object/DecimalDigits.h"
#include "pdf/object/PdfCharClass.h"

namespace {

// Digits of a direct /Length that is rewritten; a longer one is left as it is.
constexpr size_t kLongestLength = 12;

bool IsWhite(char c) { return IsPdfWhite(static_cast<unsigned char>(c)); }
bool IsRegularChar(char c) { return IsPdfRegular(static_cast<unsigned char>(c)); }

std::string HexText(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() * 2 + 2);
    out.push_back('<');
    for (unsigned char c : bytes) {
        out.push_back(kDigits[c >> 4]);
        out.push_back(kDigits[c & 0x0F]);
    }
    out.push_back('>');
    return out;
}

// The bytes of the literal string opening at text[at] ("("); `at` moves past
// its closing parenthesis (or to the end).
std::string LiteralBytes(std::string_view text, size_t& at) {
    std::string bytes;
    int depth = 1;
    ++at;
    while (at < text.size()) {
        char c = text[at++];
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (--depth == 0) break;
        } else if (c == '\\') {
            if (at >= text.size()) break;
            c = text[at++];
            switch (c) {
                case 'n':
                    c = '\n';
                    break;
                case 'r':
                    c = '\r';
                    break;
                case 't':
                    c = '\t';
                    break;
                case 'b':
                    c = '\b';
                    break;
                case 'f':
                    c = '\f';
                    break;
                case '\n':
                    continue;
                case '\r':
                    if (at < text.size() && text[at] == '\n') ++at;
                    continue;
                default:
                    if (c >= '0' && c <= '7') {
                        int value = c - '0';
                        for (int i = 0; i < 2 && at < text.size() && text[at] >= '0' && text[at] <= '7'; ++i)
                            value = value * 8 + (text[at++] - '0');
                        c = static_cast<char>(value & 0xFF);
                    }
                    break;
            }
        }
        bytes.push_back(c);
    }
    return bytes;
}

// The bytes of the hex string opening at text[at] ("<"); `at` moves past its ">".
std::string HexBytes(std::string_view text, size_t& at) {
    std::string bytes;
    int high = -1;
    ++at;
    while (at < text.size()) {
        const char c = text[at++];
        if (c == '>') break;
        const int digit = PdfHexValue(c);
        if (digit < 0) continue;
        if (high < 0) {
            high = digit;
        } else {
            bytes.push_back(static_cast<char>(high * 16 + digit));
            high = -1;
        }
    }
    if (high >= 0) bytes.push_back(static_cast<char>(high * 16));
    return bytes;
}

}  // namespace

bool MayHoldString(std::string_view text) {
    if (text.find('(') != std::string_view::npos) return true;
    for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 2)) {
        if (at + 1 >= text.size() || text[at + 1] != '<') return true;
    }
    return false;
}

std::string EncryptObjectText(std::string_view text, const std::function<std::string(std::string_view)>& encryptString,
                              const std::function<std::string(std::string_view)>& encryptStream) {
    std::string out;
    out.reserve(text.size() + 64);
    int depth = 0;
    bool lengthNext = false;
    // Where the top dictionary's direct /Length stands in `out`, and its value.
    size_t lengthAt = std::string::npos;
    size_t lengthSize = 0;
    int64_t length = -1;
    size_t at = 0;
    while (at < text.size()) {
        const char c = text[at];
        if (c == '%') {
            const size_t end = text.find_first_of("\r\n", at);
            const size_t stop = end == std::string_view::npos ? text.size() : end;
            out.append(text.substr(at, stop - at));
            at = stop;
            continue;
        }
        if (c == '(' || (c == '<' && (at + 1 >= text.size() || text[at + 1] != '<'))) {
            const size_t begin = at;
            const std::string bytes = c == '(' ? LiteralBytes(text, at) : HexBytes(text, at);
            if (encryptString) {
                out += HexText(encryptString(bytes));
            } else {
                out.append(text.substr(begin, at - begin));
            }
            lengthNext = false;
            continue;
        }
        if (c == '<' || c == '[') {
            const size_t size = c == '<' ? 2 : 1;
            out.append(text.substr(at, size));
            at += size;
            ++depth;
            lengthNext = false;
            continue;
        }
        if (c == '>' || c == ']') {
            const size_t size = c == '>' && at + 1 < text.size() && text[at + 1] == '>' ? 2 : 1;
            out.append(text.substr(at, size));
            at += size;
            --depth;
            lengthNext = false;
            continue;
        }
        if (c == '/') {
            size_t end = at + 1;
            while (end < text.size() && IsRegularChar(text[end])) ++end;
            const std::string_view name = text.substr(at, end - at);
            out.append(name);
            at = end;
            lengthNext = depth == 1 && name == "/Length";
            continue;
        }
        if (IsWhite(c)) {
            out.push_back(c);
            ++at;
            continue;
        }
        size_t end = at;
        while (end < text.size() && IsRegularChar(text[end])) ++end;
        if (end == at) ++end;  // a stray delimiter
        const std::string_view word = text.substr(at, end - at);
        if (lengthNext) {
            lengthNext = false;
            // A direct integer, not the first number of a reference.
            size_t next = end;
            while (next < text.size() && IsWhite(text[next])) ++next;
            const bool reference = next < text.size() && IsPdfDigit(static_cast<unsigned char>(text[next]));
            const DecimalDigits digits = DecimalDigits::Scan(word, 0, DigitOverflow::Stop);
            if (!reference && word.size() <= kLongestLength && digits.count == word.size()) {
                lengthAt = out.size();
                lengthSize = word.size();
                length = static_cast<int64_t>(digits.value);
            }
        }
        out.append(word);
        at = end;
        if (word != "stream" || depth != 0 || length < 0) continue;
        // The data starts after the line end that follows "stream".
        if (at < text.size() && text[at] == '\r') out.push_back(text[at++]);
        if (at < text.size() && text[at] == '\n') out.push_back(text[at++]);
        if (static_cast<uint64_t>(length) > text.size() - at) {
            out.append(text.substr(at));
            break;
        }
        const std::string_view data = text.substr(at, static_cast<size_t>(length));
        at += data.size();
        if (encryptStream) {
            const std::string encrypted = encryptStream(data);
            out.replace(lengthAt, lengthSize, std::to_string(encrypted.size()));
            out += encrypted;
        } else {
            out.append(data);
        }
        out.append(text.substr(at));
        break;
    }
    return out;
}
