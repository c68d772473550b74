#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A font file and the face in it.
struct FontLocation {
    std::string path;
    int32_t faceIndex = 0;
};

// Loads the system's font configuration (fontconfig) for the whole process:
// FindFontsFor loads it on first use and every later call shares it. A
// program that finds fonts on several threads loads it before they start.
void LoadSystemFonts();

// The system's TrueType and OpenType fonts with outline glyphs (through
// fontconfig; colour bitmap fonts are left out) that hold at least one
// character of `characters`, in fontconfig's order: those holding the most
// first, then the closest to `family` and to `language` (a BCP 47 tag, or ""
// for none); for Chinese, Japanese and Korean text, of those holding the
// most, the ones with forms of their own for the language (an OpenType
// language system) go first. A name like
// "Arial-BoldItalic" asks for the family "Arial" in the style "BoldItalic".
std::vector<FontLocation> FindFontsFor(std::u32string_view characters, std::string_view family,
                                       std::string_view language);
