#include "pdf/reader/CPdfParser.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/CByteSource.h"
#include "base/CPdfException.h"
#include "pdf/object/CPdfArray.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/CPdfStream.h"
#include "pdf/reader/CPdfEmbedStream.h"
#include "pdf/reader/CPdfFileStream.h"
#include "support/CaseName.h"
#include "unit/pdf/object/MapResolver.h"

namespace {

std::shared_ptr<CPdfFileStream> MemoryStream(const std::string& bytes) {
    return std::make_shared<CPdfFileStream>(std::make_shared<CMemoryByteSource>(bytes), 0, 0, CPdfObject::Null());
}

std::string ReadAll(CPdfStream& stream) {
    std::string out;
    for (int c = stream.GetChar(); c >= 0; c = stream.GetChar()) out.push_back(static_cast<char>(c));
    return out;
}

std::string Deflated(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                        static_cast<uLong>(data.size()), 9),
              Z_OK);
    out.resize(size);
    return out;
}

// One line of text for a value: its kind and its contents.
std::string Describe(const CPdfObject& value) {
    switch (value.kind()) {
        case pdfBoolean:
            return value.getBool() ? "bool:true" : "bool:false";
        case pdfInteger:
            return "int:" + std::to_string(value.getInt64());
        case pdfReal: {
            char text[64];
            std::snprintf(text, sizeof text, "real:%g", value.getReal());
            return text;
        }
        case pdfText:
            return "text:" + value.getText();
        case pdfString:
            return (value.getString().isLiteral() ? "lit:" : "hex:") + value.getString().data();
        case pdfName:
            return "name:" + value.getName();
        case pdfNull:
            return "null";
        case pdfArray: {
            std::string text = "[";
            const CPdfArray& array = value.getArray();
            for (size_t i = 0; i < array.getLength(); ++i) text += (i ? " " : "") + Describe(array.getNF(i));
            return text + "]";
        }
        case pdfDictionary: {
            std::string text = "<<";
            const CPdfDictionary& dictionary = value.getDict();
            for (size_t i = 0; i < dictionary.getLength(); ++i) {
                const std::string key = dictionary.getKey(i);
                text += (i ? " /" : "/") + key + " " + Describe(dictionary.lookupNF(key));
            }
            return text + ">>";
        }
        case pdfStream:
            return "stream";
        case pdfReference:
            return "ref:" + std::to_string(value.getRef().number) + " " + std::to_string(value.getRef().generation);
        case pdfKeyword:
            return "kw:" + value.getKeyword();
        case pdfError:
            return "error";
        case pdfEndOfFile:
            return "eof";
        case pdfNone:
            return "none";
    }
    return "?";
}

// The bytes one at a time: every token crosses the end of the bytes the
// stream holds, as tokens at the edge of a file's window do.
class COneByteStream : public CPdfStream {
public:
    explicit COneByteStream(std::string bytes) : bytes_(std::move(bytes)) {}
    void Reset() override { SetPos(0, SeekOrigin::Start); }
    CPdfDictionary* GetDict() override { return nullptr; }
    int64_t GetPos() override { return static_cast<int64_t>(next_) - (end_ - read_); }
    void SetPos(int64_t position, SeekOrigin) override {
        next_ = static_cast<size_t>(position);
        read_ = end_ = nullptr;
    }
    int64_t GetStart() override { return 0; }
    void MoveStart(int64_t) override {}
    int64_t GetLength() override { return static_cast<int64_t>(bytes_.size()); }
    std::shared_ptr<CPdfStream> MakeSubStream(int64_t, int64_t, const CPdfObject&) override { return nullptr; }

protected:
    bool Fill() override {
        if (next_ >= bytes_.size()) return false;
        read_ = reinterpret_cast<const uint8_t*>(bytes_.data()) + next_++;
        end_ = read_ + 1;
        return true;
    }

private:
    std::string bytes_;
    size_t next_ = 0;
};

// Every token up to the end of input, as the lexer hands them to GetObj.
std::vector<std::string> Tokens(const std::string& input, std::shared_ptr<CPdfStream> stream = nullptr) {
    CPdfParser parser(nullptr, stream ? std::move(stream) : MemoryStream(input));
    std::vector<std::string> tokens;
    while (!parser.Lookahead().is(pdfEndOfFile) && tokens.size() < 1000) {
        tokens.push_back(Describe(parser.Lookahead()));
        parser.Shift();
    }
    return tokens;
}

