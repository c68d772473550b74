#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "fonts/EmbeddedFont.h"
#include "fonts/TextLayout.h"

class COutputWriter;

// The embedded fonts of a run's text, one for each font of the layout that
// the pages use, and the operators that draw a laid-out line with them.
//
// A line is drawn in reading order, each glyph at its place (TJ adjustments
// move the pen back and forth, Ts raises or lowers), so that extractors that
// read glyphs as they come get the text as typed, right to left included; the
// drawing is what the layout placed. The spans the layout marks (characters
// dealt out to glyphs drawn in another order, a right-to-left letter with its
// marks) and a glyph whose font's /ToUnicode map cannot give its text (a glyph
// of a CFF font standing for other characters elsewhere) go in a
// marked-content span whose /ActualText is their text.
class CEmbeddedText {
public:
    explicit CEmbeddedText(const CTextLayout& layout);
    ~CEmbeddedText();
    CEmbeddedText(const CEmbeddedText&) = delete;
    CEmbeddedText& operator=(const CEmbeddedText&) = delete;

    // Adds the line's glyphs, and the characters they stand for, to the fonts.
    void Use(const ShapedLine& line);

    // The PDF version the fonts and the drawing of the lines used need: "1.6"
    // for an OpenType font file (CFF outlines), "1.5" when a line draws a span
    // with /ActualText, nothing otherwise.
    std::string_view RequiredVersion() const;

    // A font written for the pages' resources.
    struct Resource {
        std::string name;
        int32_t number = 0;
    };
    // Writes each font a line used, named by `nextName` (each name once).
    std::vector<Resource> WriteObjects(COutputWriter& writer, const std::function<std::string()>& nextName);

    // The resource name of the font the line starts in (for its first "Tf").
    const std::string& FirstResourceName(const ShapedLine& line) const;
    // The operators between that "Tf" and "ET" that draw the line at `fontSize`.
    std::string ShowOperators(const ShapedLine& line, int32_t fontSize) const;
    // The line's advance in thousandths of the font size.
    static int32_t WidthSum(const ShapedLine& line);

private:
    std::vector<std::unique_ptr<CEmbeddedFont>> fonts_;
    // By font: its resource name once written.
    std::vector<std::string> names_;
    // The code of each shaped glyph drawn (they stay where the shapers keep
    // them), found once.
    std::unordered_map<const ShapedGlyph*, CEmbeddedFont::Code> codes_;
    // A line used so far draws a span with /ActualText.
    bool actualText_ = false;
};
