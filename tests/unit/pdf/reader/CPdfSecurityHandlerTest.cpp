// Known answers: four small files encrypted by qpdf (tests/data/README.md says
// how), the file keys qpdf --show-encryption-key prints for them, and the
// plain string and stream qpdf --decrypt shows.
#include "pdf/reader/CPdfSecurityHandler.h"

#include <gtest/gtest.h>

#include "base/CPdfException.h"
#include "pdf/document/CPdfDocument.h"
#include "pdf/object/CPdfDictionary.h"
#include "pdf/object/CPdfStream.h"
#include "pdf/reader/CPdfXRef.h"
#include "support/CaseName.h"

namespace {

struct KnownAnswer {
    std::string name;  // also the file's name
    std::string fileKey;
};

std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : bytes) out += {kDigits[c >> 4], kDigits[c & 0x0F]};
    return out;
}

class KnownAnswerTest : public ::testing::TestWithParam<KnownAnswer> {};

TEST_P(KnownAnswerTest, KeyStringAndStreamAreQpdfs) {
    const std::string path = std::string(BREVANO_TEST_DATA_DIR) + "/encrypted/" + GetParam().name + ".pdf";
    for (const std::string password : {"user", "owner"}) {
        SCOPED_TRACE(password);
        CPdfDocument document;
        document.Open(path, password);
        const CPdfSecurityHandler* security = document.xref().securityHandler();
        ASSERT_NE(security, nullptr);
        EXPECT_EQ(security->isOwner(), password == "owner");
        EXPECT_EQ(Hex(security->fileKey()), GetParam().fileKey);
        const CPdfObject info = document.xref().trailer().getDict().lookup("Info");
        ASSERT_TRUE(info.is(pdfDictionary));
        EXPECT_EQ(info.getDict().lookup("Title").getString().bytes(), "Known answer (1)");
        EXPECT_EQ(info.getDict().lookup("Producer").getString().bytes(), "Breva");
        const CPdfObject content = document.xref().Fetch(5, 0);
        ASSERT_TRUE(content.is(pdfStream));
        std::string data(64, '\0');
        data.resize(content.getStream().Read(reinterpret_cast<uint8_t*>(data.data()), data.size()));
        EXPECT_EQ(data, "0 0 1 rg 10 10 180 80 re f\n");
    }
    CPdfDocument document;
    EXPECT_THROW(document.Open(path, "other"), CPdfException);
}

INSTANTIATE_TEST_SUITE_P(
    Files, KnownAnswerTest,
    ::testing::Values(KnownAnswer{"rc4_40", "ee4fd3a223"}, KnownAnswer{"rc4_128", "55831911f0f2b9a08ac3cbcc766166db"},
                      KnownAnswer{"aes_128", "55831911f0f2b9a08ac3cbcc766166db"},
                      KnownAnswer{"aes_256", "87f963a3c44dba8ea9c50735b44c76d06a11b4158f34bac7efbec75e825003d3"}),
    CaseName<KnownAnswer>);

}  // namespace
