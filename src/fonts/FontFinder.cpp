#include "fonts/FontFinder.h"

#include <fontconfig/fontconfig.h>
#include <harfbuzz/hb-ot.h>
#include <harfbuzz/hb.h>
#include <algorithm>
#include <memory>

#include "base/UniqueHandle.h"
#include "fonts/CharacterClasses.h"

namespace {

using ConfigPtr = UniqueHandle<FcConfig, FcConfigDestroy>;
using PatternPtr = UniqueHandle<FcPattern, FcPatternDestroy>;
using CharSetPtr = UniqueHandle<FcCharSet, FcCharSetDestroy>;
using FontSetPtr = UniqueHandle<FcFontSet, FcFontSetDestroy>;

const FcChar8* Text(const std::string& text) { return reinterpret_cast<const FcChar8*>(text.c_str()); }

// fontconfig's name for a language: lower case, with the Chinese script
// subtags turned into the regions fontconfig knows.
std::string FontconfigLanguage(std::string_view tag) {
    std::string name;
    for (const char c : tag) name.push_back(c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c);
    if (name.starts_with("zh-hant")) return name.find("-hk") != std::string::npos ? "zh-hk" : "zh-tw";
    if (name.starts_with("zh-hans")) return "zh-cn";
    return name;
}

// Whether fontconfig's entry is a font this program can embed: TrueType or
// CFF outlines.
bool HasOutlines(FcPattern* font) {
    FcChar8* format = nullptr;
    FcBool outline = FcFalse;
    if (FcPatternGetString(font, FC_FONTFORMAT, 0, &format) != FcResultMatch ||
        FcPatternGetBool(font, FC_OUTLINE, 0, &outline) != FcResultMatch || outline != FcTrue) {
        return false;
    }
    const std::string kind(reinterpret_cast<const char*>(format));
    return kind == "TrueType" || kind == "CFF";
}

// Whether the font has forms of its own for the language: an OpenType
// language system for it in one of its scripts.
bool HasFormsFor(const FontLocation& font, std::string_view language) {
    hb_tag_t tags[8];
    unsigned count = 8;
    unsigned scriptCount = 0;
    hb_ot_tags_from_script_and_language(HB_SCRIPT_UNKNOWN,
                                        hb_language_from_string(language.data(), static_cast<int>(language.size())),
                                        &scriptCount, nullptr, &count, tags);
    hb_blob_t* blob = hb_blob_create_from_file_or_fail(font.path.c_str());
    if (blob == nullptr) return false;
    hb_face_t* face = hb_face_create(blob, static_cast<unsigned>(font.faceIndex));
    bool found = false;
    const unsigned scripts = hb_ot_layout_table_get_script_tags(face, HB_OT_TAG_GSUB, 0, nullptr, nullptr);
    for (unsigned script = 0; script < scripts && !found; ++script) {
        unsigned index = 0;
        found = count > 0 && hb_ot_layout_script_select_language(face, HB_OT_TAG_GSUB, script, count, tags, &index);
    }
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    return found;
}

PatternPtr Pattern(FcCharSet* needed, std::string_view family, std::string_view language) {
    PatternPtr pattern(FcPatternCreate());
    const std::string name(family);
    const size_t dash = name.find('-');
    FcPatternAddString(pattern.get(), FC_FAMILY, Text(name.substr(0, dash)));
    if (dash != std::string::npos) FcPatternAddString(pattern.get(), FC_STYLE, Text(name.substr(dash + 1)));
    if (!language.empty()) FcPatternAddString(pattern.get(), FC_LANG, Text(FontconfigLanguage(language)));
    FcPatternAddBool(pattern.get(), FC_OUTLINE, FcTrue);
    FcPatternAddCharSet(pattern.get(), FC_CHARSET, needed);
    return pattern;
}

// A font fontconfig offers: where it is, how many of the characters it has,
// and its style.
struct Candidate {
    FontLocation location;
    uint32_t has = 0;
    double weight = 0;
    int slant = 0;
};

// Chinese, Japanese and Korean characters: one code point stands for forms
// that differ by language.
bool IsCjk(char32_t c) {
    return (c >= 0x2E80 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) ||
           (c >= 0xFF00 && c <= 0xFFEF) || (c >= 0x20000 && c <= 0x3FFFF);
}

// The fonts in fontconfig's order, except that for Chinese, Japanese and
// Korean text, of those holding the most characters in the style fontconfig
// chose first, the ones with forms of their own for the language come first
// (fontconfig's own configuration may prefer a font of another language for
// the same characters: a Chinese font for Japanese).
std::vector<FontLocation> Ranked(std::vector<Candidate> fonts, std::string_view language) {
    const auto most = std::max_element(fonts.begin(), fonts.end(),
                                       [](const Candidate& a, const Candidate& b) { return a.has < b.has; });
    if (!language.empty() && most != fonts.end()) {
        const Candidate best = *most;
        std::stable_partition(fonts.begin(), fonts.end(), [&best, language](const Candidate& font) {
            return font.has == best.has && font.weight == best.weight && font.slant == best.slant &&
                   HasFormsFor(font.location, language);
        });
    }
    std::vector<FontLocation> ranked;
    for (Candidate& font : fonts) ranked.push_back(std::move(font.location));
    return ranked;
}

// The system's font configuration, loaded on first use: loading reads every
// font cache, which later searches need not do again.
FcConfig* SystemFonts() {
    static const ConfigPtr config(FcInitLoadConfigAndFonts());
    return config.get();
}

}  // namespace

void LoadSystemFonts() { SystemFonts(); }

std::vector<FontLocation> FindFontsFor(std::u32string_view characters, std::string_view family,
                                       std::string_view language) {
    std::vector<Candidate> found;
    FcConfig* config = SystemFonts();
    if (config == nullptr) return {};
    const CharSetPtr needed(FcCharSetCreate());
    for (const char32_t c : characters) {
        if (!IsDefaultIgnorable(c)) FcCharSetAddChar(needed.get(), c);
    }
    const PatternPtr pattern = Pattern(needed.get(), family, language);
    FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    const FontSetPtr fonts(FcFontSort(config, pattern.get(), FcFalse, nullptr, &result));
    if (!fonts) return {};
    for (int i = 0; i < fonts->nfont; ++i) {
        FcPattern* font = fonts->fonts[i];
        FcCharSet* charset = nullptr;
        FcChar8* file = nullptr;
        int index = 0;
        if (!HasOutlines(font) || FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch ||
            FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) {
            continue;
        }
        const CharSetPtr common(FcCharSetIntersect(needed.get(), charset));
        const uint32_t has = common ? FcCharSetCount(common.get()) : 0;
        if (has == 0) continue;
        FcPatternGetInteger(font, FC_INDEX, 0, &index);
        Candidate candidate;
        // The upper bits name a variable font's named instance; the face is the lower ones.
        candidate.location = {reinterpret_cast<const char*>(file), index & 0xFFFF};
        candidate.has = has;
        FcPatternGetDouble(font, FC_WEIGHT, 0, &candidate.weight);
        FcPatternGetInteger(font, FC_SLANT, 0, &candidate.slant);
        found.push_back(std::move(candidate));
    }
    const bool cjk = std::any_of(characters.begin(), characters.end(), IsCjk);
    return Ranked(std::move(found), cjk ? language : std::string_view());
}
