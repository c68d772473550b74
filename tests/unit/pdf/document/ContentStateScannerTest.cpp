// Known answers of the content-state scan: content → what the scan finds
// (end depth, lowest depth after a Q, lowest depth of a change) and what the
// page's state is (changed, open q).
#include "pdf/document/ContentStateScanner.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "base/CByteSource.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/reader/CPdfXRef.h"
#include "support/CaseName.h"
#include "support/PdfBuilder.h"

namespace {

constexpr int64_t kNone = ContentStreamEffect::kNone;

struct ScanCase {
    std::string name;
    std::string data;
    bool changed;
    int32_t open;
    int64_t end, lowest, lowestChange;  // the scan of `data` (without a filter)
    std::string filter = "";            // the stream's /Filter
};

void PrintTo(const ScanCase& value, std::ostream* os) { *os << value.name; }

std::string Times(int n, const std::string& text) {
    std::string all;
    while (n-- > 0) all += text;
    return all;
}

class ContentScanTest : public ::testing::TestWithParam<ScanCase> {};

TEST_P(ContentScanTest, GivesTheKnownState) {
    const ScanCase& c = GetParam();
    if (c.filter.empty()) {
        const ContentStreamEffect effect = ContentStateScanner::Scan(c.data);
        EXPECT_EQ(effect.endDepth, c.end);
        EXPECT_EQ(effect.lowestDepth, c.lowest);
        EXPECT_EQ(effect.lowestChangeDepth, c.lowestChange);
    }
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 4 0 R /Resources << >> >>");
    pdf.Stream(4, c.filter.empty() ? "" : "/Filter /" + c.filter, c.data);
    CPdfDocument document;
    document.Open(std::make_shared<CMemoryByteSource>(pdf.WithXRefTable("/Root 1 0 R")));
    ContentStateScanner scanner(document.xref(), 1000);
    const ContentState state = scanner.PageState(document.xref().Fetch(3, 0).getDict());
    EXPECT_EQ(state.changed, c.changed);
    EXPECT_EQ(state.openNesting, c.open);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ContentScanTest,
    ::testing::Values(
        // name, data, changed, open q, end depth, lowest depth, lowest change depth
        ScanCase{"Empty", "", false, 0, 0, 0, kNone},
        ScanCase{"ChangeInsideQ", "q 1 0 0 1 5 5 cm Q", false, 0, 0, 0, 1},
        ScanCase{"NestedChanges", "q q 2 0 0 2 0 0 cm Q 0 0 9 9 re W n Q", false, 0, 0, 0, 1},
        ScanCase{"CmAfterTheLastQ", "q Q 2 0 0 2 0 0 cm", true, 0, 0, 0, 0},
        ScanCase{"GsAfterTheLastQ", "q Q /GS1 gs", true, 0, 0, 0, 0},
        ScanCase{"ClipAfterTheLastQ", "q Q 0 0 9 9 re W* n", true, 0, 0, 0, 0},
        ScanCase{"TextStateOutsideQ", "BT 3 Tr ET", true, 0, 0, 0, 0},
        // The stamp sets its own font and colour.
        ScanCase{"FontAndColourAfterTheLastQ", "q Q BT /F1 12 Tf 1 0 0 rg ET", false, 0, 0, 0, kNone},
        ScanCase{"QLeftOpen", "q q Q", true, 1, 1, 0, kNone},
        // A viewer ignores a Q without its q: the q after it stays open.
        ScanCase{"UnbalancedQ", "q Q Q q q", true, 2, 1, -1, kNone},
        ScanCase{"QFirst", "Q 2 0 0 2 0 0 cm", true, 0, -1, -1, -1},
        ScanCase{"OpenNestingIsCounted", Times(300, "q "), true, 300, 300, 0, kNone},
        // Each with a q after it that counts.
        ScanCase{"OperatorsInLiteralStrings", "(a \\) q (b) Q cm) Tj (\\\\) Tj q", true, 1, 1, 0, kNone},
        ScanCase{"OperatorsInHexStringsAndNames", "<71> Tj /cm /Q <</W 1>> BDC EMC q", true, 1, 1, 0, kNone},
        ScanCase{"OperatorsInComments", "q % Q cm\r2 0 0 2 0 0 cm Q", false, 0, 0, 0, 1},
        ScanCase{"OperatorsInInlineImages", "q BI /W 4 /H 1 /Q 1 ID Q cmEI EI Q", false, 0, 0, 0, kNone},
        ScanCase{"LongerTokensAreNoOperators", "qq cms Qx", false, 0, 0, 0, kNone},
        ScanCase{"Deflated", Deflate("q 2 0 0 2 0 0 cm"), true, 1, 0, 0, kNone, "FlateDecode"},
        ScanCase{"FilterNotDecoded", "71>", true, 0, 0, 0, kNone, "ASCIIHexDecode"},
        ScanCase{"DamagedData", "q Q not flate", true, 0, 0, 0, kNone, "FlateDecode"}),
    CaseName<ScanCase>);

}  // namespace

namespace {

// What content split over streams leaves open: Q without their q, a text
// object, marked-content sequences.
TEST(ContentStateTest, ReportsWhatTheContentLeavesOpen) {
    struct Case {
        std::vector<std::string> streams;
        int64_t unmatched;
        bool textObjectOpen;
        int64_t markedContent;
    };
    const std::vector<Case> cases = {
        {{"Q Q q 2 0 0 2 0 0 cm"}, 2, false, 0},
        {{"q Q Q", "Q q"}, 2, false, 0},
        {{"BT /F1 9 Tf", "(a) Tj ET BT"}, 0, true, 0},
        {{"BT", "ET q Q"}, 0, false, 0},
        {{"/P <</MCID 0>> BDC /Span BMC", "EMC"}, 0, false, 1},
        {{"EMC EMC /Artifact BMC"}, 0, false, 1},
        {{"(BT BDC) Tj /BMC /EMC BTx BDCx"}, 0, false, 0},
    };
    for (const Case& c : cases) {
        std::vector<ContentStreamEffect> effects;
        for (const std::string& data : c.streams) effects.push_back(ContentStateScanner::Scan(data));
        std::vector<const ContentStreamEffect*> streams;
        for (const ContentStreamEffect& effect : effects) streams.push_back(&effect);
        const ContentState state = ContentStateScanner::Combine(streams);
        EXPECT_EQ(state.unmatchedRestores, c.unmatched) << c.streams[0];
        EXPECT_EQ(state.textObjectOpen, c.textObjectOpen) << c.streams[0];
        EXPECT_EQ(state.openMarkedContent, c.markedContent) << c.streams[0];
    }
}

}  // namespace
