#include "fonts/FontFinder.h"

#include <fontconfig/fontconfig.h>

#include "base/UniqueHandle.h"
#include "fonts/TextShaper.h"

namespace {

using ConfigPtr = UniqueHandle<FcConfig, FcConfigDestroy>;
using PatternPtr = UniqueHandle<FcPattern, FcPatternDestroy>;
using CharSetPtr = UniqueHandle<FcCharSet, FcCharSetDestroy>;
using FontSetPtr = UniqueHandle<FcFontSet, FcFontSetDestroy>;

const FcChar8* Text(const std::string& text) { return reinterpret_cast<const FcChar8*>(text.c_str()); }

// The system's font configuration, loaded on first use: loading reads every
// font cache, which runs after the first need not do again.
FcConfig* SystemFonts() {
    static const ConfigPtr config(FcInitLoadConfigAndFonts());
    return config.get();
}

}  // namespace

void LoadSystemFonts() { SystemFonts(); }

std::vector<FontLocation> FindFontsCovering(std::u32string_view characters, std::string_view family) {
    std::vector<FontLocation> found;
    FcConfig* config = SystemFonts();
    if (config == nullptr) return found;
    const CharSetPtr needed(FcCharSetCreate());
    for (const char32_t c : characters) {
        if (!IsIgnorableCharacter(c)) FcCharSetAddChar(needed.get(), c);
    }
    const PatternPtr pattern(FcPatternCreate());
    const std::string name(family);
    const size_t dash = name.find('-');
    FcPatternAddString(pattern.get(), FC_FAMILY, Text(name.substr(0, dash)));
    if (dash != std::string::npos) FcPatternAddString(pattern.get(), FC_STYLE, Text(name.substr(dash + 1)));
    FcPatternAddCharSet(pattern.get(), FC_CHARSET, needed.get());
    FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
    FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    const FontSetPtr fonts(FcFontSort(config, pattern.get(), FcFalse, nullptr, &result));
    if (!fonts) return found;
    for (int i = 0; i < fonts->nfont; ++i) {
        FcPattern* font = fonts->fonts[i];
        FcCharSet* charset = nullptr;
        FcChar8* file = nullptr;
        FcChar8* format = nullptr;
        int index = 0;
        if (FcPatternGetCharSet(font, FC_CHARSET, 0, &charset) != FcResultMatch ||
            FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch ||
            FcPatternGetString(font, FC_FONTFORMAT, 0, &format) != FcResultMatch ||
            !FcCharSetIsSubset(needed.get(), charset)) {
            continue;
        }
        const std::string kind(reinterpret_cast<const char*>(format));
        if (kind != "TrueType" && kind != "CFF") continue;
        FcPatternGetInteger(font, FC_INDEX, 0, &index);
        // The upper bits name a variable font's named instance; the face is the lower ones.
        found.push_back({reinterpret_cast<const char*>(file), static_cast<uint32_t>(index) & 0xFFFFu});
    }
    return found;
}
