// The rewrite of a plain object into its encrypted form: which bytes are
// strings and stream data, with a stand-in "cipher" that makes them visible.
#include "writer/EncryptedObjectText.h"

#include <gtest/gtest.h>

#include "support/CaseName.h"

namespace {

struct RewriteCase {
    std::string name;
    std::string plain;
    std::string expected;
};

class EncryptedObjectTextTest : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(EncryptedObjectTextTest, StringsAndStreamDataAreReplaced) {
    const auto strings = [](std::string_view data) { return "S" + std::string(data); };
    const auto streams = [](std::string_view data) { return "<" + std::string(data) + ">"; };
    EXPECT_EQ(EncryptObjectText(GetParam().plain, strings, streams), GetParam().expected);
    EXPECT_EQ(EncryptObjectText(GetParam().plain, nullptr, nullptr), GetParam().plain);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncryptedObjectTextTest,
    ::testing::Values(RewriteCase{"LiteralWithEscapesAndNesting", "1 0 obj\r<</T (a\\(b\\)\\101\\\n(c))>>endobj\r",
                                  "1 0 obj\r<</T <536128622941286329>>>endobj\r"},
                      RewriteCase{"HexOddDigitsAndComment", "2 0 obj [<4 1 6> %(not a string)\n/N] endobj",
                                  "2 0 obj [<534160> %(not a string)\n/N] endobj"},
                      RewriteCase{"StreamLengthFollowsTheData",
                                  "3 0 obj\n<< /Length 2 /D << /Length 9 >> >>\nstream\nab\nendstream\nendobj\n",
                                  "3 0 obj\n<< /Length 4 /D << /Length 9 >> >>\nstream\n<ab>\nendstream\nendobj\n"},
                      RewriteCase{"IndirectLengthLeavesTheStream",
                                  "4 0 obj\n<< /Length 5 0 R >>\nstream\nab\nendstream\nendobj\n",
                                  "4 0 obj\n<< /Length 5 0 R >>\nstream\nab\nendstream\nendobj\n"}),
    CaseName<RewriteCase>);

}  // namespace
