#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A font file and the face in it.
struct FontLocation {
    std::string path;
    uint32_t faceIndex = 0;
};

// Loads the system's font configuration (fontconfig) for the whole process:
// FindFontsCovering loads it on first use and every later call shares it. A
// program that finds fonts on several threads loads it before they start.
void LoadSystemFonts();

// The system's TrueType and OpenType fonts (through fontconfig) that hold
// every character of `characters`, the closest to `family` first. A name like
// "Arial-BoldItalic" asks for the family "Arial" in the style "BoldItalic".
std::vector<FontLocation> FindFontsCovering(std::u32string_view characters, std::string_view family);
