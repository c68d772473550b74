#include "pdf/reader/Filters.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <memory>
#include <string>

#include "base/CByteSource.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfFileStream.h"
#include "pdf/reader/CPdfParser.h"
#include "pdf/object/CPdfStream.h"
#include "unit/pdf/object/MapResolver.h"

namespace {

std::string Deflated(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    EXPECT_EQ(compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(data.data()),
                        static_cast<uLong>(data.size()), 6),
              Z_OK);
    out.resize(size);
    return out;
}

CPdfObject Parse(const std::string& text, CPdfResolver* xref = nullptr) {
    auto stream = std::make_shared<CPdfFileStream>(std::make_shared<CMemoryByteSource>(text), 0, 0, CPdfObject::Null());
    CPdfParser parser(xref, stream);
    return parser.GetObj();
}

std::shared_ptr<CPdfStream> Raw(const std::string& data) {
    return std::make_shared<CPdfFileStream>(std::make_shared<CMemoryByteSource>(data), 0,
                                            static_cast<int64_t>(data.size()), CPdfObject::Null());
}

std::string ReadAll(CPdfStream& stream) {
    std::string out;
    for (int c = stream.GetChar(); c >= 0; c = stream.GetChar()) out.push_back(static_cast<char>(c));
    return out;
}

// Rows of a cross-reference stream with /Predictor 12 and /Columns 5.
const std::string kRows("\x02\x01\x00\x0a\x00\x00\x02\x00\x00\x0b\x00\x05", 12);
const std::string kRowsDecoded("\x01\x00\x0a\x00\x00\x01\x00\x15\x00\x05", 10);

TEST(AddFiltersTest, NoFilterGivesTheRawStream) {
    const auto raw = Raw("plain");
    for (const char* dictionary : {"<< >>", "<< /Length 5 >>", "<< /Filter null >>"}) {
        EXPECT_EQ(AddFilters(raw, Parse(dictionary)), raw) << dictionary;
    }
    EXPECT_EQ(ReadAll(*raw), "plain");
}

struct FilterCase {
    const char* dictionary;
    const char* expected;  // "rows": predicted rows undone; "inflated": rows as stored
};

// Which filter entries decode, and which decode parameters apply.
TEST(AddFiltersTest, FlateDecodeSpellings) {
    const FilterCase cases[] = {
        {"<< /Filter /FlateDecode >>", "inflated"},
        {"<< /Filter /Fl >>", "inflated"},
        {"<< /F /FlateDecode >>", "inflated"},
        {"<< /F /Fl >>", "inflated"},
        {"<< /Filter [/FlateDecode] >>", "inflated"},
        {"<< /Filter [/Fl] >>", "inflated"},
        {"<< /Filter null /F /FlateDecode >>", "inflated"},
        {"<< /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 5 >> >>", "rows"},
        {"<< /Filter /FlateDecode /DP << /Predictor 12 /Columns 5 >> >>", "rows"},
        {"<< /F /Fl /DP << /Predictor 12 /Columns 5 >> >>", "rows"},
        {"<< /Filter [/FlateDecode] /DecodeParms << /Predictor 12 /Columns 5 >> >>", "rows"},
        {"<< /Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 5 /Colors 1 /BitsPerComponent 8 >> >>",
         "rows"},
        // /DecodeParms wins over /DP.
        {"<< /Filter /FlateDecode /DecodeParms << /Predictor 1 >> /DP << /Predictor 12 /Columns 5 >> >>", "inflated"},
        {"<< /Filter /FlateDecode /DecodeParms null /DP << /Predictor 12 /Columns 5 >> >>", "rows"},
        // Parameters in an array are not a dictionary: the defaults apply.
        {"<< /Filter [/FlateDecode] /DecodeParms [<< /Predictor 12 /Columns 5 >>] >>", "inflated"},
        // Values of another kind keep the default.
        {"<< /Filter /FlateDecode /DecodeParms << /Predictor 12.0 /Columns 5 >> >>", "inflated"},
        {"<< /Filter /FlateDecode /DecodeParms << /Predictor /Up /Columns 5 >> >>", "inflated"},
    };
    const std::string compressed = Deflated(kRows);
    for (const FilterCase& c : cases) {
        const auto decoded = AddFilters(Raw(compressed), Parse(c.dictionary));
        ASSERT_NE(decoded, nullptr) << c.dictionary;
        EXPECT_TRUE(decoded->IsDecodable());
        EXPECT_EQ(ReadAll(*decoded), std::string(c.expected) == "rows" ? kRowsDecoded : kRows) << c.dictionary;
    }
}

