#include "stamp/OptionParser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "base/CPdfException.h"
#include "stamp/CPdfFileStampImage.h"
#include "stamp/CPdfFileStampText.h"
#include "support/CaseName.h"

namespace {

constexpr int32_t kMinInt = std::numeric_limits<int32_t>::min();
constexpr int32_t kMaxInt = std::numeric_limits<int32_t>::max();

// Every setting on one line each, so that a failure shows which one differs.
void DumpShared(const StampOptions& o, std::ostream& os) {
    os << "startPage " << o.startPage << "\nendPage " << o.endPage << "\neveryNth " << o.everyNth << "\nforcePortrait "
       << o.forcePortrait << "\nflipVertical " << o.flipVertical << "\nflipHorizontal " << o.flipHorizontal
       << "\nalign " << static_cast<int>(o.align) << "\nposX " << o.posX << "\nposY " << o.posY << "\nangle " << o.angle
       << "\n";
}

std::string Dump(const TextStampOptions& o) {
    std::ostringstream os;
    DumpShared(o, os);
    os << "startNumber " << o.startNumber << "\nendNumber " << o.endNumber << "\nmaskDigits " << o.maskDigits
       << "\nfontSize " << o.fontSize << "\nsequential " << o.sequential << "\nreverse " << o.reverse << "\ntwoUp "
       << o.twoUp << "\nabTwoUp " << o.abTwoUp << "\noneNumber " << o.oneNumber << "\nromanLower " << o.romanLower
       << "\nromanUpper " << o.romanUpper << "\nnoPageNumber " << o.noPageNumber << "\nexportFile '" << o.exportFile
       << "'\nimportFile '" << o.importFile << "'\nprefixText '" << o.prefixText << "'\nseparatorText '"
       << o.separatorText << "'\nendText '" << o.endText << "'\nfontName '" << o.fontName << "'\nfontFile '"
       << o.fontFile << "'\nlanguage '" << o.language << "'\ncolor " << std::hex << o.color << "\n";
    return os.str();
}

std::string Dump(const ImageStampOptions& o) {
    std::ostringstream os;
    DumpShared(o, os);
    os << "opacity " << o.opacity << "\nimageWidth " << o.imageWidth << "\nimageHeight " << o.imageHeight
       << "\njpegFile '" << o.jpegFile << "'\n";
    return os.str();
}

// The two file names followed by `params`.
std::vector<std::string> Words(const std::vector<std::string>& params) {
    std::vector<std::string> words{"in.pdf", "out.pdf"};
    words.insert(words.end(), params.begin(), params.end());
    return words;
}

// The message of the CPdfException that `parse` throws, or "" when it throws none.
template <typename Parse>
std::string FailureOf(Parse parse) {
    try {
        parse();
    } catch (const CPdfException& failure) {
        return failure.GetMessage();
    }
    return "";
}

// ---------------------------------------------------------------------------
// Defaults

TEST(OptionDefaultsTest, TextMode) {
    const TextStampOptions o;
    EXPECT_EQ(o.startPage, 1);
    EXPECT_EQ(o.endPage, 99999);
    EXPECT_EQ(o.everyNth, 0);
    EXPECT_FALSE(o.forcePortrait);
    EXPECT_FALSE(o.flipVertical);
    EXPECT_FALSE(o.flipHorizontal);
    EXPECT_EQ(o.align, Alignment::Left);
    EXPECT_EQ(o.posX, 20);
    EXPECT_EQ(o.posY, 10);
    EXPECT_EQ(o.angle, 0);
    EXPECT_EQ(o.startNumber, 1);
    EXPECT_EQ(o.endNumber, 99999);
    EXPECT_EQ(o.maskDigits, 0);
    EXPECT_EQ(o.fontSize, 11);
    EXPECT_FALSE(o.sequential);
    EXPECT_FALSE(o.reverse);
    EXPECT_FALSE(o.twoUp);
    EXPECT_FALSE(o.abTwoUp);
    EXPECT_FALSE(o.oneNumber);
    EXPECT_FALSE(o.romanLower);
    EXPECT_FALSE(o.romanUpper);
    EXPECT_FALSE(o.noPageNumber);
    EXPECT_EQ(o.exportFile, "");
    EXPECT_EQ(o.importFile, "");
    EXPECT_EQ(o.prefixText, "Page ");
    EXPECT_EQ(o.separatorText, " / ");
    EXPECT_EQ(o.endText, "");
    EXPECT_EQ(o.fontName, "Arial");
    EXPECT_EQ(o.color, 0u);
}

TEST(OptionDefaultsTest, ImageMode) {
    const ImageStampOptions o;
    EXPECT_EQ(o.startPage, 1);
    EXPECT_EQ(o.endPage, 99999);
    EXPECT_EQ(o.everyNth, 0);
    EXPECT_FALSE(o.forcePortrait);
    EXPECT_FALSE(o.flipVertical);
    EXPECT_FALSE(o.flipHorizontal);
    EXPECT_EQ(o.align, Alignment::Left);
    EXPECT_EQ(o.posX, 20);
    EXPECT_EQ(o.posY, 10);
    EXPECT_EQ(o.angle, 0);
    EXPECT_EQ(o.opacity, 100);
    EXPECT_EQ(o.imageWidth, -1);
    EXPECT_EQ(o.imageHeight, -1);
    EXPECT_EQ(o.jpegFile, "");
}

TEST(OptionDefaultsTest, DriversStartWithTheDefaults) {
    CPdfFileStampText text;
    text.ParseParams({"in.pdf", "out.pdf"});
    EXPECT_EQ(Dump(text.options()), Dump(TextStampOptions{}));

    CPdfFileStampImage image;
    image.ParseParams({"in.pdf", "out.pdf", "-jlogo.jpg"});
    ImageStampOptions expected;
    expected.jpegFile = "logo.jpg";
    EXPECT_EQ(Dump(image.options()), Dump(expected));
}

// ---------------------------------------------------------------------------
// File names and word counts

TEST(OptionWordsTest, FirstTwoWordsAreTheFilesWhateverTheyLookLike) {
    TextStampOptions text;
    std::string in;
    std::string out;
    ParseTextParams({"-s3", "-e4"}, text, in, out);
    EXPECT_EQ(in, "-s3");
    EXPECT_EQ(out, "-e4");
    EXPECT_EQ(Dump(text), Dump(TextStampOptions{}));

    ImageStampOptions image;
    ParseImageParams({"my file.pdf", "", "-jx"}, image, in, out);
    EXPECT_EQ(in, "my file.pdf");
    EXPECT_EQ(out, "");
    EXPECT_EQ(image.jpegFile, "x");
}

TEST(OptionWordsTest, MinimumCounts) {
    std::string in;
    std::string out;
    for (size_t count = 0; count < 2; ++count) {
        TextStampOptions o;
        const std::vector<std::string> words(count, "a.pdf");
        EXPECT_EQ(FailureOf([&] { ParseTextParams(words, o, in, out); }), "Error parameter") << count;
    }
    for (size_t count = 0; count < 3; ++count) {
        ImageStampOptions o;
        const std::vector<std::string> words(count, "a.pdf");
        EXPECT_EQ(FailureOf([&] { ParseImageParams(words, o, in, out); }), "Error parameter") << count;
    }
    TextStampOptions text;
    EXPECT_EQ(FailureOf([&] { ParseTextParams({"a.pdf", "b.pdf"}, text, in, out); }), "");
    EXPECT_EQ(in, "a.pdf");
    EXPECT_EQ(out, "b.pdf");
    ImageStampOptions image;
    EXPECT_EQ(FailureOf([&] { ParseImageParams({"a.pdf", "b.pdf", "-force"}, image, in, out); }), "");
    EXPECT_TRUE(image.forcePortrait);
}

// ---------------------------------------------------------------------------
// Text mode: the words after the file names, and the settings they leave.
// `expect` turns the defaults into the expected settings; `fails` marks a
// parse that ends with "Error parameter" (the settings are those taken
// before the failing word).

struct TextCase {
    const char* name;
    std::vector<std::string> params;
    void (*expect)(TextStampOptions&);
    bool fails = false;
};

void PrintTo(const TextCase& c, std::ostream* os) { *os << c.name; }

class TextOptionTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(TextOptionTest, Parses) {
    const TextCase& c = GetParam();
    TextStampOptions expected;
    c.expect(expected);
    TextStampOptions parsed;
    std::string in;
    std::string out;
    EXPECT_EQ(FailureOf([&] { ParseTextParams(Words(c.params), parsed, in, out); }), c.fails ? "Error parameter" : "");
    EXPECT_EQ(Dump(parsed), Dump(expected));
    EXPECT_EQ(in, "in.pdf");
    EXPECT_EQ(out, "out.pdf");
}

void Unchanged(TextStampOptions&) {}

const TextCase kTextCases[] = {
    {"NoParameters", {}, Unchanged},
    // -s%d and the sscanf rules, shown on one pattern
    {"StartPage", {"-s3"}, [](TextStampOptions& o) { o.startPage = 3; }},
    {"StartPageTrailingCharacters", {"-s3x"}, Unchanged, true},
    {"StartPageZero", {"-s0"}, [](TextStampOptions& o) { o.startPage = 0; }},
    {"StartPageNegative", {"-s-2"}, [](TextStampOptions& o) { o.startPage = -2; }},
    {"StartPagePlus", {"-s+4"}, [](TextStampOptions& o) { o.startPage = 4; }},
    {"StartPageLeadingSpace", {"-s 5"}, [](TextStampOptions& o) { o.startPage = 5; }},
    {"StartPageLeadingTabAndSign", {"-s\t-7"}, [](TextStampOptions& o) { o.startPage = -7; }},
    {"StartPageHexIsDecimal", {"-s0x10"}, Unchanged, true},
    {"StartPageLargest", {"-s2147483647"}, [](TextStampOptions& o) { o.startPage = kMaxInt; }},
    {"StartPageSmallest", {"-s-2147483648"}, [](TextStampOptions& o) { o.startPage = kMinInt; }},
    {"StartPageNoDigits", {"-s"}, Unchanged, true},
    {"StartPageSignWithoutDigits", {"-s-"}, Unchanged, true},
    {"StartPageSpaceAfterSign", {"-s- 3"}, Unchanged, true},
    {"StartPageTwoSigns", {"-s+-3"}, Unchanged, true},
    {"StartPageOtherCase", {"-S3"}, Unchanged},
    {"StartPageDoubleDash", {"--s3"}, Unchanged},
    {"StartPageNumberAsSeparateWord", {"-s", "3"}, Unchanged, true},
    // the other numbers
    {"EndPage", {"-e7"}, [](TextStampOptions& o) { o.endPage = 7; }},
    {"EndPageZero", {"-e0"}, [](TextStampOptions& o) { o.endPage = 0; }},
    {"EndPageNoDigits", {"-e"}, Unchanged, true},
    {"StartNumber", {"-ns5"}, [](TextStampOptions& o) { o.startNumber = 5; }},
    {"StartNumberNegative", {"-ns-5"}, [](TextStampOptions& o) { o.startNumber = -5; }},
    {"StartNumberNoDigits", {"-ns"}, Unchanged, true},
    {"EndNumber", {"-ne5"}, [](TextStampOptions& o) { o.endNumber = 5; }},
    {"EndNumberNoDigits", {"-ne"}, Unchanged, true},
    {"Mask", {"-m5"}, [](TextStampOptions& o) { o.maskDigits = 5; }},
    {"MaskNoDigits", {"-m"}, Unchanged, true},
    {"EveryNth", {"-n2"}, [](TextStampOptions& o) { o.everyNth = 2; }},
    {"EveryNthNegative", {"-n-2"}, [](TextStampOptions& o) { o.everyNth = -2; }},
    {"EveryNthLaterWins", {"-n2", "-n3"}, [](TextStampOptions& o) { o.everyNth = 3; }},
    {"EveryNthNoDigits", {"-n"}, Unchanged, true},
    {"FontSize", {"-size30"}, [](TextStampOptions& o) { o.fontSize = 30; }},
    {"FontSizeWithSecondNumber", {"-size30,40"}, Unchanged, true},
    {"FontSizeLeadingSpace", {"-size 12"}, [](TextStampOptions& o) { o.fontSize = 12; }},
    {"FontSizeNoDigits", {"-size"}, Unchanged, true},
    {"Angle", {"-angle45"}, [](TextStampOptions& o) { o.angle = 45; }},
    {"AngleNegative", {"-angle-45"}, [](TextStampOptions& o) { o.angle = -45; }},
    {"AngleNoDigits", {"-angle"}, Unchanged, true},
    {"AngleNegativeAsSeparateWord", {"-angle", "-45"}, Unchanged, true},
    {"Position",
     {"-pos30,40"},
     [](TextStampOptions& o) {
         o.posX = 30;
         o.posY = 40;
     }},
    {"PositionCentred",
     {"-pos-1,-1"},
     [](TextStampOptions& o) {
         o.posX = -1;
         o.posY = -1;
     }},
    {"PositionSpacesBeforeNumbers",
     {"-pos 5, 6"},
     [](TextStampOptions& o) {
         o.posX = 5;
         o.posY = 6;
     }},
    {"PositionOneNumber", {"-pos20"}, Unchanged, true},
    {"PositionCommaWithoutSecond", {"-pos20,"}, Unchanged, true},
    {"PositionSpaceBeforeComma", {"-pos5 ,6"}, Unchanged, true},
    {"PositionNoDigits", {"-pos"}, Unchanged, true},
    // -color%X
    {"ColorRed", {"-colorFF0000"}, [](TextStampOptions& o) { o.color = 0xFF0000; }},
    {"ColorGreenWithPrefix", {"-color0x00FF00"}, [](TextStampOptions& o) { o.color = 0x00FF00; }},
    {"ColorUpperCasePrefix", {"-color0X0000ff"}, [](TextStampOptions& o) { o.color = 0x0000FF; }},
    {"ColorLowerCaseDigits", {"-colorabcdef"}, [](TextStampOptions& o) { o.color = 0xABCDEF; }},
    {"ColorLeadingSpace", {"-color 1f"}, Unchanged, true},
    {"ColorTrailingCharacters", {"-color12zz"}, Unchanged, true},
    {"ColorSigned", {"-color-1"}, Unchanged, true},
    {"ColorAlone", {"-color"}, Unchanged, true},
    {"ColorNoHexDigits", {"-colorred"}, Unchanged, true},
    {"ColorThreeDigits", {"-colorFFF"}, Unchanged, true},
    {"ColorLetters", {"-colorZZZ"}, Unchanged, true},
    // values that are not of their option's form
    {"PositionDecimals", {"-pos20.5,300.5"}, Unchanged, true},
    {"FontSizeDecimal", {"-size11.5"}, Unchanged, true},
    {"StartPageBeyond32Bits", {"-s2147483648"}, Unchanged, true},
    {"FormErrorKeepsEarlierSettings", {"-s2", "-e3.0"}, [](TextStampOptions& o) { o.startPage = 2; }, true},
    {"WordsNamingNoOptionAreIgnored", {"-stamp", "-sizes", "-colour", "-repair", "-r5"}, Unchanged},
    // flags
    {"Sequential", {"-seq"}, [](TextStampOptions& o) { o.sequential = true; }},
    {"Reverse", {"-r"}, [](TextStampOptions& o) { o.reverse = true; }},
    {"OneNumber", {"-one"}, [](TextStampOptions& o) { o.oneNumber = true; }},
    {"TwoUp", {"-2up"}, [](TextStampOptions& o) { o.twoUp = true; }},
    {"AbTwoUp", {"-ab2"}, [](TextStampOptions& o) { o.abTwoUp = true; }},
    {"RomanLower", {"-rom"}, [](TextStampOptions& o) { o.romanLower = true; }},
    {"RomanUpper", {"-ROM"}, [](TextStampOptions& o) { o.romanUpper = true; }},
    {"RomanMixedCase", {"-Rom"}, Unchanged},
    {"NoPageNumber", {"-nopg"}, [](TextStampOptions& o) { o.noPageNumber = true; }},
    {"Force", {"-force"}, [](TextStampOptions& o) { o.forcePortrait = true; }},
    {"Repair", {"-repair"}, [](TextStampOptions& o) { o.repair = true; }},
    {"FlipVertical", {"-flipv"}, [](TextStampOptions& o) { o.flipVertical = true; }},
    {"FlipHorizontal", {"-fliph"}, [](TextStampOptions& o) { o.flipHorizontal = true; }},
    {"FlagRepeated", {"-r", "-r"}, [](TextStampOptions& o) { o.reverse = true; }},
    {"FlagWithSuffix", {"-seqx"}, Unchanged},
    {"FlagOtherCase", {"-R"}, Unchanged},
    {"EveryFlag",
     {"-seq", "-r", "-one", "-2up", "-ab2", "-rom", "-ROM", "-nopg", "-force", "-flipv", "-fliph"},
     [](TextStampOptions& o) {
         o.sequential = o.reverse = o.oneNumber = o.twoUp = o.abTwoUp = true;
         o.romanLower = o.romanUpper = o.noPageNumber = true;
         o.forcePortrait = o.flipVertical = o.flipHorizontal = true;
     }},
    // options that take the next word
    {"Export", {"-export", "next.txt"}, [](TextStampOptions& o) { o.exportFile = "next.txt"; }},
    {"Import", {"-import", "last.txt"}, [](TextStampOptions& o) { o.importFile = "last.txt"; }},
    {"Prefix", {"-prefix", "Seite "}, [](TextStampOptions& o) { o.prefixText = "Seite "; }},
    {"PrefixTakesAnOptionWord", {"-prefix", "-s5"}, [](TextStampOptions& o) { o.prefixText = "-s5"; }},
    {"PrefixEmpty", {"-prefix", ""}, [](TextStampOptions& o) { o.prefixText = ""; }},
    {"Separator", {"-sep", " of "}, [](TextStampOptions& o) { o.separatorText = " of "; }},
    {"EndText", {"-end", " Pages"}, [](TextStampOptions& o) { o.endText = " Pages"; }},
    {"Font", {"-font", "Courier"}, [](TextStampOptions& o) { o.fontName = "Courier"; }},
    {"Align", {"-align", "right"}, [](TextStampOptions& o) { o.align = Alignment::Right; }},
    {"AlignAnyWord", {"-align", "middle"}, [](TextStampOptions& o) { o.align = Alignment::Right; }},
    {"StringOptionRepeated",
     {"-font", "Courier", "-font", "Symbol"},
     [](TextStampOptions& o) { o.fontName = "Symbol"; }},
    {"WalkContinuesAfterTakenWord",
     {"-sep", "x", "-s4"},
     [](TextStampOptions& o) {
         o.separatorText = "x";
         o.startPage = 4;
     }},
    {"ExportLast", {"-export"}, Unchanged, true},
    {"ImportLast", {"-import"}, Unchanged, true},
    {"PrefixLast", {"-prefix"}, Unchanged, true},
    {"SeparatorLast", {"-sep"}, Unchanged, true},
    {"EndTextLast", {"-end"}, Unchanged, true},
    {"FontLast", {"-font"}, Unchanged, true},
    {"AlignLast", {"-align"}, Unchanged, true},
    {"StringOptionLastKeepsEarlier", {"-s2", "-font"}, [](TextStampOptions& o) { o.startPage = 2; }, true},
    {"StringOptionOtherCase", {"-Font", "Courier"}, Unchanged, true},
    // -fontfile names a file; -lang takes a BCP 47 tag
    {"FontFile", {"-fontfile", "f.ttf"}, [](TextStampOptions& o) { o.fontFile = "f.ttf"; }},
    {"FontFileEmpty", {"-fontfile", ""}, Unchanged, true},
    {"Language", {"-lang", "zh-Hant"}, [](TextStampOptions& o) { o.language = "zh-Hant"; }},
    {"LanguageScriptRegion", {"-lang", "sr-Latn-RS"}, [](TextStampOptions& o) { o.language = "sr-Latn-RS"; }},
    {"LanguageUnderscore", {"-lang", "ja_JP"}, Unchanged, true},
    {"LanguageOneLetter", {"-lang", "j"}, Unchanged, true},
    {"LanguageEmptySubtag", {"-lang", "ja--x"}, Unchanged, true},
    // image-mode words are ignored in text mode
    {"JpegWord", {"-jlogo.jpg"}, Unchanged},
    {"JpegAlone", {"-j"}, Unchanged},
    {"Opacity", {"-opacity50"}, Unchanged},
    // words that are not parameters
    {"BareWord", {"word"}, Unchanged, true},
    {"EmptyWord", {""}, Unchanged, true},
    {"LoneDash", {"-"}, Unchanged},
    {"BareWordKeepsEarlierSettings",
     {"-s4", "-r", "x", "-e9"},
     [](TextStampOptions& o) {
         o.startPage = 4;
         o.reverse = true;
     },
     true},
    {"AllTogether",
     {"-s2",      "-e8",     "-ns3",   "-ne9",    "-m4",     "-n5", "-color0000FF", "-size14",
      "-angle90", "-pos1,2", "-align", "center",  "-prefix", "P",   "-sep",         "S",
      "-end",     "E",       "-font",  "Courier", "-export", "x",   "-import",      "y"},
     [](TextStampOptions& o) {
         o.startPage = 2;
         o.endPage = 8;
         o.startNumber = 3;
         o.endNumber = 9;
         o.maskDigits = 4;
         o.everyNth = 5;
         o.color = 0xFF;
         o.fontSize = 14;
         o.angle = 90;
         o.posX = 1;
         o.posY = 2;
         o.align = Alignment::Center;
         o.prefixText = "P";
         o.separatorText = "S";
         o.endText = "E";
         o.fontName = "Courier";
         o.exportFile = "x";
         o.importFile = "y";
     }},
};

INSTANTIATE_TEST_SUITE_P(Words, TextOptionTest, ::testing::ValuesIn(kTextCases), CaseName<TextCase>);

// ---------------------------------------------------------------------------
// Image mode, in the same shape. At least one parameter follows the file
// names; each case adds its own.

struct ImageCase {
    const char* name;
    std::vector<std::string> params;
    void (*expect)(ImageStampOptions&);
    bool fails = false;
};

void PrintTo(const ImageCase& c, std::ostream* os) { *os << c.name; }

class ImageOptionTest : public ::testing::TestWithParam<ImageCase> {};

TEST_P(ImageOptionTest, Parses) {
    const ImageCase& c = GetParam();
    ImageStampOptions expected;
    c.expect(expected);
    ImageStampOptions parsed;
    std::string in;
    std::string out;
    EXPECT_EQ(FailureOf([&] { ParseImageParams(Words(c.params), parsed, in, out); }), c.fails ? "Error parameter" : "");
    EXPECT_EQ(Dump(parsed), Dump(expected));
    EXPECT_EQ(in, "in.pdf");
    EXPECT_EQ(out, "out.pdf");
}

void Same(ImageStampOptions&) {}

const ImageCase kImageCases[] = {
    // -j
    {"Jpeg", {"-jlogo.jpg"}, [](ImageStampOptions& o) { o.jpegFile = "logo.jpg"; }},
    {"JpegWithSpace", {"-j my logo.jpg"}, [](ImageStampOptions& o) { o.jpegFile = " my logo.jpg"; }},
    {"JpegAloneEmpties", {"-jlogo.jpg", "-j"}, Same},
    {"JpegLaterWins", {"-ja.jpg", "-jb.jpg"}, [](ImageStampOptions& o) { o.jpegFile = "b.jpg"; }},
    {"JpegAnyWordWithSecondJ", {"-justify"}, [](ImageStampOptions& o) { o.jpegFile = "ustify"; }},
    {"JpegUpperCase", {"-Jlogo.jpg"}, Same},
    {"JpegNameAsSeparateWord", {"-s4", "-j", "logo.jpg"}, [](ImageStampOptions& o) { o.startPage = 4; }, true},
    // numbers
    {"StartPage", {"-s3"}, [](ImageStampOptions& o) { o.startPage = 3; }},
    {"StartPageTrailingCharacters", {"-s3x"}, Same, true},
    {"StartPageZero", {"-s0"}, [](ImageStampOptions& o) { o.startPage = 0; }},
    {"StartPageNoDigits", {"-s"}, Same, true},
    {"StartPageNumberAsSeparateWord", {"-s", "3"}, Same, true},
    {"EndPage", {"-e5"}, [](ImageStampOptions& o) { o.endPage = 5; }},
    {"EndPageZero", {"-e0"}, [](ImageStampOptions& o) { o.endPage = 0; }},
    {"EveryNth", {"-n2"}, [](ImageStampOptions& o) { o.everyNth = 2; }},
    {"EveryNthLaterWins", {"-n2", "-n3"}, [](ImageStampOptions& o) { o.everyNth = 3; }},
    {"Opacity", {"-opacity50"}, [](ImageStampOptions& o) { o.opacity = 50; }},
    {"OpacityNegative", {"-opacity-5"}, [](ImageStampOptions& o) { o.opacity = -5; }, true},
    {"OpacityLeadingSpace", {"-opacity 7"}, [](ImageStampOptions& o) { o.opacity = 7; }},
    {"OpacityNoDigits", {"-opacity"}, Same, true},
    {"Position",
     {"-pos30,40"},
     [](ImageStampOptions& o) {
         o.posX = 30;
         o.posY = 40;
     }},
    {"PositionCentred",
     {"-pos-1,-1"},
     [](ImageStampOptions& o) {
         o.posX = -1;
         o.posY = -1;
     }},
    {"PositionOneNumber", {"-pos20"}, Same, true},
    {"Size",
     {"-size100,50"},
     [](ImageStampOptions& o) {
         o.imageWidth = 100;
         o.imageHeight = 50;
     }},
    {"SizeOfTheJpeg", {"-size100,50", "-size-1,-1"}, Same},
    {"SizeTrailingCharacters", {"-size3,4px"}, Same, true},
    {"SizeOneNumber", {"-size30"}, Same, true},
    {"SizeNoDigits", {"-size"}, Same, true},
    // what the picture is drawn with
    {"OpacityZero", {"-opacity0"}, [](ImageStampOptions& o) { o.opacity = 0; }},
    {"OpacityAboveFull", {"-opacity150"}, [](ImageStampOptions& o) { o.opacity = 150; }, true},
    {"SizeLargest", {"-size-1,14400"}, [](ImageStampOptions& o) { o.imageHeight = 14400; }},
    {"SizeOwnWidth", {"-size-1,50"}, [](ImageStampOptions& o) { o.imageHeight = 50; }},
    {"SizeBeyondTheLargestPage", {"-size-1,14401"}, [](ImageStampOptions& o) { o.imageHeight = 14401; }, true},
    {"SizeZero", {"-size0,-1"}, [](ImageStampOptions& o) { o.imageWidth = 0; }, true},
    {"SizeMirrored", {"-size-1,-50"}, [](ImageStampOptions& o) { o.imageHeight = -50; }, true},
    {"SizeDecimal", {"-size100.5,50"}, Same, true},
    // flags and -align
    {"Force", {"-force"}, [](ImageStampOptions& o) { o.forcePortrait = true; }},
    {"Repair", {"-repair"}, [](ImageStampOptions& o) { o.repair = true; }},
    {"FlipVertical", {"-flipv"}, [](ImageStampOptions& o) { o.flipVertical = true; }},
    {"FlipHorizontal", {"-fliph"}, [](ImageStampOptions& o) { o.flipHorizontal = true; }},
    {"Align", {"-align", "center"}, [](ImageStampOptions& o) { o.align = Alignment::Center; }},
    {"AlignTakesAnOptionWord", {"-align", "-jx"}, [](ImageStampOptions& o) { o.align = Alignment::Right; }},
    {"AlignLast", {"-force", "-align"}, [](ImageStampOptions& o) { o.forcePortrait = true; }, true},
    // text-only words are ignored, and take no next word
    {"StartNumber", {"-ns5"}, Same},
    {"EndNumber", {"-ne5"}, Same},
    {"Mask", {"-m5"}, Same},
    {"Angle", {"-angle45"}, Same},
    {"Color", {"-colorFF0000"}, Same},
    {"TextFlags", {"-seq", "-r", "-one", "-2up", "-ab2", "-rom", "-ROM", "-nopg"}, Same},
    {"TextStringOptionsAlone", {"-export", "-import", "-prefix", "-sep", "-end", "-font"}, Same},
    {"TextStringOptionTakesNoWord", {"-prefix", "Page"}, Same, true},
    // words that are not parameters
    {"BareWord", {"logo.jpg"}, Same, true},
    {"EmptyWord", {""}, Same, true},
    {"BareWordKeepsEarlierSettings",
     {"-jlogo.jpg", "-opacity40", "x", "-s9"},
     [](ImageStampOptions& o) {
         o.jpegFile = "logo.jpg";
         o.opacity = 40;
     },
     true},
};

INSTANTIATE_TEST_SUITE_P(Words, ImageOptionTest, ::testing::ValuesIn(kImageCases), CaseName<ImageCase>);

}  // namespace