// Every value up to the end of input.
std::vector<std::string> Values(const std::string& input, CPdfResolver* xref = nullptr) {
    CPdfParser parser(xref, MemoryStream(input));
    std::vector<std::string> values;
    for (CPdfObject value = parser.GetObj(); !value.is(pdfEndOfFile) && values.size() < 1000; value = parser.GetObj())
        values.push_back(Describe(value));
    return values;
}

struct ParseCase {
    const char* name;
    std::string input;
    std::vector<std::string> expected;
};

void PrintTo(const ParseCase& c, std::ostream* os) { *os << c.name; }

// ---------------------------------------------------------------------------
// The lexer

class LexerTest : public ::testing::TestWithParam<ParseCase> {};

// Alike whether the tokens stand whole in the bytes the stream holds or
// cross their end.
TEST_P(LexerTest, Tokens) {
    const std::string& input = GetParam().input;
    EXPECT_EQ(Tokens(input), GetParam().expected);
    EXPECT_EQ(Tokens(input, std::make_shared<COneByteStream>(input)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(LiteralStrings, LexerTest,
                         ::testing::Values(ParseCase{"Balanced", "(a(b)c)", {"lit:a(b)c"}},
                                           ParseCase{"Nested", "((a)(b(c)))", {"lit:(a)(b(c))"}},
                                           ParseCase{"Empty", "()", {"lit:"}},
                                           ParseCase{"EscapedParenthesis", "(a\\)b) x", {"lit:a)b", "kw:x"}},
                                           ParseCase{"EscapedParenthesesDoNotCount", "(\\(a) b", {"lit:(a", "kw:b"}},
                                           ParseCase{"Escapes", "(\\n\\r\\t\\b\\f\\(\\)\\\\)", {"lit:\n\r\t\b\f()\\"}},
                                           ParseCase{"UnknownEscape", "(\\q\\8\\ )", {"lit:q8 "}},
                                           ParseCase{"OctalThreeDigits", "(\\101)", {"lit:A"}},
                                           ParseCase{"OctalThenDigit",
                                                     "(\\0053)",
                                                     {std::string("lit:\x05"
                                                                  "3")}},
                                           ParseCase{"OctalOneDigit", "(\\7x)", {"lit:\ax"}},
                                           ParseCase{"OctalTwoDigits", "(\\12x)", {"lit:\nx"}},
                                           ParseCase{"OctalZeroThenNonOctal",
                                                     "(\\08)",
                                                     {std::string("lit:\0"
                                                                  "8",
                                                                  6)}},
                                           ParseCase{"OctalLow8Bits", "(\\777)", {"lit:\xff"}},
                                           ParseCase{"OctalAtMostThreeDigits", "(\\1234)", {"lit:S4"}},
                                           ParseCase{"ContinuationLF", "(ab\\\ncd)", {"lit:abcd"}},
                                           ParseCase{"ContinuationCRLF", "(ab\\\r\ncd)", {"lit:abcd"}},
                                           ParseCase{"ContinuationCR", "(ab\\\rcd)", {"lit:abcd"}},
                                           ParseCase{"ContinuationTakesOneLineEnd", "(ab\\\n\ncd)", {"lit:ab\ncd"}},
                                           ParseCase{"LineEndsKept", "(a\r\nb\rc)", {"lit:a\r\nb\rc"}},
                                           ParseCase{"CommentCharactersKept", "(50% /x)", {"lit:50% /x"}},
                                           ParseCase{"Unterminated", "(abc (d", {"lit:abc (d"}},
                                           ParseCase{"BackslashAtEnd", "(abc\\", {"lit:abc"}}),
                         CaseName<ParseCase>);

INSTANTIATE_TEST_SUITE_P(HexStrings, LexerTest,
                         ::testing::Values(ParseCase{"Digits", "<4865>", {"hex:4865"}},
                                           ParseCase{"KeptAsWritten", "<48 65>", {"hex:48 65"}},
                                           ParseCase{"OddCount", "<4>", {"hex:4"}}, ParseCase{"Empty", "<>", {"hex:"}},
                                           ParseCase{"NotDigits", "<zz\n%>", {"hex:zz\n%"}},
                                           ParseCase{"Unterminated", "<abc", {"hex:abc"}},
                                           ParseCase{"FollowedByToken", "<41>/N", {"hex:41", "name:N"}}),
                         CaseName<ParseCase>);

INSTANTIATE_TEST_SUITE_P(
    Names, LexerTest,
    ::testing::Values(ParseCase{"Plain", "/Type", {"name:Type"}}, ParseCase{"HexEscape", "/A#42", {"name:AB"}},
                      ParseCase{"HexEscapeLowerCase", "/A#4a", {"name:AJ"}},
                      ParseCase{"NotAnEscape", "/A#G", {"name:A#G"}}, ParseCase{"HashAtEnd", "/A#", {"name:A#"}},
                      // The byte after a single hex digit is taken whatever it is, so a space
                      // does not end the name.
                      ParseCase{"SingleDigitThenSpace", "/A#4 x", {"name:A@x"}},
                      ParseCase{"SingleDigitAtEnd", "/A#4", {"name:A@"}},
                      ParseCase{"SingleDigitThenDelimiter", "/A#4(x) y", {"name:A@x", "error", "kw:y"}},
                      ParseCase{"EscapedSpace", "/A#20B", {"name:A B"}},
                      ParseCase{"ZeroEscapeCuts", "/A#00B /C", {"name:A", "name:C"}},
                      ParseCase{"Empty", "/ /", {"name:", "name:"}},
                      ParseCase{"EndsAtDelimiter", "/a/b(c)", {"name:a", "name:b", "lit:c"}},
                      ParseCase{"EndsAtComment", "/a%c\n/b", {"name:a", "name:b"}},
                      ParseCase{"HighBytes", "/\x80\xff", {"name:\x80\xff"}},
                      ParseCase{"VerticalTabIsRegular",
                                "/A\x0b"
                                "B",
                                {"name:A\x0b"
                                 "B"}}),
    CaseName<ParseCase>);

INSTANTIATE_TEST_SUITE_P(
    Numbers, LexerTest,
    ::testing::Values(ParseCase{"Integer", "42", {"int:42"}}, ParseCase{"Negative", "-17", {"int:-17"}},
                      ParseCase{"LeadingZeros", "00012", {"int:12"}}, ParseCase{"MinusZero", "-0", {"int:0"}},
                      ParseCase{"Real", "3.25", {"real:3.25"}}, ParseCase{"RealLeadingPoint", ".5", {"real:0.5"}},
                      ParseCase{"RealNegativeLeadingPoint", "-.5", {"real:-0.5"}},
                      ParseCase{"RealTrailingPoint", "5.", {"real:5"}}, ParseCase{"LonePoint", ".", {"real:0"}},
                      ParseCase{"TwoPoints", "1.5.2", {"real:1.5"}}, ParseCase{"LoneMinus", "-", {"int:0"}},
                      ParseCase{"TwoMinuses", "--5", {"int:0", "int:-5"}},
                      ParseCase{"MinusInside", "1-2", {"int:1", "int:-2"}},
                      ParseCase{"PlusIsAKeyword", "+5", {"kw:+5"}}, ParseCase{"NoExponent", "1e5", {"int:1", "kw:e5"}},
                      ParseCase{"VerticalTabEndsNumber",
                                "12\x0b"
                                "ab 3",
                                {"int:12",
                                 "kw:\x0b"
                                 "ab",
                                 "int:3"}},
                      ParseCase{"DelimiterEndsNumber", "7[8]", {"int:7", "kw:[", "int:8", "kw:]"}},
                      ParseCase{"Beyond32Bits", "4294967297", {"int:4294967297"}},
                      ParseCase{"Beyond64BitsWraps", "18446744073709551621", {"int:5"}}),
    CaseName<ParseCase>);

INSTANTIATE_TEST_SUITE_P(Keywords, LexerTest,
                         ::testing::Values(ParseCase{"Booleans", "true false", {"bool:true", "bool:false"}},
                                           ParseCase{"CapitalTrue", "True", {"kw:True"}},
                                           ParseCase{"TrueWithMore", "truex", {"kw:truex"}},
                                           ParseCase{"Null", "null", {"null"}},
                                           ParseCase{"CapitalNull", "NULL", {"kw:NULL"}},
                                           ParseCase{"Words",
                                                     "obj endobj R stream endstream",
                                                     {"kw:obj", "kw:endobj", "kw:R", "kw:stream", "kw:endstream"}},
                                           ParseCase{"WordsLikeThem",
                                                     "r RR obJ endobJ streaM Endstream nulL falsE",
                                                     {"kw:r", "kw:RR", "kw:obJ", "kw:endobJ", "kw:streaM",
                                                      "kw:Endstream", "kw:nulL", "kw:falsE"}},
                                           ParseCase{"Brackets", "[]<<>>", {"kw:[", "kw:]", "kw:<<", "kw:>>"}},
                                           ParseCase{"KeywordEndsAtDelimiter", "abc]def", {"kw:abc", "kw:]", "kw:def"}},
                                           ParseCase{"Errors", ") { } >", {"error", "error", "error", "error"}},
                                           ParseCase{"LoneGreaterBeforeToken", ">a", {"error", "kw:a"}},
                                           ParseCase{"TripleGreater", ">>>", {"kw:>>", "error"}}),
                         CaseName<ParseCase>);

INSTANTIATE_TEST_SUITE_P(Separators, LexerTest,
                         ::testing::Values(ParseCase{"CommentBetweenNumbers", "1%comment\n2", {"int:1", "int:2"}},
                                           ParseCase{"CommentEndsAtCR", "1%c\r2", {"int:1", "int:2"}},
                                           ParseCase{"CommentAtEnd", "3 % no line end", {"int:3"}},
                                           ParseCase{"OnlyComments", "%a\n%b\r\n", {}},
                                           ParseCase{"Whitespace",
                                                     std::string("1\x00"
                                                                 "2\t3\n4\f5\r6 7",
                                                                 13),
                                                     {"int:1", "int:2", "int:3", "int:4", "int:5", "int:6", "int:7"}},
                                           ParseCase{"Empty", "", {}}),
                         CaseName<ParseCase>);

// The value of an integer is its low 32 bits; the whole number stays for
// offsets and lengths beyond 4 GiB.
TEST(LexerNumbersTest, IntegersWrapAt32BitsAndKeepTheFullValue) {
    struct Case {
        const char* text;
        int32_t value;
        int64_t full;
    };
    const Case cases[] = {
        {"2147483647", 2147483647, 2147483647},    {"2147483648", INT32_MIN, 2147483648LL},
        {"-2147483648", INT32_MIN, -2147483648LL}, {"-2147483649", 2147483647, -2147483649LL},
        {"4294967297", 1, 4294967297LL},           {"5000000000", 705032704, 5000000000LL},
    };
    for (const Case& c : cases) {
        CPdfParser parser(nullptr, MemoryStream(c.text));
        ASSERT_TRUE(parser.Lookahead().is(pdfInteger)) << c.text;
        EXPECT_EQ(parser.Lookahead().getInt(), c.value) << c.text;
        EXPECT_EQ(parser.Lookahead().getInt64(), c.full) << c.text;
    }
}

TEST(LexerTest, EndOfInputRepeats) {
    CPdfParser parser(nullptr, MemoryStream("x"));
    EXPECT_TRUE(parser.GetObj().isKeyword("x"));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(parser.GetObj().is(pdfEndOfFile));
}

// ---------------------------------------------------------------------------
// Values

class GetObjTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(GetObjTest, Values) { EXPECT_EQ(Values(GetParam().input), GetParam().expected); }

INSTANTIATE_TEST_SUITE_P(Arrays, GetObjTest,
                         ::testing::Values(ParseCase{"Empty", "[]", {"[]"}},
                                           ParseCase{"Mixed",
                                                     "[1 2.5 (s) <6869> /N true null]",
                                                     {"[int:1 real:2.5 lit:s hex:6869 name:N bool:true null]"}},
                                           ParseCase{"Nested", "[[1] [[2]] []]", {"[[int:1] [[int:2]] []]"}},
                                           ParseCase{"WithReference", "[1 0 R 2]", {"[ref:1 0 int:2]"}},
                                           ParseCase{"WithDictionary", "[<< /A 1 >>]", {"[<</A int:1>>]"}},
                                           ParseCase{"ErrorsAreElements", "[1 ) 2]", {"[int:1 error int:2]"}},
                                           ParseCase{"StrayClosingBracket", "] 1", {"kw:]", "int:1"}},
                                           ParseCase{"UnterminatedAtEnd", "[1 2 [3", {"[int:1 int:2 [int:3]]"}},
                                           ParseCase{"UnterminatedEmpty", "[", {"[]"}}),
                         CaseName<ParseCase>);

INSTANTIATE_TEST_SUITE_P(
    Dictionaries, GetObjTest,
    ::testing::Values(ParseCase{"Empty", "<<>>", {"<<>>"}},
                      ParseCase{"Entries",
                                "<< /Type /Page /Count 3 /Kids [4 0 R] >>",
                                {"<</Count int:3 /Kids [ref:4 0] /Type name:Page>>"}},
                      ParseCase{"FirstDuplicateWins", "<< /A 1 /A 2 >>", {"<</A int:1>>"}},
                      ParseCase{"ManyKeysSortedFirstWins",
                                "<< /N 14 /M 13 /L 12 /K 11 /J 10 /I 9 /H 8 /G 7 /F 6 /E 5 /D 4 /C 3 /B 2 /A 1 /M 0 >>",
                                {"<</A int:1 /B int:2 /C int:3 /D int:4 /E int:5 /F int:6 /G int:7 /H int:8 /I int:9 "
                                 "/J int:10 /K int:11 /L int:12 /M int:13 /N int:14>>"}},
                      ParseCase{
                          "ContainersInsideEachOther",
                          "<< /Z [1 << /Y [2 3] /X 4 >> 5] /A << /B [<< >>] >> >> [<< /C [6] >>]",
                          {"<</A <</B [<<>>]>> /Z [int:1 <</X int:4 /Y [int:2 int:3]>> int:5]>>", "[<</C [int:6]>>]"}},
                      ParseCase{"ErrorAfterKeyIsDropped", "<< /A ) /B 2 >>", {"<</B int:2>>"}},
                      ParseCase{"StrayValuesSkipped", "<< 1 /B 2 (x) [ /C 3 >>", {"<</B int:2 /C int:3>>"}},
                      ParseCase{"Nested", "<< /A << /B << >> >> >>", {"<</A <</B <<>>>>>>"}},
                      ParseCase{"ValueMayBeNameOrNull", "<< /A /B /C null >>", {"<</A name:B /C null>>"}},
                      ParseCase{"KeyWithoutValueTakesTheClosing", "<< /K >> 5", {"<</K kw:>>>>"}},
                      ParseCase{"FollowedByValues", "<< /A 1 >> 2 0 R", {"<</A int:1>>", "ref:2 0"}},
                      ParseCase{"UnterminatedAtEnd", "<< /A 1 /B [2", {"<</A int:1 /B [int:2]>>"}},
                      ParseCase{"UnterminatedEmpty", "<<", {"<<>>"}}),
    CaseName<ParseCase>);

INSTANTIATE_TEST_SUITE_P(References, GetObjTest,
                         ::testing::Values(ParseCase{"Reference", "5 0 R", {"ref:5 0"}},
                                           ParseCase{"ObjectHeader", "5 0 obj", {"int:5", "int:0", "kw:obj"}},
                                           ParseCase{"ThreeIntegers", "1 2 3 R", {"int:1", "ref:2 3"}},
                                           ParseCase{"OneInteger", "7 R", {"int:7", "kw:R"}},
                                           ParseCase{"RealGeneration", "5 0.0 R", {"int:5", "real:0", "kw:R"}},
                                           ParseCase{"Negative", "-1 -2 R", {"ref:-1 -2"}},
                                           ParseCase{"NumbersWrap", "4294967301 4294967296 R", {"ref:5 0"}},
                                           ParseCase{"RWithMore", "5 0 Rx", {"int:5", "int:0", "kw:Rx"}},
                                           ParseCase{"TwoIntegersAtEnd", "5 0", {"int:5", "int:0"}}),
                         CaseName<ParseCase>);

TEST(GetObjTest, ContainersAreBoundToTheParsersXRef) {
    MapResolver resolver;
    resolver.Set(4, 0, CPdfObject::Name("Resolved"));
    CPdfParser parser(&resolver, MemoryStream("[4 0 R] << /K 4 0 R >>"));
    const CPdfObject array = parser.GetObj();
    const CPdfObject dictionary = parser.GetObj();
    // Parsing alone fetches nothing.
    EXPECT_TRUE(resolver.fetches.empty());

    ASSERT_TRUE(array.is(pdfArray));
    EXPECT_EQ(array.getArray().xref(), &resolver);
    EXPECT_TRUE(array.getArray().get(0).isName("Resolved"));
    EXPECT_TRUE(array.getArray().getNF(0).is(pdfReference));

    ASSERT_TRUE(dictionary.is(pdfDictionary));
    EXPECT_EQ(dictionary.getDict().xref(), &resolver);
    EXPECT_TRUE(dictionary.getDict().lookup("K").isName("Resolved"));
    EXPECT_EQ(resolver.fetches.size(), 2u);
}

TEST(GetObjTest, UnterminatedValuesEndAtEndOfInput) {
    CPdfParser parser(nullptr, MemoryStream("<< /A 1 /B << /C"));
    const CPdfObject value = parser.GetObj();
    ASSERT_TRUE(value.is(pdfDictionary));
    EXPECT_EQ(value.getDict().lookup("A").getInt(), 1);
    EXPECT_TRUE(value.getDict().lookup("B").is(pdfDictionary));
    EXPECT_TRUE(parser.GetObj().is(pdfEndOfFile));
    EXPECT_TRUE(parser.GetObj().is(pdfEndOfFile));
}

// Deep nesting ends at the depth limit; the rest of the input is still read,
// in bounded time and without deep recursion.
TEST(GetObjTest, DeepArraysStopAtTheDepthLimit) {
    const auto started = std::chrono::steady_clock::now();
    CPdfParser parser(nullptr, MemoryStream(std::string(100000, '[')));
    const CPdfObject value = parser.GetObj();
    int depth = 0;
    const CPdfObject* level = &value;
    while (level->is(pdfArray) && level->getArray().getLength() > 0) {
        ++depth;
        const CPdfObject* next = &level->getArray().getNF(0);
        if (!next->is(pdfArray)) {
            // The innermost array holds one error for every bracket left.
            EXPECT_TRUE(next->is(pdfError));
            EXPECT_EQ(level->getArray().getLength(), 100000u - CPdfParser::kMaxDepth);
            break;
        }
        level = next;
    }
    EXPECT_EQ(depth, CPdfParser::kMaxDepth);
    EXPECT_TRUE(parser.GetObj().is(pdfEndOfFile));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
}

TEST(GetObjTest, DeepDictionariesStopAtTheDepthLimit) {
    std::string input;
    for (int i = 0; i < 100000; ++i) input += "<</A ";
    CPdfParser parser(nullptr, MemoryStream(input));
    const CPdfObject value = parser.GetObj();
    int depth = 0;
    CPdfObject level = value;
    while (level.is(pdfDictionary)) {
        ++depth;
        level = level.getDict().lookupNF("A");
    }
    EXPECT_EQ(depth, CPdfParser::kMaxDepth);
    EXPECT_TRUE(level.is(pdfError));
    EXPECT_TRUE(parser.GetObj().is(pdfEndOfFile));
}

TEST(GetObjTest, ManyOpeningsOfEachKindNeitherCrashNorHang) {
    for (const std::string unit : {"<<", "[", "[<</A ", "<</A [", "<</A [[(x) "}) {
        std::string input;
        while (input.size() < 200000) input += unit;
        CPdfParser parser(nullptr, MemoryStream(input));
        const CPdfObject value = parser.GetObj();
        EXPECT_TRUE(value.is(pdfArray) || value.is(pdfDictionary)) << unit;
        EXPECT_TRUE(parser.GetObj().is(pdfEndOfFile)) << unit;
    }
}

// ---------------------------------------------------------------------------
// Streams

std::string StreamObject(const std::string& entries, const std::string& data, const std::string& after) {
    return "<< " + entries + " >>\nstream\n" + data + after;
}

TEST(ParserStreamTest, LengthFramesTheData) {
    const std::string input = StreamObject("/Length 11", "hello world", "\nendstream\nendobj 42");
    CPdfParser parser(nullptr, MemoryStream(input));
    const CPdfObject value = parser.GetObj();
    ASSERT_TRUE(value.is(pdfStream));
    CPdfStream& stream = value.getStream();
    EXPECT_TRUE(stream.IsDecodable());
    EXPECT_EQ(stream.GetStart(), static_cast<int64_t>(input.find("hello")));
    EXPECT_EQ(stream.GetLength(), 11);
    ASSERT_NE(stream.GetDict(), nullptr);
    EXPECT_EQ(stream.GetDict()->lookup("Length").getInt(), 11);
    EXPECT_EQ(ReadAll(stream), "hello world");
    // Reading goes on after "endstream", which ends the consumed bytes.
    EXPECT_EQ(parser.consumedEnd(), static_cast<int64_t>(input.find("endstream") + 9));
    EXPECT_TRUE(parser.GetObj().isKeyword("endobj"));
    EXPECT_EQ(parser.GetObj().getInt(), 42);
}

struct StreamCase {
    const char* name;
    std::string input;
    std::string data;  // empty: "Missing 'endstream'" is expected
};

void PrintTo(const StreamCase& c, std::ostream* os) { *os << c.name; }

class StreamFramingTest : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamFramingTest, Framing) {
    const StreamCase& c = GetParam();
    CPdfParser parser(nullptr, MemoryStream(c.input));
    if (c.data.empty()) {
        try {
            (void)parser.GetObj();
            FAIL() << "no exception";
        } catch (const CPdfException& e) {
            EXPECT_STREQ(e.GetMessage(), "Missing 'endstream'");
        }
        return;
    }
    const CPdfObject value = parser.GetObj();
    ASSERT_TRUE(value.is(pdfStream));
    EXPECT_EQ(ReadAll(value.getStream()), c.data);
    EXPECT_TRUE(parser.GetObj().is(pdfEndOfFile));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StreamFramingTest,
    ::testing::Values(
        StreamCase{"Exact", "<< /Length 3 >>\nstream\nabc\nendstream", "abc"},
        StreamCase{"AfterCRLF", "<< /Length 3 >>\nstream\r\nabc\nendstream", "abc"},
        StreamCase{"AfterCR", "<< /Length 3 >>\nstream\rabc\nendstream", "abc"},
        StreamCase{"RestOfLineSkipped", "<< /Length 3 >>\nstream junk here\nabc\nendstream", "abc"},
        StreamCase{"DataStartsWithLineEnd", "<< /Length 4 >>\nstream\n\nabc\nendstream", "\nabc"},
        StreamCase{"TwoWhitespaceBytesBeforeEndstream", "<< /Length 3 >>\nstream\nabc\r\nendstream", "abc"},
        StreamCase{"LengthTakesTheLineEnd", "<< /Length 4 >>\nstream\nabc\nendstream", "abc\n"},
        StreamCase{"CommentBeforeEndstream", "<< /Length 3 >>\nstream\nabc % note\nendstream", "abc"},
        StreamCase{"NoSpaceBeforeEndstream", "<< /Length 3 >>\nstream\nabcendstream", "abc"},
        StreamCase{"ShortLength", "<< /Length 2 >>\nstream\nabc\nendstream", ""},
        StreamCase{"OneByteBeyondLength", "<< /Length 3 >>\nstream\nabcd\nendstream", ""},
        StreamCase{"LongLength", "<< /Length 6 >>\nstream\nabc\nendstream", ""},
        StreamCase{"LengthBeyondTheEnd", "<< /Length 1000 >>\nstream\nabc\nendstream", ""},
        StreamCase{"NegativeLength", "<< /Length -3 >>\nstream\nabc\nendstream", ""},
        // The full 64-bit value is the length: 2^32 + 3 is not 3.
        StreamCase{"LengthBeyond32Bits", "<< /Length 4294967299 >>\nstream\nabc\nendstream", ""},
        StreamCase{"LengthBeyondLargestPosition", "<< /Length 9223372036854775807 >>\nstream\nabc\nendstream", ""},
        StreamCase{"NoEndstream", "<< /Length 3 >>\nstream\nabc\nendobj", ""}),
    CaseName<StreamCase>);

// Length 0 means "to the end of the file" for the data; the token after the
// data must still be "endstream".
TEST(ParserStreamTest, LengthZeroReadsToTheEnd) {
    CPdfParser parser(nullptr, MemoryStream("<< /Length 0 >>\nstream\nendstream\ntail"));
    const CPdfObject value = parser.GetObj();
    ASSERT_TRUE(value.is(pdfStream));
    EXPECT_EQ(ReadAll(value.getStream()), "endstream\ntail");
    EXPECT_TRUE(parser.GetObj().isKeyword("tail"));
}

TEST(ParserStreamTest, LengthThatIsNotAnIntegerGivesError) {
    for (const std::string entries : {"", "/Length 3.0", "/Length (3)", "/Length null", "/Length 7 0 R"}) {
        CPdfParser parser(nullptr, MemoryStream(StreamObject(entries, "abc", "\nendstream")));
        EXPECT_TRUE(parser.GetObj().is(pdfError)) << entries;
    }
}

TEST(ParserStreamTest, IndirectLengthIsFetchedThroughTheXRef) {
    MapResolver resolver;
    resolver.Set(7, 0, CPdfObject::Integer(5));
    CPdfParser parser(&resolver, MemoryStream(StreamObject("/Length 7 0 R", "abcde", "\nendstream\n9")));
    const CPdfObject value = parser.GetObj();
    ASSERT_TRUE(value.is(pdfStream));
    EXPECT_EQ(ReadAll(value.getStream()), "abcde");
    ASSERT_EQ(resolver.fetches.size(), 1u);
    EXPECT_EQ(resolver.fetches[0], std::make_pair(7, 0));
    EXPECT_EQ(value.getStream().GetDict()->xref(), &resolver);
    EXPECT_EQ(parser.GetObj().getInt(), 9);
}

TEST(ParserStreamTest, IndirectLengthOfWrongKindGivesError) {
    MapResolver resolver;
    resolver.Set(7, 0, CPdfObject::Real(5));
    CPdfParser parser(&resolver, MemoryStream(StreamObject("/Length 7 0 R", "abcde", "\nendstream")));
    EXPECT_TRUE(parser.GetObj().is(pdfError));
}

TEST(ParserStreamTest, FlateDataIsDecoded) {
    const std::string text = "BT /F1 12 Tf (Page 1) Tj ET";
    const std::string data = Deflated(text);
    for (const std::string filter : {"/Filter /FlateDecode", "/Filter [/FlateDecode]", "/F /Fl"}) {
        const std::string entries = filter + " /Length " + std::to_string(data.size());
        CPdfParser parser(nullptr, MemoryStream(StreamObject(entries, data, "\nendstream 1")));
        const CPdfObject value = parser.GetObj();
        ASSERT_TRUE(value.is(pdfStream)) << filter;
        EXPECT_TRUE(value.getStream().IsDecodable());
        EXPECT_EQ(ReadAll(value.getStream()), text) << filter;
        EXPECT_EQ(parser.GetObj().getInt(), 1);
    }
}

// A filter that is not decoded still makes a stream, with its dictionary and
// place in the file; its data reads as empty.
TEST(ParserStreamTest, StreamWithUndecodedFilterIsKept) {
    const std::string data = Deflated(Deflated("abc"));
    for (const std::string filter :
         {"/Filter /LZWDecode", "/Filter [/FlateDecode /FlateDecode]", "/Filter /DCTDecode", "/Filter []"}) {
        const std::string input =
            StreamObject(filter + " /Length " + std::to_string(data.size()), data, "\nendstream 1");
        CPdfParser parser(nullptr, MemoryStream(input));
        const CPdfObject value = parser.GetObj();
        ASSERT_TRUE(value.is(pdfStream)) << filter;
        CPdfStream& stream = value.getStream();
        EXPECT_FALSE(stream.IsDecodable()) << filter;
        EXPECT_EQ(stream.LookChar(), -1);
        EXPECT_EQ(stream.GetChar(), -1);
        ASSERT_NE(stream.GetDict(), nullptr);
        EXPECT_FALSE(stream.GetDict()->lookup("Filter").is(pdfNull));
        EXPECT_EQ(stream.GetStart(), static_cast<int64_t>(input.find("stream\n") + 7));
        EXPECT_EQ(stream.GetLength(), static_cast<int64_t>(data.size()));
        EXPECT_EQ(parser.GetObj().getInt(), 1) << filter;
    }
}

// A stream inside a view that cannot make sub-streams (an object-stream
// member) is an error value.
TEST(ParserStreamTest, StreamInAViewGivesError) {
    auto view = std::make_shared<CPdfEmbedStream>(MemoryStream("<< /Length 3 >>\nstream\nabc\nendstream"),
                                                  CPdfObject::Null(), false, 0);
    CPdfParser parser(nullptr, view);
    EXPECT_TRUE(parser.GetObj().is(pdfError));
}

// A stream that fails deep inside arrays and dictionaries leaves nothing of
// them behind: what is read next holds only its own entries and elements.
TEST(ParserStreamTest, AFailureInsideContainersLeavesNothingForTheNextValue) {
    CPdfParser failing(nullptr, MemoryStream("<< /A [1 << /B 2 /S << /Length 9 >>\nstream\nxy\nendstream >> ] >>"));
    EXPECT_THROW((void)failing.GetObj(), CPdfException);
    EXPECT_EQ(Values("<< /K [7] >> [8]"), (std::vector<std::string>{"<</K [int:7]>>", "[int:8]"}));
}

TEST(ParserStreamTest, StreamsInsideArraysAndDictionaries) {
    const std::string input =
        "[<< /Length 1 >>\nstream\nx\nendstream 2] << /S << /Length 1 >>\nstream\ny\n"
        "endstream /T 3 >>";
    CPdfParser parser(nullptr, MemoryStream(input));
    const CPdfObject array = parser.GetObj();
    ASSERT_TRUE(array.is(pdfArray));
    ASSERT_EQ(array.getArray().getLength(), 2u);
    ASSERT_TRUE(array.getArray().getNF(0).is(pdfStream));
    EXPECT_EQ(ReadAll(array.getArray().getNF(0).getStream()), "x");
    EXPECT_EQ(array.getArray().getNF(1).getInt(), 2);

    const CPdfObject dictionary = parser.GetObj();
    ASSERT_TRUE(dictionary.is(pdfDictionary));
    const CPdfObject inner = dictionary.getDict().lookup("S");
    ASSERT_TRUE(inner.is(pdfStream));
    EXPECT_EQ(ReadAll(inner.getStream()), "y");
    EXPECT_EQ(dictionary.getDict().lookup("T").getInt(), 3);
}

}  // namespace
