#pragma once

#include <string_view>

// The keywords and keys that the scanners of raw object bytes look for.
inline constexpr std::string_view kObj = "obj";
inline constexpr std::string_view kEndObj = "endobj";
inline constexpr std::string_view kStream = "stream";
inline constexpr std::string_view kEndStream = "endstream";
inline constexpr std::string_view kLength = "Length";
inline constexpr std::string_view kType = "Type";
