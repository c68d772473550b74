// The common path as a reader sees it: the built-in fonts' widths against
// their published metrics and MuPDF's glyph boxes, where turned stamps and
// pictures land, the numbers pdftotext reads, the bytes of two runs a second
// apart, and the PDF version the output declares (checked by qpdf).
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "support/ChildProcess.h"
#include "support/ExternalTools.h"
#include "support/PdfBuilder.h"
#include "support/PngMaker.h"
#include "support/StampRunner.h"
#include "support/TestFiles.h"

namespace {

const std::string kAfmFolder = "/usr/share/fonts/type1/urw-base35/";

// The glyphs the Windows ANSI encoding names at codes 32 to 255 ("-": none).
std::vector<std::string> WinAnsiNames() {
    std::istringstream in(
        "space exclam quotedbl numbersign dollar percent ampersand quotesingle parenleft parenright asterisk plus "
        "comma hyphen period slash zero one two three four five six seven eight nine colon semicolon less equal "
        "greater question at A B C D E F G H I J K L M N O P Q R S T U V W X Y Z bracketleft backslash bracketright "
        "asciicircum underscore grave a b c d e f g h i j k l m n o p q r s t u v w x y z braceleft bar braceright "
        "asciitilde - Euro - quotesinglbase florin quotedblbase ellipsis dagger daggerdbl circumflex perthousand "
        "Scaron guilsinglleft OE - Zcaron - - quoteleft quoteright quotedblleft quotedblright bullet endash emdash "
        "tilde trademark scaron guilsinglright oe - zcaron Ydieresis space exclamdown cent sterling currency yen "
        "brokenbar section dieresis copyright ordfeminine guillemotleft logicalnot hyphen registered macron degree "
        "plusminus twosuperior threesuperior acute mu paragraph periodcentered cedilla onesuperior ordmasculine "
        "guillemotright onequarter onehalf threequarters questiondown Agrave Aacute Acircumflex Atilde Adieresis "
        "Aring AE Ccedilla Egrave Eacute Ecircumflex Edieresis Igrave Iacute Icircumflex Idieresis Eth Ntilde "
        "Ograve Oacute Ocircumflex Otilde Odieresis multiply Oslash Ugrave Uacute Ucircumflex Udieresis Yacute "
        "Thorn germandbls agrave aacute acircumflex atilde adieresis aring ae ccedilla egrave eacute ecircumflex "
        "edieresis igrave iacute icircumflex idieresis eth ntilde ograve oacute ocircumflex otilde odieresis divide "
        "oslash ugrave uacute ucircumflex udieresis yacute thorn ydieresis");
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

TEST(ExactOutputTest, HelveticaAndTimesWidthsAreThePublishedOnes) {
    if (!FileExists(kAfmFolder)) GTEST_SKIP() << "fonts-urw-base35 is not installed";
    const std::vector<std::string> names = WinAnsiNames();
    ASSERT_EQ(names.size(), 224u);
    const std::pair<std::string, std::string> kFonts[] = {
        {"Helvetica", "NimbusSans-Regular"},        {"Helvetica-Bold", "NimbusSans-Bold"},
        {"Helvetica-Oblique", "NimbusSans-Italic"}, {"Helvetica-BoldOblique", "NimbusSans-BoldItalic"},
        {"Times-Roman", "NimbusRoman-Regular"},     {"Times-Bold", "NimbusRoman-Bold"},
        {"Times-Italic", "NimbusRoman-Italic"},     {"Times-BoldItalic", "NimbusRoman-BoldItalic"}};
    for (const auto& [font, afm] : kFonts) {
        std::map<std::string, int> published;
        std::ifstream in(kAfmFolder + afm + ".afm");
        const std::regex metric(R"(^C -?\d+ ; WX (\d+) ; N (\S+) ;)");
        std::smatch m;
        for (std::string line; std::getline(in, line);)
            if (std::regex_search(line, m, metric)) published[m[2]] = std::stoi(m[1]);
        const StampResult result = RunTextStamp(BlankLetterPages(1), {"-font", font});
        ASSERT_TRUE(result.output) << result.message;
        const size_t widths = result.output->find("/Widths [");
        std::istringstream numbers(result.output->substr(widths + 9, result.output->find(']', widths) - widths - 9));
        const std::vector<int> declared{std::istream_iterator<int>(numbers), std::istream_iterator<int>()};
        ASSERT_EQ(declared.size(), 256u) << font;
        for (size_t code = 32; code < 256; ++code) {
            if (names[code - 32] == "-") continue;
            ASSERT_EQ(published.count(names[code - 32]), 1u) << afm << " " << names[code - 32];
            EXPECT_EQ(declared[code], published[names[code - 32]]) << font << " code " << code;
        }
    }
}

// A glyph as MuPDF places it (device space, y down): its box's corners
// upper left, upper right, lower left, lower right, and its origin.
struct Glyph {
    double box[8];
    double x, y;
};

std::vector<Glyph> MuPdfGlyphs(const std::string& pdf) {
    const std::string text = RunTool("mutool draw -F stext -o - " + ShellQuote(pdf) + " 1").out;
    const std::regex pattern(R"re(<char quad="([^"]*)" x="([^"]*)" y="([^"]*)")re");
    std::vector<Glyph> glyphs;
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) {
        Glyph glyph{};
        std::istringstream quad((*it)[1].str());
        for (double& value : glyph.box) quad >> value;
        glyph.x = std::stod((*it)[2]);
        glyph.y = std::stod((*it)[3]);
        glyphs.push_back(glyph);
    }
    return glyphs;
}

TEST(ExactOutputTest, AccentedTextIsSpacedAsInArial) {
    if (!HaveTool("mutool")) GTEST_SKIP() << "mupdf-tools is not installed";
    const TempFolder folder;
    WriteFile(folder.File("in.pdf"), BlankLetterPages(1));
    // "Página 1 / 1 — Größe œ ‰ …": 26 characters, each glyph box starting
    // where the one before ends (MuPDF adds a space into a gap).
    for (const std::string font : {"Arial", "Helvetica", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique",
                                   "Times-Roman", "Times-Bold", "Times-Italic", "Times-BoldItalic"}) {
        ASSERT_EQ(StampFile("text", folder.File("in.pdf"), folder.File("out.pdf"),
                            {"-font", font, "-prefix", "Página ", "-end", " — Größe œ ‰ …"}),
                  "");
        const std::vector<Glyph> glyphs = MuPdfGlyphs(folder.File("out.pdf"));
        ASSERT_EQ(glyphs.size(), 26u) << font;
        for (size_t i = 1; i < glyphs.size(); ++i)
            EXPECT_NEAR(glyphs[i].box[0], glyphs[i - 1].box[2], 1.0) << font << " glyph " << i;
    }
}

TEST(ExactOutputTest, StampsTurnAboutTheirReferencePoint) {
    if (!HaveTool("mutool")) GTEST_SKIP() << "mupdf-tools is not installed";
    const TempFolder folder;
    WriteFile(folder.File("in.pdf"), BlankLetterPages(1));
    // The text's baseline from its first glyph's origin to its last glyph's
    // end; (300, 300) is at 300, 492 in device space.
    for (const int angle : {0, 30, 45, 90, 180, 270}) {
        for (const std::string align : {"left", "center", "right"}) {
            SCOPED_TRACE("-angle" + std::to_string(angle) + " -align " + align);
            ASSERT_EQ(StampFile("text", folder.File("in.pdf"), folder.File("out.pdf"),
                                {"-font", "Helvetica", "-size10", "-angle" + std::to_string(angle), "-pos300,300",
                                 "-align", align}),
                      "");
            const std::vector<Glyph> glyphs = MuPdfGlyphs(folder.File("out.pdf"));
            ASSERT_FALSE(glyphs.empty());
            const Glyph& last = glyphs.back();
            const double ends[2][2] = {{glyphs[0].x, glyphs[0].y},
                                       {last.x + last.box[6] - last.box[4], last.y + last.box[7] - last.box[5]}};
            const double share = align == "left" ? 0 : align == "center" ? 0.5 : 1;
            EXPECT_NEAR(ends[0][0] + share * (ends[1][0] - ends[0][0]), 300, 1.0);
            EXPECT_NEAR(ends[0][1] + share * (ends[1][1] - ends[0][1]), 492, 1.0);
        }
    }
    // A picture's bottom edge, on pages turned by /Rotate and placed as viewed
    // with -force: (300, 200) from the viewed lower left corner.
    const std::string jpeg = ReadFile(std::string(BREVANO_TEST_DATA_DIR) + "/picture-640x480.jpg");
    for (const int rotate : {0, 90, 180, 270}) {
        const std::string input = OnePagePdf({.page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Rotate " +
                                                      std::to_string(rotate) + " /Resources << >> >>"});
        for (const std::string align : {"left", "center", "right"}) {
            SCOPED_TRACE("/Rotate " + std::to_string(rotate) + " -align " + align);
            const StampResult result =
                RunImageStamp(input, jpeg, {"-force", "-size100,50", "-pos300,200", "-align", align});
            ASSERT_TRUE(result.output) << result.message;
            WriteFile(folder.File("image.pdf"), *result.output);
            const std::string trace = RunTool("mutool trace " + folder.File("image.pdf")).out;
            std::smatch m;
            ASSERT_TRUE(std::regex_search(trace, m, std::regex(R"re(fill_image[^>]* transform="([^"]*)")re")));
            double t[6];
            std::istringstream matrix(m[1].str());
            for (double& value : t) matrix >> value;
            // Image space (0, 1) and (1, 1) are the bottom corners here.
            const double share = align == "left" ? 0 : align == "center" ? 0.5 : 1;
            EXPECT_NEAR(t[2] + t[4] + share * t[0], 300, 1.0);
            EXPECT_NEAR(t[3] + t[5] + share * t[1], (rotate % 180 == 0 ? 792 : 612) - 200, 1.0);
        }
    }
}

struct NumberingCase {
    int pages;
    std::vector<std::string> params;
    std::string numbers;  // page by page, "-" for a page without a stamp
};

TEST(ExactOutputTest, NumbersAreDistinctPositiveAndInTheSchemesOrder) {
    if (!HaveTool("pdftotext")) GTEST_SKIP() << "poppler-utils is not installed";
    // clang-format off
    const NumberingCase kCases[] = {
        {8, {"-n2", "-seq"}, "1 - 2 - 3 - 4 -"},           {9, {"-n2", "-seq"}, "1 - 2 - 3 - 4 - 5"},
        {10, {"-n3", "-seq"}, "1 2 - 3 4 - 5 6 - 7"},      {9, {"-n3", "-seq"}, "1 2 - 3 4 - 5 6 -"},
        {8, {"-n4", "-seq"}, "1 2 3 - 4 5 6 -"},           {10, {"-n4", "-seq"}, "1 2 3 - 4 5 6 - 7 8"},
        {8, {"-2up"}, "1 5 2 6 3 7 4 8"},                  {9, {"-2up"}, "1 6 2 7 3 8 4 9 5"},
        {10, {"-2up"}, "1 6 2 7 3 8 4 9 5 10"},            {8, {"-ab2"}, "1 3 5 7 2 4 6 8"},
        {9, {"-ab2"}, "1 3 5 7 9 2 4 6 8"},                {10, {"-ab2"}, "1 3 5 7 9 2 4 6 8 10"},
        {9, {"-s3", "-r"}, "- - 7 6 5 4 3 2 1"},           {9, {"-s3", "-n2", "-seq"}, "- - 1 - 2 - 3 - 4"},
        {9, {"-s3", "-2up"}, "- - 1 5 2 6 3 7 4"},         {9, {"-s3", "-ab2"}, "- - 1 3 5 7 2 4 6"},
        {9, {"-s3"}, "- - 1 2 3 4 5 6 7"},                 {9, {"-n3"}, "1 2 - 4 5 - 7 8 -"},
    };
    // clang-format on
    const TempFolder folder;
    for (const NumberingCase& c : kCases) {
        WriteFile(folder.File("in.pdf"), BlankLetterPages(c.pages));
        std::vector<std::string> params = c.params;
        params.insert(params.end(), {"-one", "-prefix", ""});
        ASSERT_EQ(StampFile("text", folder.File("in.pdf"), folder.File("out.pdf"), params), "");
        std::string shown;
        for (const std::string& page : PdfTextByPage(folder.File("out.pdf")))
            shown += (shown.empty() ? "" : " ") + (page.empty() ? "-" : page);
        EXPECT_EQ(shown, c.numbers) << c.pages << " pages, " << testing::PrintToString(c.params);
    }
}

// A 4 by 4 red picture that grows opaque from left to right.
std::string AlphaPng() {
    return MakePng({4, 4, 6, 8, false, {}, {}, [](uint32_t x, uint32_t) {
                        return std::vector<uint16_t>{200, 0, 0, static_cast<uint16_t>(x * 80)};
                    }});
}

// Brevano run as a program, as scripts run it: the output's bytes.
std::string RunBrevano(const std::vector<std::string>& words) {
    std::vector<std::string> argv{BREVANO_EXECUTABLE};
    argv.insert(argv.end(), words.begin(), words.end());
    const ChildResult result = RunChild(argv, 60);
    EXPECT_EQ(result.exitStatus, 0) << result.out;
    return ReadFile(words[2]);
}

TEST(ExactOutputTest, TwoRunsASecondApartGiveTheSameBytes) {
    const TempFolder folder;
    const std::string in = folder.File("in.pdf");
    WriteFile(in, BlankLetterPages(2));
    WriteFile(folder.File("logo.png"), AlphaPng());
    const std::string fonts = "/usr/share/fonts/";
    // Built-in font, embedded fonts for left-to-right, shaped and
    // right-to-left scripts, both picture kinds, and updates.
    const std::vector<std::vector<std::string>> kRuns = {
        {"text", in, "", "-font", "Times-Roman", "-prefix", "Página "},
        {"text", in, "", "-fontfile", fonts + "truetype/dejavu/DejaVuSans.ttf", "-prefix", "Страница "},
        {"text", in, "", "-fontfile", fonts + "truetype/noto/NotoSansDevanagari-Regular.ttf", "-prefix", "पृष्ठ "},
        {"text", in, "", "-fontfile", fonts + "truetype/dejavu/DejaVuSans.ttf", "-prefix", "עמוד "},
        {"text", in, "", "-incremental"},
        {"image", in, "", "-j" + std::string(BREVANO_TEST_DATA_DIR) + "/picture-640x480.jpg"},
        {"image", in, "", "-j" + folder.File("logo.png"), "-incremental"},
    };
    std::vector<std::string> first;
    for (size_t run = 0; run < kRuns.size(); ++run) {
        std::vector<std::string> words = kRuns[run];
        words[2] = folder.File("first" + std::to_string(run) + ".pdf");
        first.push_back(RunBrevano(words));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1100));
    for (size_t run = 0; run < kRuns.size(); ++run) {
        std::vector<std::string> words = kRuns[run];
        words[2] = folder.File("second.pdf");
        EXPECT_TRUE(RunBrevano(words) == first[run]) << testing::PrintToString(kRuns[run]);
    }
    // Stamped again with the same options, a page holds the name drawn
    // before: the new font takes another.
    const std::string again = RunBrevano(
        {"text", folder.File("first0.pdf"), folder.File("again.pdf"), "-font", "Times-Roman", "-prefix", "Página "});
    std::smatch m;
    ASSERT_TRUE(std::regex_search(again, m, std::regex(R"(/Font << /(F\d+) \d+ 0 R  /(F\d+) \d+ 0 R >>)")));
    EXPECT_NE(m[1], m[2]);
    if (HaveTool("qpdf")) {
        EXPECT_EQ(QpdfCheck(folder.File("again.pdf")), 0);
    }
}

struct VersionCase {
    std::string header;
    std::string catalog;  // entries after /Pages
    std::string mode;
    std::vector<std::string> params;
    std::string declared;  // the output's header, and the catalog's /Version when an update sets it
};

TEST(ExactOutputTest, TheOutputDeclaresTheVersionItsStampNeeds) {
    const TempFolder folder;
    WriteFile(folder.File("alpha.png"), AlphaPng());
    const std::string png = "-j" + folder.File("alpha.png");
    const std::string cff = "/usr/share/fonts/opentype/lobster/lobster.otf";
    const std::string devanagari = "/usr/share/fonts/truetype/noto/NotoSansDevanagari-Regular.ttf";
    const VersionCase kCases[] = {
        {"%PDF-1.3", "", "image", {png}, "%PDF-1.4"},
        {"%PDF-1.3", "", "image", {png, "-incremental"}, "%PDF-1.3 /Version /1.4"},
        {"%PDF-1.4", " /Version /1.2", "image", {png, "-incremental"}, "%PDF-1.4"},
        {"%PDF-1.3", " /Version /1.3", "image", {png, "-incremental"}, "%PDF-1.3 /Version /1.4"},
        {"%PDF-1.7", "", "image", {png}, "%PDF-1.7"},
        {"%PDF-1.3", "", "text", {}, "%PDF-1.3"},
        // The vowel sign drawn before its consonant takes a span with /ActualText.
        {"%PDF-1.3", "", "text", {"-fontfile", devanagari, "-prefix", "कि "}, "%PDF-1.5"},
        {"%PDF-1.3", "", "text", {"-fontfile", cff}, "%PDF-1.6"},
        {"%PDF-1.4", " /Version /1.7", "text", {"-fontfile", cff}, "%PDF-1.4"},
    };
    if (!FileExists(cff) || !FileExists(devanagari)) GTEST_SKIP() << "the test fonts are not installed";
    for (const VersionCase& c : kCases) {
        SCOPED_TRACE(c.header + c.catalog + " " + c.mode + " " + testing::PrintToString(c.params));
        PdfBuilder pdf(c.header + "\n");
        pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R" + c.catalog + " >>");
        pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        pdf.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Resources << >> >>");
        WriteFile(folder.File("in.pdf"), pdf.WithXRefTable("/Root 1 0 R"));
        ASSERT_EQ(StampFile(c.mode, folder.File("in.pdf"), folder.File("out.pdf"), c.params), "");
        const std::string out = ReadFile(folder.File("out.pdf"));
        const size_t version = out.rfind("/Version /");
        const bool updated = c.declared.size() > 8;
        EXPECT_EQ(out.substr(0, 8) + (updated ? " " + out.substr(version, 13) : ""), c.declared);
        if (HaveTool("qpdf")) {
            EXPECT_EQ(QpdfCheck(folder.File("out.pdf")), 0);
        }
    }
}

}  // namespace
