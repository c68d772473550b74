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
                             // A symbol font's codes are pictures, UTF-8 or not.
                             BuiltInCase{{"-font", "ZapfDingbats", "-prefix", "é "}, "\xC3\xA9 1 / 1"},
                             // ASCII as it is.
                             BuiltInCase{{"-prefix", "Page (x) "}, "Page \\(x\\) 1 / 1"}));

TEST(BuiltInFontTextTest, CopiesAsTyped) {
    if (!HaveTool("pdftotext")) GTEST_SKIP() << "poppler-utils is not installed";
    const TempFolder folder;
    WriteFile(folder.File("in.pdf"), BlankLetterPages(2));
    ASSERT_EQ(StampFile("text", folder.File("in.pdf"), folder.File("out.pdf"), {"-prefix", "Página ", "-end", " €"}),
              "");
    EXPECT_EQ(PdfTextByPage(folder.File("out.pdf")), (std::vector<std::string>{"Página 1 / 2 €", "Página 2 / 2 €"}));
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

// The words of a text, sorted, without the direction marks poppler adds:
// it lists a right-to-left line's words as they are seen.
std::multiset<std::string> Words(const std::string& text) {
    std::string plain = std::regex_replace(text, std::regex("\xE2\x80[\xAA-\xAE]"), " ");
    std::istringstream in(plain);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

class EmbeddedFontText : public ::testing::TestWithParam<EmbeddedCase> {};

// The glyph numbers that the first TJ shows.
std::vector<uint32_t> ShownGlyphs(const std::string& pdf) {
    const size_t start = pdf.find("Tf\n", pdf.find("stream\nBT"));
    const size_t end = pdf.find("] TJ", start);
    std::vector<uint32_t> glyphs;
    const std::string array = pdf.substr(start, end - start);
    static const std::regex kHex("<([0-9A-F]+)>");
    for (auto it = std::sregex_iterator(array.begin(), array.end(), kHex); it != std::sregex_iterator(); ++it) {
        const std::string hex = (*it)[1];
        for (size_t at = 0; at + 4 <= hex.size(); at += 4) glyphs.push_back(std::stoul(hex.substr(at, 4), nullptr, 16));
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
            EXPECT_EQ(Words(copied), Words(typed)) << copied;
        } else {
            EXPECT_EQ(copied, typed);
        }
    }
    // One subset, embedded once, shared by the pages.
    EXPECT_EQ(Count(out, "/FontFile2 ") + Count(out, "/FontFile3 "), 1u);
    const std::string fonts = RunTool("pdffonts " + ShellQuote(folder.File("out.pdf"))).out;
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
const std::string kMicroHei = kFonts + "wqy/wqy-microhei.ttc";
const std::string kLobster = "/usr/share/fonts/opentype/lobster/lobster.otf";  // CFF outlines
const std::vector<std::string> kRight = {"-fliph", "-align", "right", "-pos20,20"};
std::vector<std::string> With(std::vector<std::string> more) {
    more.insert(more.begin(), kRight.begin(), kRight.end());
    return more;
}

INSTANTIATE_TEST_SUITE_P(
    Scripts, EmbeddedFontText,
    ::testing::Values(
        EmbeddedCase{"CyrillicFile", kDejaVu, kDejaVu, kRight, "Страница ", " из ", false},
        EmbeddedCase{"CyrillicFound", "", kDejaVu, With({"-font", "DejaVuSans"}), "Страница ", " из ", false},
        EmbeddedCase{"GreekFile", kDejaVu, kDejaVu, kRight, "Σελίδα ", " από ", false},
        EmbeddedCase{"GreekFound", "", kDejaVu, With({"-font", "DejaVuSans-Bold"}), "Σελίδα ", " / ", false},
        EmbeddedCase{"LatinFile", kDejaVu, kDejaVu, kRight, "Page ", " of ", false},
        EmbeddedCase{"LatinCff", kLobster, kLobster, kRight, "Página ", " de ", false},
        EmbeddedCase{"Arabic", kNaskh, kNaskh, kRight, "صفحة لا ", " من ", true, true},
        EmbeddedCase{"Hebrew", kDejaVu, kDejaVu, kRight, "עמוד ", " מתוך ", false, true},
        EmbeddedCase{"Devanagari", "", kDevanagari, With({"-font", "NotoSansDevanagari"}), "पृष्ठ ", " / ", true},
        EmbeddedCase{"Chinese", "", kMicroHei, kRight, "第 ", " 页，共 ", false},
        EmbeddedCase{"ChineseMono", kMicroHei, kMicroHei, With({"-fontindex1"}), "第 ", " 页，共 ", false}),
    CaseName<EmbeddedCase>);

TEST(EmbeddedFontTextTest, FailuresLeaveNoOutput) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-prefix", "\xF4\x8F\xBF\xBD "}, "No font found for the characters of the stamp text"},
        {{"-fontfile", "/nonexistent/font.ttf"}, "Font file open error"},
        {{"-fontfile", "/dev/zero"}, "Font file open error"},
        {{"-fontfile", BREVANO_EXECUTABLE}, "Font file open error"},
        {{"-fontfile", kDejaVu, "-prefix", "第 "}, "Font file lacks characters of the stamp text"},
    };
    for (const auto& [params, message] : cases) {
        const StampResult result = RunTextStamp(BlankLetterPages(1), params);
        EXPECT_EQ(result.message, message);
        EXPECT_FALSE(result.output);
    }
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
