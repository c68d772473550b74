#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The stamp text as typed: UTF-8 from terminals and scripts, or bytes already
// meant as Windows-1252 codes.

// The code points of `text` when it is well-formed UTF-8 (no overlong forms,
// surrogates or values above U+10FFFF); nothing otherwise.
std::optional<std::u32string> DecodeUtf8(std::string_view text);

// The code points a Windows-1252 byte string stands for (0x80-0x9F through the
// code page's table; its five unassigned codes are kept as U+0081 and so on).
std::u32string DecodeWindows1252(std::string_view text);

// The characters a text option stands for: UTF-8 when it is valid,
// Windows-1252 codes otherwise (each option is decided by itself).
std::u32string DecodeTyped(std::string_view text);

// The Windows-1252 code of a code point; nothing when the code page lacks it.
std::optional<unsigned char> Windows1252Code(char32_t c);

// The text for a font declared with /WinAnsiEncoding: valid UTF-8 whose every
// character Windows-1252 holds becomes those codes; anything else (invalid
// UTF-8, or characters outside the code page) comes back unchanged.
std::string ToWindows1252(std::string_view text);

// Whether `text` is valid UTF-8 holding a character Windows-1252 lacks: such a
// text needs a font of its own.
bool NeedsUnicodeFont(std::string_view text);

std::string EncodeUtf8(std::u32string_view text);

// `value` as four upper-case hexadecimal digits.
void AppendHex16(std::string& out, uint32_t value);
// The text in UTF-16BE as hexadecimal digits, for /ToUnicode maps and
// /ActualText strings.
void AppendUtf16Hex(std::string& out, std::u32string_view text);
