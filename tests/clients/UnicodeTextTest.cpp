// Stamp texts in any script, run whole and checked by poppler and qpdf: UTF-8
// shown through the built-in fonts' Windows-1252 codes, and other scripts
// drawn with an embedded, shaped font subset.
#include <gtest/gtest.h>

#include <harfbuzz/hb.h>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

#include "support/CaseName.h"
#include "support/ExternalTools.h"
#include "support/PdfBuilder.h"
#include "support/StampRunner.h"
#include "support/TestFiles.h"

namespace {

const std::string kFonts = "/usr/share/fonts/truetype/";

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

struct BuiltInCase {
    std::vector<std::string> params;
    std::string shown;  // the bytes between the parentheses of the first page
};

class BuiltInFontText : public ::testing::TestWithParam<BuiltInCase> {};

TEST_P(BuiltInFontText, ShowsTheseCodes) {
    const StampResult result = RunTextStamp(BlankLetterPages(1), GetParam().params);
    ASSERT_TRUE(result.output) << result.message;
    EXPECT_NE(result.output->find("\n(" + GetParam().shown + ") Tj\nET"), std::string::npos);
    EXPECT_EQ(Count(*result.output, "/WinAnsiEncoding"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, BuiltInFontText,
                         ::testing::Values(
                             // UTF-8 within Windows-1252: its codes.
                             BuiltInCase{{"-prefix", "Página ", "-end", " — Größe €"},
                                         "P\xE1gina 1 / 1 \x97 Gr\xF6\xDF"
                                         "e \x80"},
                             // Not UTF-8: the bytes as given.
                             BuiltInCase{{"-prefix", "P\xE1gina "}, "P\xE1gina 1 / 1"},
                             // Each option by itself: UTF-8 beside Windows-1252 codes.
                             BuiltInCase{{"-prefix", "Página ", "-end", " \xE9t\xE9"}, "P\xE1gina 1 / 1 \xE9t\xE9"},
                             // A symbol font's codes are pictures, UTF-8 or not.
                             BuiltInCase{{"-font", "ZapfDingbats", "-prefix", "é "}, "\xC3\xA9 1 / 1"},
                             // Its codes from 128 to 159 are pictures, not control characters.
                             BuiltInCase{{"-font", "ZapfDingbats", "-prefix", "\x8D "}, "\x8D 1 / 1"},
                             // ASCII as it is.
                             BuiltInCase{{"-prefix", "Page (x) "}, "Page \\(x\\) 1 / 1"}));

TEST(BuiltInFontTextTest, CopiesAsTyped) {
    if (!HaveTool("pdftotext")) GTEST_SKIP() << "poppler-utils is not installed";
    const TempFolder folder;
    WriteFile(folder.File("in.pdf"), BlankLetterPages(2));
    ASSERT_EQ(StampFile("text", folder.File("in.pdf"), folder.File("out.pdf"), {"-prefix", "Página ", "-end", " €"}),
              "");
    EXPECT_EQ(PdfTextByPage(folder.File("out.pdf")), (std::vector<std::string>{"Página 1 / 2 €", "Página 2 / 2 €"}));
    // Each option by itself, with an embedded font too: Cyrillic in UTF-8
    // beside Windows-1252 codes.
    ASSERT_EQ(StampFile("text", folder.File("in.pdf"), folder.File("out.pdf"),
                        {"-prefix", "Страница ", "-end", " \xE9t\xE9"}),
              "");
    EXPECT_EQ(PdfTextByPage(folder.File("out.pdf")).at(0), "Страница 1 / 2 été");
}

struct EmbeddedCase {
    const char* name;
    std::string fontFile;  // empty: found through fontconfig
    std::string needs;     // a font file the case needs
    std::vector<std::string> params;
    std::string prefix, separator;
    bool shaped;  // the glyphs differ from the characters' own
    bool rightToLeft = false;
};

// The text without white space and the marks of direction poppler adds.
std::string Bare(const std::string& text) {
    return std::regex_replace(text, std::regex("\xE2\x80[\xAA-\xAE]|\\s"), "");
}

// Its characters in order of their bytes: poppler gives a right-to-left
// letter and its marks, or a ligature, turned around.
std::multiset<std::string> Characters(const std::string& text) {
    std::multiset<std::string> characters;
    for (size_t at = 0; at < text.size();) {
        size_t end = at + 1;
        while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
        characters.insert(text.substr(at, end - at));
        at = end;
    }
    return characters;
}

class EmbeddedFontText : public ::testing::TestWithParam<EmbeddedCase> {};

// The glyph numbers that the first TJ shows, its codes led through the
// /CIDToGIDMap of a TrueType font (a CFF font's codes are its glyphs).
std::vector<uint32_t> ShownGlyphs(const std::string& pdf) {
    const size_t start = pdf.find("Tf\n", pdf.find("stream\nBT"));
    const size_t end = pdf.find("\nET", start);
    std::string map;
    std::smatch found;
    if (std::regex_search(pdf, found, std::regex("/CIDToGIDMap (\\d+) 0 R"))) {
        const size_t object = pdf.find("\n" + found[1].str() + " 0 obj");
        map = pdf.substr(pdf.find("stream\n", object) + 7);
    }
    std::vector<uint32_t> glyphs;
    // The glyph strings, without the /ActualText strings of the spans.
    const std::string array = std::regex_replace(pdf.substr(start, end - start), std::regex("/ActualText <"), "");
    static const std::regex kHex("<([0-9A-F]+)>");
    for (auto it = std::sregex_iterator(array.begin(), array.end(), kHex); it != std::sregex_iterator(); ++it) {
        const std::string hex = (*it)[1];
        for (size_t at = 0; at + 4 <= hex.size(); at += 4) {
            const auto code = static_cast<uint32_t>(std::stoul(hex.substr(at, 4), nullptr, 16));
            if (map.empty()) {
                glyphs.push_back(code);
            } else if (2 * code + 1 < map.size()) {
                glyphs.push_back(static_cast<uint32_t>(static_cast<unsigned char>(map[2 * code]) << 8 |
                                                       static_cast<unsigned char>(map[2 * code + 1])));
            }
        }
    }
    return glyphs;
}
// The glyphs the font maps the characters to, without shaping.
std::set<uint32_t> NominalGlyphs(const std::string& fontFile, const std::string& text) {
    hb_blob_t* blob = hb_blob_create_from_file(fontFile.c_str());
    hb_face_t* face = hb_face_create(blob, 0);
    hb_font_t* font = hb_font_create(face);
    hb_buffer_t* buffer = hb_buffer_create();
    hb_buffer_add_utf8(buffer, text.c_str(), -1, 0, -1);
    unsigned count = 0;
    const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
    std::set<uint32_t> glyphs;
    for (unsigned i = 0; i < count; ++i) {
        hb_codepoint_t glyph = 0;
        hb_font_get_nominal_glyph(font, infos[i].codepoint, &glyph);
        glyphs.insert(glyph);
    }
    hb_buffer_destroy(buffer);
    hb_font_destroy(font);
    hb_face_destroy(face);
    hb_blob_destroy(blob);
    return glyphs;
}

TEST_P(EmbeddedFontText, CopiesRendersAndChecks) {
    const EmbeddedCase& c = GetParam();
    if (!FileExists(c.needs)) GTEST_SKIP() << c.needs << " is not installed";
    if (!HaveTool("pdftotext") || !HaveTool("pdffonts") || !HaveTool("qpdf")) GTEST_SKIP() << "tools missing";
    const TempFolder folder;
    WriteFile(folder.File("in.pdf"), BlankLetterPages(3));
    std::vector<std::string> params = c.params;
    params.insert(params.end(), {"-prefix", c.prefix, "-sep", c.separator, "-size20"});
    if (!c.fontFile.empty()) params.insert(params.end(), {"-fontfile", c.fontFile});
    ASSERT_EQ(StampFile("text", folder.File("in.pdf"), folder.File("out.pdf"), params), "");
    const std::string out = ReadFile(folder.File("out.pdf"));

    EXPECT_EQ(QpdfCheck(folder.File("out.pdf")), 0);
    const std::vector<std::string> pages = PdfTextByPage(folder.File("out.pdf"));
    ASSERT_EQ(pages.size(), 3u);
    for (int page = 1; page <= 3; ++page) {
        const std::string typed = c.prefix + std::to_string(page) + c.separator + "3";
        const std::string& copied = pages[static_cast<size_t>(page - 1)];
        if (c.rightToLeft) {
            EXPECT_EQ(Characters(Bare(copied)), Characters(Bare(typed))) << copied;
        } else {
            EXPECT_EQ(Bare(copied), Bare(typed));
        }
        // MuPDF reads the glyphs as they come: in reading order, right to left too.
        if (HaveTool("mutool")) {
            const std::string command = "mutool draw -q -F txt -o - " + ShellQuote(folder.File("out.pdf")) + " " +
                                        std::to_string(page) + " 2>/dev/null";
            EXPECT_EQ(Bare(RunTool(command).out), Bare(typed));
        }
    }
    // One subset of each font, embedded once, shared by the pages.
    const std::string fonts = RunTool("pdffonts " + ShellQuote(folder.File("out.pdf"))).out;
    EXPECT_EQ(Count(out, "/FontFile2 ") + Count(out, "/FontFile3 "), Count(out, "/Type0"));
    EXPECT_TRUE(std::regex_search(fonts, std::regex("\n[A-Z]{6}\\+\\S+ +CID (TrueType|Type 0C).* yes +yes +yes ")))
        << fonts;
    if (c.shaped) {
        const std::set<uint32_t> nominal = NominalGlyphs(c.needs, c.prefix);
        const std::vector<uint32_t> shown = ShownGlyphs(out);
        EXPECT_TRUE(std::any_of(shown.begin(), shown.end(), [&](uint32_t g) { return nominal.count(g) == 0; }));
    }
    // Ink where the placement says: ending 20 points from the right edge,
    // its baseline 20 points above the bottom.
    const auto before = RenderPage(folder.File("in.pdf"), 1, folder.path());
    const auto after = RenderPage(folder.File("out.pdf"), 1, folder.path());
    ASSERT_TRUE(before && after);
    const PixelBox box = DifferenceBox(*before, *after);
    ASSERT_FALSE(box.empty());
    EXPECT_NEAR(box.right, 612 - 20, 4);
    EXPECT_GT(box.bottom, 792 - 20 - 3);
    EXPECT_LT(box.bottom, 792 - 20 + 12);
    EXPECT_GT(box.top, 792 - 20 - 30);
}

const std::string kDejaVu = kFonts + "dejavu/DejaVuSans.ttf";
const std::string kNaskh = kFonts + "noto/NotoNaskhArabic-Regular.ttf";
const std::string kDevanagari = kFonts + "noto/NotoSansDevanagari-Regular.ttf";
const std::string kThai = kFonts + "noto/NotoSansThai-Regular.ttf";
const std::string kMicroHei = kFonts + "wqy/wqy-microhei.ttc";
const std::string kNotoCjk = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc";
const std::string kEmoji = kFonts + "noto/NotoColorEmoji.ttf";
const std::string kLobster = "/usr/share/fonts/opentype/lobster/lobster.otf";  // CFF outlines
const std::vector<std::string> kRight = {"-fliph", "-align", "right", "-pos20,20"};
std::vector<std::string> With(std::vector<std::string> more) {
    more.insert(more.begin(), kRight.begin(), kRight.end());
    return more;
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, EmbeddedFontText,
    ::testing::Values(EmbeddedCase{"CyrillicFile", kDejaVu, kDejaVu, kRight, "Страница ", " из ", false},
                      EmbeddedCase{"CyrillicFound", "", kDejaVu, kRight, "Страница ", " из ", false},
                      EmbeddedCase{"GreekFile", kDejaVu, kDejaVu, kRight, "Σελίδα ", " από ", false},
                      EmbeddedCase{"GreekFound", "", kDejaVu, With({"-font", "Arial-Bold"}), "Σελίδα ", " / ", false},
                      EmbeddedCase{"LatinFile", kDejaVu, kDejaVu, kRight, "Page ", " of ", false},
                      EmbeddedCase{"LatinCff", kLobster, kLobster, kRight, "Página ", " de ", false},
                      EmbeddedCase{"LatinCffLigatures", kLobster, kLobster, kRight, "office fine ", " / ", true},
                      EmbeddedCase{"Arabic", kNaskh, kNaskh, kRight, "صفحة لا ", " من ", true, true},
                      EmbeddedCase{"ArabicMarks", kNaskh, kNaskh, kRight, "صَفْحَةٌ ", " مِنْ ", true, true},
                      EmbeddedCase{"PersianJoiner", kNaskh, kNaskh, kRight, "صفحه‌ی ", " از ", true, true},
                      EmbeddedCase{"Hebrew", kDejaVu, kDejaVu, kRight, "עמוד ", " מתוך ", false, true},
                      EmbeddedCase{"HebrewPoints", kDejaVu, kDejaVu, kRight, "עַמּוּד ", " מִתּוֹךְ ", false, true},
                      EmbeddedCase{"Devanagari", "", kDevanagari, kRight, "पृष्ठ ", " / ", true},
                      EmbeddedCase{"DevanagariMatras", kDevanagari, kDevanagari, kRight, "कि का कु ", " / ", true},
                      EmbeddedCase{"ThaiDigitsFromAnotherFont", kThai, kThai, kRight, "หน้า ", " จาก ", false},
                      EmbeddedCase{"ThaiFound", "", kThai, kRight, "หน้า ", " จาก ", false},
                      EmbeddedCase{"Chinese", "", kMicroHei, kRight, "第 ", " 页，共 ", false},
                      EmbeddedCase{"ChineseMono", kMicroHei, kMicroHei, With({"-fontindex1"}), "第 ", " 页，共 ",
                                   false},
                      EmbeddedCase{"Japanese", "", kNotoCjk, With({"-lang", "ja"}), "ページ 直 ", " / ", false}),
    CaseName<EmbeddedCase>);

TEST(EmbeddedFontTextTest, FailuresLeaveNoOutput) {
    const TempFolder folder;
    WriteFile(folder.File("type1.pfa"), "%!PS-AdobeFont-1.0: Test 001\n");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-prefix", "\xF4\x8F\xBF\xBD "}, "No font has the character U+10FFFD \xF4\x8F\xBF\xBD of -prefix"},
        {{"-sep", " \xF4\x8F\xBF\xBD "}, "No font has the character U+10FFFD \xF4\x8F\xBF\xBD of -sep"},
        {{"-prefix", "a\tb"}, "The control character U+0009 in -prefix cannot be stamped: a stamp is one line"},
        {{"-end", "\xE9\n"}, "The control character U+000A in -end cannot be stamped: a stamp is one line"},
        {{"-font", "Tmies-Roman", "-prefix", "Страница "}, "Unknown font name"},
        {{"-font", "Tmies-Roman", "-fontfile", kDejaVu}, "Unknown font name"},
        {{"-fontfile", ""}, "Error parameter"},
        {{"-lang", "ja_JP"}, "Error parameter"},
        {{"-fontfile", "/nonexistent/font.ttf"}, "Font file open error"},
        {{"-fontfile", "/dev/zero"}, "Font file open error"},
        {{"-fontfile", folder.path()}, "Font file is a directory, not a font file"},
        {{"-fontfile", BREVANO_EXECUTABLE}, "Font file is not a TrueType or OpenType font or collection"},
        {{"-fontfile", folder.File("type1.pfa")}, "Font file is a Type 1 font: give a TrueType or OpenType font"},
        {{"-fontfile", kDejaVu, "-fontindex1"}, "Font file face 1 is out of range: its faces are numbered 0 to 0"},
        {{"-fontfile", kMicroHei, "-fontindex-1"},
         "Font file face -1 is out of range: its faces are numbered 0 to 1"},
        {{"-fontfile", kEmoji}, "Font file has no outline glyphs (a colour bitmap font?): give a font with outlines"},
        // The colour emoji font is never chosen for the character it holds.
        {{"-prefix", "\xF0\x9F\x93\x84 "}, "No font has the character U+1F4C4 \xF0\x9F\x93\x84 of -prefix"},
    };
    for (const auto& [params, message] : cases) {
        const bool fontMissing = (params.size() > 1 && params[0] == "-fontfile" && !params[1].empty() &&
                                  params[1].starts_with("/usr") && !FileExists(params[1]));
        if (fontMissing || (message.find("U+1F4C4") != std::string::npos && !FileExists(kEmoji))) continue;
        const StampResult result = RunTextStamp(BlankLetterPages(1), params);
        EXPECT_EQ(result.message, message);
        EXPECT_FALSE(result.output);
    }
}

// Han characters are drawn in the forms of the language: the face made for it.
TEST(EmbeddedFontTextTest, LanguageChoosesTheFace) {
    if (!FileExists(kNotoCjk) || !HaveTool("pdffonts")) GTEST_SKIP() << "fonts-noto-cjk or poppler-utils missing";
    const TempFolder folder;
    WriteFile(folder.File("in.pdf"), BlankLetterPages(1));
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-lang", "ja"}, "+NotoSansCJKjp-"},        {{"-lang", "zh-Hans"}, "+NotoSansCJKsc-"},
        {{"-lang", "zh-Hant"}, "+NotoSansCJKtc-"},   {{"-lang", "ko"}, "+NotoSansCJKkr-"},
        {{"-prefix", "ページ "}, "+NotoSansCJKjp-"},  // kana: Japanese
    };
    for (const auto& [params, face] : cases) {
        std::vector<std::string> words = {"-prefix", "\xE7\x9B\xB4 "};
        words.insert(words.end(), params.begin(), params.end());
        ASSERT_EQ(StampFile("text", folder.File("in.pdf"), folder.File("out.pdf"), words), "");
        const std::string fonts = RunTool("pdffonts " + ShellQuote(folder.File("out.pdf"))).out;
        EXPECT_NE(fonts.find(face), std::string::npos) << params[0] << " " << params[1] << "\n" << fonts;
    }
}

// A glyph that stands for two characters (Noto Naskh Arabic draws the space
// and the no-break space alike) has a code for each, mapped to each.
TEST(EmbeddedFontTextTest, OneGlyphTwoCharactersTwoCodes) {
    if (!FileExists(kNaskh)) GTEST_SKIP() << kNaskh << " is not installed";
    const TempFolder folder;
    WriteFile(folder.File("in.pdf"), BlankLetterPages(1));
    ASSERT_EQ(StampFile("text", folder.File("in.pdf"), folder.File("out.pdf"),
                        {"-prefix", "\xD8\xA8\xC2\xA0\xD8\xA8 ", "-fontfile", kNaskh, "-size20"}),
              "");
    const std::string out = ReadFile(folder.File("out.pdf"));
    const std::vector<uint32_t> glyphs = ShownGlyphs(out);
    ASSERT_GE(glyphs.size(), 4u);
    EXPECT_EQ(glyphs[1], glyphs[3]);  // the no-break space and the space, in reading order
    EXPECT_NE(out.find("> <0020>\n"), std::string::npos);
    EXPECT_NE(out.find("> <00A0>\n"), std::string::npos);
}

TEST(EmbeddedFontTextTest, TwoThousandPagesShareOneSubset) {
    if (!FileExists(kDejaVu) || !HaveTool("pdftotext")) GTEST_SKIP() << "DejaVu Sans or poppler-utils missing";
    const TempFolder folder;
    WriteFile(folder.File("in.pdf"), BlankLetterPages(2000));
    ASSERT_EQ(StampFile("text", folder.File("in.pdf"), folder.File("out.pdf"),
                        {"-prefix", "Страница ", "-fontfile", kDejaVu}),
              "");
    const std::string out = ReadFile(folder.File("out.pdf"));
    EXPECT_EQ(Count(out, "/FontFile2 "), 1u);
    EXPECT_EQ(Count(out, "/Type0"), 1u);
    const std::vector<std::string> pages = PdfTextByPage(folder.File("out.pdf"));
    ASSERT_EQ(pages.size(), 2000u);
    // The first page has no 9: the subset holds the digits of every page.
    EXPECT_EQ(pages[0], "Страница 1 / 2000");
    EXPECT_EQ(pages[1998], "Страница 1999 / 2000");
}

}  // namespace
