#include "pictures/JpegProbe.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/CaseName.h"

namespace {

// ---------------------------------------------------------------------------
// Building small JPEG byte strings

std::string Bytes(std::initializer_list<int> values) {
    std::string out;
    for (int value : values) out.push_back(static_cast<char>(value));
    return out;
}

std::string UInt16(int value) { return Bytes({(value >> 8) & 0xFF, value & 0xFF}); }

const std::string kSoi = Bytes({0xFF, 0xD8});
const std::string kEoi = Bytes({0xFF, 0xD9});

// FF, the marker code, the length (counting itself) and the data.
std::string Segment(int marker, const std::string& data) {
    return Bytes({0xFF, marker}) + UInt16(static_cast<int>(data.size()) + 2) + data;
}

std::string Jfif() { return Segment(0xE0, std::string("JFIF\0", 5) + Bytes({1, 1, 0, 0, 1, 0, 1, 0, 0})); }

std::string Dqt() { return Segment(0xDB, Bytes({0x00}) + std::string(64, '\x10')); }

std::string Dht() {
    // Class 0, table 0: one code of length 1 for the value 0.
    return Segment(0xC4, Bytes({0x00, 1}) + std::string(15, '\0') + Bytes({0x00}));
}

std::string Frame(int marker, int width, int height, int components) {
    std::string data = Bytes({8}) + UInt16(height) + UInt16(width) + Bytes({components});
    for (int i = 1; i <= components; ++i) data += Bytes({i, 0x11, 0});
    return Segment(marker, data);
}

std::string Sos() { return Segment(0xDA, Bytes({1, 1, 0x00, 0, 63, 0})) + Bytes({0x12, 0x34, 0xFF, 0x00, 0x56}); }

std::string AdobeApp14(int transform) {
    return Segment(0xEE, std::string("Adobe") + Bytes({0, 100, 0, 0, 0, 0, transform}));
}

// A complete little picture around the given frame header.
std::string Picture(const std::string& frame) { return kSoi + Jfif() + Dqt() + frame + Dht() + Sos() + kEoi; }

// An Exif APP1 segment whose TIFF data carries a whole JPEG thumbnail of
// its own, frame header (FF C0) included.
std::string ExifWithThumbnail(int width, int height) {
    const std::string thumbnail = kSoi + Dqt() + Frame(0xC0, width, height, 3) + Dht() + Sos() + kEoi;
    std::string tiff = "MM";
    tiff += Bytes({0x00, 0x2A, 0x00, 0x00, 0x00, 0x08});
    // IFD0 with no entries, then IFD1 holding the thumbnail's offset and length.
    tiff += UInt16(0) + Bytes({0x00, 0x00, 0x00, 0x0E});
    tiff += UInt16(2);
    tiff += UInt16(0x0201) + UInt16(4) + Bytes({0, 0, 0, 1}) + Bytes({0, 0, 0, 0x2C});
    tiff += UInt16(0x0202) + UInt16(4) + Bytes({0, 0, 0, 1}) + UInt16(0) + UInt16(static_cast<int>(thumbnail.size()));
    tiff += Bytes({0, 0, 0, 0});
    tiff += thumbnail;
    return Segment(0xE1, std::string("Exif\0\0", 6) + tiff);
}

// ---------------------------------------------------------------------------
// Table-driven cases

struct ProbeCase {
    std::string name;
    std::string bytes;
    std::optional<JpegInfo> expected;
};

void PrintTo(const ProbeCase& probeCase, std::ostream* os) { *os << probeCase.name; }

JpegInfo Info(int32_t width, int32_t height, int32_t components, bool adobe = false) {
    return JpegInfo{width, height, components, adobe};
}

std::vector<ProbeCase> ProbeCases() {
    const std::string fill = Bytes({0xFF, 0xFF, 0xFF});
    return {
        {"Baseline640x480", Picture(Frame(0xC0, 640, 480, 3)), Info(640, 480, 3)},
        {"ExtendedSof1", Picture(Frame(0xC1, 640, 480, 3)), Info(640, 480, 3)},
        {"Progressive", Picture(Frame(0xC2, 800, 600, 3)), Info(800, 600, 3)},
        {"ArithmeticSof9", Picture(Frame(0xC9, 320, 200, 3)), Info(320, 200, 3)},
        {"DhtBeforeFrame", kSoi + Dht() + Dqt() + Frame(0xC0, 300, 200, 3) + Sos() + kEoi, Info(300, 200, 3)},
        {"FillBytesBeforeFrame", kSoi + Jfif() + Dqt() + fill + Frame(0xC0, 640, 480, 3) + Sos(), Info(640, 480, 3)},
        {"FfFfC0IsAFrame", kSoi + Bytes({0xFF}) + Frame(0xC0, 17, 9, 3), Info(17, 9, 3)},
        {"FillBytesBeforeOtherSegment", kSoi + fill + Jfif() + Frame(0xC0, 64, 48, 3), Info(64, 48, 3)},
        {"StrayByteBetweenSegments", kSoi + Jfif() + Bytes({0x00}) + Dqt() + Frame(0xC0, 640, 480, 3), std::nullopt},
        {"StrayByteBeforeFrame", kSoi + Jfif() + Bytes({0x41}) + Frame(0xC0, 640, 480, 3), std::nullopt},
        {"StrayByteAfterSoi", kSoi + Bytes({0x00}) + Frame(0xC0, 640, 480, 3), std::nullopt},
        {"TruncatedInFrameHeader", kSoi + Jfif() + Frame(0xC0, 640, 480, 3).substr(0, 7), std::nullopt},
        {"TruncatedBeforeComponentCount", kSoi + Frame(0xC0, 640, 480, 3).substr(0, 9), std::nullopt},
        {"TruncatedAfterComponentCount", kSoi + Frame(0xC0, 640, 480, 3).substr(0, 10), Info(640, 480, 3)},
        {"TruncatedInScan", kSoi + Jfif() + Dqt() + Frame(0xC0, 640, 480, 3) + Sos().substr(0, 5), Info(640, 480, 3)},
        {"SegmentRunsPastTheEnd", kSoi + Jfif().substr(0, 10), std::nullopt},
        {"NotStartingWithSoi", Bytes({0xFF, 0xD9}) + Frame(0xC0, 640, 480, 3), std::nullopt},
        {"SoiNotAtTheStart", Bytes({0x00}) + Picture(Frame(0xC0, 640, 480, 3)), std::nullopt},
        {"PngSignature", Bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}), std::nullopt},
        {"SegmentLengthOne", kSoi + Bytes({0xFF, 0xE0, 0x00, 0x01}) + Frame(0xC0, 640, 480, 3), std::nullopt},
        {"SegmentLengthZero", kSoi + Bytes({0xFF, 0xFE, 0x00, 0x00}) + Frame(0xC0, 640, 480, 3), std::nullopt},
        {"SegmentLengthTwo", kSoi + Bytes({0xFF, 0xFE, 0x00, 0x02}) + Frame(0xC0, 40, 30, 1), Info(40, 30, 1)},
        {"SosBeforeFrame", kSoi + Jfif() + Dqt() + Sos() + Frame(0xC0, 640, 480, 3), std::nullopt},
        {"EoiBeforeFrame", kSoi + Jfif() + kEoi + Frame(0xC0, 640, 480, 3), std::nullopt},
        {"SoiOnly", kSoi, std::nullopt},
        {"MarkerPrefixAtTheEnd", kSoi + Bytes({0xFF, 0xFF}), std::nullopt},
        {"C8IsNotAFrame", kSoi + Segment(0xC8, Bytes({8, 0, 1, 0, 2, 3})) + Frame(0xC0, 640, 480, 3),
         Info(640, 480, 3)},
        {"CcIsNotAFrame", kSoi + Segment(0xCC, Bytes({8, 0, 1, 0, 2, 3})) + Frame(0xC2, 640, 480, 3),
         Info(640, 480, 3)},
        {"C4IsNotAFrame", kSoi + Segment(0xC4, Bytes({8, 0, 1, 0, 2, 3})) + Frame(0xC0, 640, 480, 3),
         Info(640, 480, 3)},
        {"MarkerWithoutLengthFieldIsSkippedByLength",
         kSoi + Bytes({0xFF, 0xD0, 0x00, 0x04, 0xAA, 0xBB}) + Frame(0xC0, 5, 6, 3), Info(5, 6, 3)},
        {"AdobeCmyk", kSoi + AdobeApp14(2) + Dqt() + Frame(0xC0, 640, 480, 4) + Sos(), Info(640, 480, 4, true)},
        {"AdobeYcc", kSoi + AdobeApp14(1) + Frame(0xC0, 640, 480, 3), Info(640, 480, 3, true)},
        {"App14WithoutAdobeSignature", kSoi + Segment(0xEE, "Adobf---------") + Frame(0xC0, 640, 480, 4),
         Info(640, 480, 4)},
        {"App14TooShortForSignature", kSoi + Segment(0xEE, "Adob") + Frame(0xC0, 640, 480, 4), Info(640, 480, 4)},
        {"AdobeSignatureInOtherApp", kSoi + Segment(0xED, "Adobe_Photoshop") + Frame(0xC0, 640, 480, 4),
         Info(640, 480, 4)},
        {"CmykWithoutAdobe", Picture(Frame(0xC0, 640, 480, 4)), Info(640, 480, 4)},
        {"Gray", Picture(Frame(0xC0, 640, 480, 1)), Info(640, 480, 1)},
        {"TwoComponentsReturnedAsStated", Picture(Frame(0xC0, 640, 480, 2)), Info(640, 480, 2)},
        {"ZeroHeightReturnedAsStated", Picture(Frame(0xC0, 640, 0, 3)), Info(640, 0, 3)},
        {"LargestSize", Picture(Frame(0xC0, 65535, 65535, 3)), Info(65535, 65535, 3)},
        {"ExifThumbnailIsNotTheFrame",
         kSoi + ExifWithThumbnail(160, 120) + Dqt() + Frame(0xC0, 640, 480, 3) + Sos() + kEoi, Info(640, 480, 3)},
        {"ExifThumbnailAfterJfif", kSoi + Jfif() + ExifWithThumbnail(80, 60) + Frame(0xC2, 1024, 768, 3) + Sos(),
         Info(1024, 768, 3)},
        {"Empty", "", std::nullopt},
        {"OneByte", Bytes({0xFF}), std::nullopt},
    };
}