TEST(AddFiltersTest, OtherFiltersAndChainsAreNotDecoded) {
    for (const char* dictionary : {
             "<< /Filter /LZWDecode >>",
             "<< /Filter /DCTDecode >>",
             "<< /Filter /flatedecode >>",
             "<< /Filter /FlateDecodeX >>",
             "<< /Filter /FlateDecod >>",
             "<< /Filter [/FlateDecode /FlateDecode] >>",
             "<< /Filter [/FlateDecode /ASCIIHexDecode] >>",
             "<< /Filter [] >>",
             "<< /Filter [/LZWDecode] >>",
             "<< /Filter [(FlateDecode)] >>",
             "<< /Filter [[/FlateDecode]] >>",
             "<< /Filter (FlateDecode) >>",
             "<< /Filter 5 >>",
             "<< /Filter /LZWDecode /F /FlateDecode >>",
         }) {
        EXPECT_EQ(AddFilters(Raw(Deflated("x")), Parse(dictionary)), nullptr) << dictionary;
    }
}

TEST(AddFiltersTest, IndirectFiltersAndParametersAreResolved) {
    MapResolver resolver;
    resolver.Set(3, 0, CPdfObject::Name("FlateDecode"));
    resolver.Set(4, 0, Parse("<< /Predictor 9 0 R /Columns 5 >>", &resolver));
    resolver.Set(9, 0, CPdfObject::Integer(12));
    resolver.Set(5, 0, CPdfObject::Name("LZWDecode"));
    const std::string compressed = Deflated(kRows);

    struct Case {
        const char* dictionary;
        const char* expected;
    };
    const Case cases[] = {
        {"<< /Filter 3 0 R >>", "inflated"},
        {"<< /Filter [3 0 R] >>", "inflated"},
        {"<< /Filter 3 0 R /DecodeParms 4 0 R >>", "rows"},
        {"<< /F 3 0 R /DP 4 0 R >>", "rows"},
        {"<< /Filter 8 0 R /F 3 0 R >>", "inflated"},  // 8 0 R is free: null
    };
    for (const Case& c : cases) {
        const auto decoded = AddFilters(Raw(compressed), Parse(c.dictionary, &resolver));
        ASSERT_NE(decoded, nullptr) << c.dictionary;
        EXPECT_EQ(ReadAll(*decoded), std::string(c.expected) == "rows" ? kRowsDecoded : kRows) << c.dictionary;
    }
    EXPECT_EQ(AddFilters(Raw(compressed), Parse("<< /Filter 5 0 R >>", &resolver)), nullptr);
    EXPECT_EQ(AddFilters(Raw(compressed), Parse("<< /Filter [5 0 R] >>", &resolver)), nullptr);
}

TEST(MakeFilterTest, DefaultsAreOneColumnOneColourEightBits) {
    // /Predictor alone: rows of one byte after the type byte.
    const std::string rows("\x02\x05\x02\x01\x02\x01", 6);
    const auto decoded = MakeFilter("FlateDecode", Raw(Deflated(rows)), Parse("<< /Predictor 12 >>"));
    ASSERT_NE(decoded, nullptr);
    EXPECT_EQ(ReadAll(*decoded), std::string("\x05\x06\x07", 3));

    // TIFF with /Colors 2 and no /BitsPerComponent: 8-bit samples.
    const std::string samples("\x01\x02\x03\x04", 4);
    const auto tiff = MakeFilter("Fl", Raw(Deflated(samples)), Parse("<< /Predictor 2 /Columns 2 /Colors 2 >>"));
    ASSERT_NE(tiff, nullptr);
    EXPECT_EQ(ReadAll(*tiff), std::string("\x01\x02\x04\x06", 4));
}

TEST(MakeFilterTest, InvalidParametersEndTheStreamAtOnce) {
    for (const char* parameters :
         {"<< /Predictor 12 /Columns 0 >>", "<< /Predictor 12 /Columns -5 >>", "<< /Predictor 2 /Colors 0 >>",
          "<< /Predictor 2 /Colors -1 >>", "<< /Predictor 12 /BitsPerComponent 0 >>",
          "<< /Predictor 12 /BitsPerComponent -8 >>", "<< /Predictor 2 /BitsPerComponent 12 >>",
          "<< /Predictor 12 /Columns 2147483647 /Colors 2147483647 /BitsPerComponent 16 >>",
          // 2^32 + 5 is 5 as a value; 2^32 is 0.
          "<< /Predictor 12 /Columns 4294967296 >>"}) {
        const auto decoded = MakeFilter("FlateDecode", Raw(Deflated(kRows)), Parse(parameters));
        ASSERT_NE(decoded, nullptr) << parameters;
        EXPECT_EQ(decoded->GetChar(), -1) << parameters;
    }
    const auto wrapped =
        MakeFilter("FlateDecode", Raw(Deflated(kRows)), Parse("<< /Predictor 12 /Columns 4294967301 >>"));
    EXPECT_EQ(ReadAll(*wrapped), kRowsDecoded);
}

TEST(MakeFilterTest, OnlyFlateDecodeIsMade) {
    for (const char* name : {"LZWDecode", "", "Flate", "FL", "fl", "FlateDecode "}) {
        EXPECT_EQ(MakeFilter(name, Raw("x"), CPdfObject::Null()), nullptr) << name;
    }
}

}  // namespace
