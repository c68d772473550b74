#include "fonts/Utf8Text.h"

namespace {

// Code points of the Windows-1252 codes 0x80 to 0x9F; 0 where unassigned.
constexpr char32_t kHighControls[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                        0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr char kHex[] = "0123456789ABCDEF";

}  // namespace

std::optional<std::u32string> DecodeUtf8(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t c = 0;
        char32_t minimum = 0;
        if (lead < 0x80) {
            c = lead;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1, c = lead & 0x1F, minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2, c = lead & 0x0F, minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3, c = lead & 0x07, minimum = 0x10000;
        } else {
            return std::nullopt;
        }
        if (text.size() - i <= static_cast<size_t>(extra)) return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            const auto next = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((next & 0xC0) != 0x80) return std::nullopt;
            c = (c << 6) | (next & 0x3F);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
        out.push_back(c);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

std::u32string DecodeWindows1252(std::string_view text) {
    std::u32string out;
    out.reserve(text.size());
    for (const char byte : text) {
        const auto code = static_cast<unsigned char>(byte);
        const char32_t mapped = code >= 0x80 && code <= 0x9F ? kHighControls[code - 0x80] : 0;
        out.push_back(mapped != 0 ? mapped : char32_t{code});
    }
    return out;
}

std::u32string DecodeTyped(std::string_view text) {
    std::optional<std::u32string> decoded = DecodeUtf8(text);
    return decoded ? std::move(*decoded) : DecodeWindows1252(text);
}

std::optional<unsigned char> Windows1252Code(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
    for (unsigned k = 0; k < 32; ++k) {
        if (kHighControls[k] == c) return static_cast<unsigned char>(0x80 + k);
    }
    return std::nullopt;
}

std::string ToWindows1252(std::string_view text) {
    const std::optional<std::u32string> decoded = DecodeUtf8(text);
    if (!decoded || decoded->size() == text.size()) return std::string(text);
    std::string out;
    out.reserve(decoded->size());
    for (const char32_t c : *decoded) {
        const std::optional<unsigned char> code = Windows1252Code(c);
        if (!code) return std::string(text);
        out.push_back(static_cast<char>(*code));
    }
    return out;
}

bool NeedsUnicodeFont(std::string_view text) {
    const std::optional<std::u32string> decoded = DecodeUtf8(text);
    if (!decoded) return false;
    for (const char32_t c : *decoded) {
        if (!Windows1252Code(c)) return true;
    }
    return false;
}

std::string EncodeUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char32_t c : text) {
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

void AppendHex16(std::string& out, uint32_t value) {
    for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(value >> shift) & 0xF]);
}

void AppendUtf16Hex(std::string& out, std::u32string_view text) {
    for (const char32_t c : text) {
        if (c >= 0x10000) {
            AppendHex16(out, 0xD800 + ((c - 0x10000) >> 10));
            AppendHex16(out, 0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            AppendHex16(out, c);
        }
    }
}