class JpegProbeCaseTest : public ::testing::TestWithParam<ProbeCase> {};

TEST_P(JpegProbeCaseTest, FindsTheExpectedFrame) {
    const ProbeCase& probeCase = GetParam();
    const std::optional<JpegInfo> info = ProbeJpegSize(probeCase.bytes);
    ASSERT_EQ(info.has_value(), probeCase.expected.has_value());
    if (info) {
        EXPECT_EQ(info->width, probeCase.expected->width);
        EXPECT_EQ(info->height, probeCase.expected->height);
        EXPECT_EQ(info->components, probeCase.expected->components);
        EXPECT_EQ(info->adobe, probeCase.expected->adobe);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, JpegProbeCaseTest, ::testing::ValuesIn(ProbeCases()), CaseName<ProbeCase>);

// ---------------------------------------------------------------------------
// Properties over many inputs

TEST(JpegProbeTest, OnlyC4C8AndCcAmongC0ToCfAreNotFrames) {
    for (int marker = 0xC0; marker <= 0xCF; ++marker) {
        SCOPED_TRACE(marker);
        const bool isFrame = marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        // A segment with this marker and a frame-like body, then a real frame.
        const std::string bytes = kSoi + Frame(marker, 11, 22, 1) + Frame(0xC0, 640, 480, 3);
        const auto info = ProbeJpegSize(bytes);
        ASSERT_TRUE(info.has_value());
        EXPECT_EQ(*info, isFrame ? Info(11, 22, 1) : Info(640, 480, 3));
    }
}

TEST(JpegProbeTest, EveryPrefixEndingBeforeTheComponentCountHasNoSize) {
    const std::string head = kSoi + Jfif() + Dqt() + Dht();
    const std::string bytes = head + Frame(0xC0, 640, 480, 3) + Sos() + kEoi;
    // The component count is the tenth byte of the frame segment.
    const size_t needed = head.size() + 10;
    for (size_t length = 0; length <= bytes.size(); ++length) {
        SCOPED_TRACE(length);
        const auto info = ProbeJpegSize(std::string_view(bytes).substr(0, length));
        EXPECT_EQ(info.has_value(), length >= needed);
    }
}

TEST(JpegProbeTest, ReadsOnlyTheViewItIsGiven) {
    // The frame lies just past the end of the view; the probe must not see it.
    const std::string bytes = kSoi + Jfif() + Frame(0xC0, 640, 480, 3);
    const std::string_view view(bytes.data(), kSoi.size() + Jfif().size());
    EXPECT_FALSE(ProbeJpegSize(view).has_value());
    EXPECT_FALSE(ProbeJpegSize(std::string_view()).has_value());
}

// ---------------------------------------------------------------------------
// The JPEG files of the test corpus

#ifdef BREVANO_SOURCE_DIR

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::string field;
    std::istringstream in(line);
    while (std::getline(in, field, '\t')) fields.push_back(field);
    if (!line.empty() && line.back() == '\t') fields.emplace_back();
    return fields;
}

