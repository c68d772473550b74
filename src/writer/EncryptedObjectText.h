#pragma once

#include <functional>
#include <string>
#include <string_view>

// Rewrites the text of a plain object so that it reads as an encrypted one:
// every string (literal or hex, outside comments) becomes the hex string of
// `encryptString` applied to its bytes, and the data of a stream with a direct
// /Length becomes `encryptStream` of it, its /Length changed to match. A null
// function leaves those values as they are. Everything else is copied as it is.
std::string EncryptObjectText(std::string_view text, const std::function<std::string(std::string_view)>& encryptString,
                              const std::function<std::string(std::string_view)>& encryptStream);

// Whether the text may hold a string: it has "(" or a "<" that does not open a
// dictionary.
bool MayHoldString(std::string_view text);