std::set<std::string> SplitCommas(const std::string& text) {
    std::set<std::string> items;
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, ','))
        if (!item.empty()) items.insert(item);
    return items;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(JpegProbeCorpusTest, MatchesTheManifest) {
    const std::filesystem::path corpus = std::filesystem::path(BREVANO_SOURCE_DIR "/../shared/corpus");
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;

    std::ifstream manifest(corpus / "MANIFEST.tsv");
    ASSERT_TRUE(manifest) << "cannot read MANIFEST.tsv";

    std::string line;
    ASSERT_TRUE(std::getline(manifest, line));
    const std::vector<std::string> header = SplitTabs(line);
    std::map<std::string, size_t> column;
    for (size_t i = 0; i < header.size(); ++i) column[header[i]] = i;
    ASSERT_TRUE(column.count("path") && column.count("pages") && column.count("features"));
    const size_t pathColumn = column["path"];
    const size_t sizeColumn = column["pages"];
    const size_t featuresColumn = column["features"];

    int files = 0;
    int sized = 0;
    int unsized = 0;
    while (std::getline(manifest, line)) {
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields.size() <= std::max({pathColumn, sizeColumn, featuresColumn})) continue;
        const std::string& path = fields[pathColumn];
        if (path.rfind("jpeg/", 0) != 0) continue;
        SCOPED_TRACE(path);
        ++files;

        const std::optional<std::string> bytes = ReadWholeFile(corpus / path);
        ASSERT_TRUE(bytes.has_value()) << "cannot read the file";
        const std::optional<JpegInfo> info = ProbeJpegSize(*bytes);

        const std::string& expectedSize = fields[sizeColumn];
        if (expectedSize == "-") {
            ++unsized;
            EXPECT_FALSE(info.has_value());
            continue;
        }
        ++sized;
        ASSERT_TRUE(info.has_value()) << "expected " << expectedSize;
        EXPECT_EQ(std::to_string(info->width) + "x" + std::to_string(info->height), expectedSize);

        const std::set<std::string> tags = SplitCommas(fields[featuresColumn]);
        int expectedComponents = 0;
        if (tags.count("jpeg-gray"))
            expectedComponents = 1;
        else if (tags.count("jpeg-ycbcr"))
            expectedComponents = 3;
        else if (tags.count("jpeg-cmyk"))
            expectedComponents = 4;
        ASSERT_NE(expectedComponents, 0) << "no component tag for a file with a size";
        EXPECT_EQ(info->components, expectedComponents);
        EXPECT_EQ(info->adobe, tags.count("jpeg-adobe") != 0);
    }

    EXPECT_GT(files, 0) << "no JPEG files listed";
    EXPECT_EQ(sized + unsized, files);
    RecordProperty("JpegFiles", files);
    RecordProperty("WithSize", sized);
    RecordProperty("WithoutSize", unsized);
}

#endif

}  // namespace
