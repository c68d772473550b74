// Encrypted inputs, stamped in both modes and judged by qpdf and poppler: the
// output opens with the input's passwords, keeps its encryption and
// permissions, shows the stamp, and leaves every untouched object's value as
// it was. Small files are made here with qpdf; the corpus's encrypted files
// are stamped when the shared corpus is there.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "app/CFrontEnd.h"
#include "support/CaseName.h"
#include "support/ExternalTools.h"
#include "support/PdfBuilder.h"
#include "support/PngMaker.h"
#include "support/StampRunner.h"
#include "support/TestFiles.h"

namespace {

const std::string kWrongPassword =
    "Wrong or missing password: give the document's user or owner password with -password";
const std::string kRestricted =
    "The document's permissions do not allow changes: give its owner password with -password";

// Three pages; the /Info dictionary and the pages hold literal and hex strings.
std::string PlainInput() {
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 5 0 R 7 0 R] /Count 3 >>");
    for (int32_t page = 0; page < 3; ++page) {
        const int32_t number = 3 + 2 * page;
        pdf.Object(number, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /PieceInfo << /X << /Private (p" +
                               std::to_string(page) + ") >> >> /Contents " + std::to_string(number + 1) +
                               " 0 R /Resources << /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont "
                               "/Helvetica >> >> >> >>");
        pdf.Stream(number + 1, "", "BT /F1 12 Tf 72 700 Td (Body " + std::to_string(page + 1) + ") Tj ET");
    }
    pdf.Object(9, "<< /Title (Sealed \\(report\\)) /Subject <48656c6c6f> >>");
    return pdf.WithXRefTable("/Root 1 0 R /Info 9 0 R /ID [<00112233445566778899aabbccddeeff> <00>]");
}

std::string ToolOutput(const std::string& command) { return RunTool(command).out; }

// Each object's block in qpdf's JSON, by its key ("obj:3 0 R").
std::map<std::string, std::string> ObjectBlocks(const std::string& json) {
    std::map<std::string, std::string> blocks;
    std::istringstream in(json);
    std::string line;
    std::string key;
    while (std::getline(in, line)) {
        if (line.rfind("      \"obj:", 0) == 0 || line.rfind("      \"trailer\"", 0) == 0) {
            key = line.substr(7, line.find('"', 7) - 7);
        }
        if (!key.empty()) blocks[key] += line + "\n";
    }
    return blocks;
}

struct Expectation {
    std::string password;      // given to Brevano
    std::string readPassword;  // given to qpdf and poppler
    std::string failure;
};

// Stamps `input` and checks the output (or, for a failure, that none is left).
void StampAndJudge(const std::string& mode, const std::string& input, const Expectation& e,
                   std::vector<std::string> params, const std::vector<int32_t>& stamped, int32_t pages) {
    TempFolder folder;
    const std::string out = folder.File("out.pdf");
    if (!e.password.empty()) params.insert(params.end(), {"-password", e.password});
    if (mode == "png") {
        // A picture with transparent parts: an image and its soft mask.
        PngRecipe recipe;
        recipe.width = recipe.height = 4;
        recipe.pixel = [](uint32_t x, uint32_t y) { return std::vector<uint16_t>{200, 10, 10, uint16_t(x * 60 + y)}; };
        WriteFile(folder.File("p.png"), MakePng(recipe));
        params.push_back("-j" + folder.File("p.png"));
    } else if (mode == "image") {
        params.push_back("-j" + std::string(BREVANO_TEST_DATA_DIR) + "/picture-640x480.jpg");
    }
    EXPECT_EQ(StampFile(mode == "png" ? "image" : mode, input, out, params), e.failure);
    if (!e.failure.empty()) {
        EXPECT_EQ(ListFolder(folder.path()), std::vector<std::string>(mode == "png" ? 1 : 0, "p.png"));
        return;
    }
    const std::string pw = ShellQuote("--password=" + e.readPassword);
    const std::string popplerPassword = " -opw " + ShellQuote(e.readPassword) + " -upw " + ShellQuote(e.readPassword);
    EXPECT_EQ(RunTool("qpdf --check " + pw + " " + ShellQuote(out)).status, 0);
    const std::string encryption = ToolOutput("qpdf --show-encryption " + pw + " " + ShellQuote(input));
    EXPECT_NE(encryption.find("R = "), std::string::npos) << encryption;
    EXPECT_EQ(ToolOutput("qpdf --show-encryption " + pw + " " + ShellQuote(out)), encryption);
    if (mode != "text") {
        const std::string images = "pdfimages -list" + popplerPassword + " " + ShellQuote(out);
        EXPECT_EQ(ToolOutput(images + " | awk '$3 == \"image\"' | wc -l"), std::to_string(stamped.size()) + "\n");
        return;
    }
    std::vector<std::string> text(1);
    for (char c : ToolOutput("pdftotext" + popplerPassword + " " + ShellQuote(out) + " -")) {
        if (c == '\f')
            text.emplace_back();
        else
            text.back() += c;
    }
    ASSERT_GE(text.size(), static_cast<size_t>(pages));
    for (int32_t page = 1; page <= pages; ++page) {
        const bool isStamped = std::find(stamped.begin(), stamped.end(), page) != stamped.end();
        EXPECT_EQ(text[static_cast<size_t>(page - 1)].find("/ " + std::to_string(pages)) != std::string::npos,
                  isStamped)
            << "page " << page << ": " << text[static_cast<size_t>(page - 1)];
    }
}

struct MadeCase {
    std::string name;
    std::string encryptArguments;  // for qpdf --encrypt user owner ...
    std::string userPassword;
    Expectation expectation;
    std::string mode = "text";
    std::vector<std::string> params = {};
    std::vector<int32_t> stamped = {1, 2, 3};
};

class MadeEncryptedTest : public ::testing::TestWithParam<MadeCase> {};

TEST_P(MadeEncryptedTest, StampedOutputStaysEncrypted) {
    if (!HaveTool("qpdf") || !HaveTool("pdftotext")) GTEST_SKIP() << "qpdf or poppler-utils are not there";
    const MadeCase& c = GetParam();
    TempFolder folder;
    const std::string plain = folder.File("plain.pdf");
    const std::string input = folder.File("in.pdf");
    WriteFile(plain, PlainInput());
    ASSERT_EQ(RunTool("qpdf --allow-weak-crypto --object-streams=generate --encrypt " + ShellQuote(c.userPassword) +
                      " own " + c.encryptArguments + " -- " + ShellQuote(plain) + " " + ShellQuote(input))
                  .status,
              0);
    StampAndJudge(c.mode, input, c.expectation, c.params, c.stamped, 3);
    // Pages mode opens the file as a stamp run does, with the same failures.
    std::string count;
    CFrontEnd::Run({"pages", input, "-password", c.expectation.password}, count);
    EXPECT_EQ(count, c.expectation.failure.empty() ? "3\n" : c.expectation.failure);
    if (!c.expectation.failure.empty()) return;

    // Decrypted, every object but the stamped pages has the value it had.
    const std::string out = folder.File("out.pdf");
    std::vector<std::string> params = {"-password", "own", "-s2", "-e2"};
    if (c.mode != "text") params.push_back("-j" + std::string(BREVANO_TEST_DATA_DIR) + "/picture-640x480.jpg");
    ASSERT_EQ(StampFile(c.mode == "png" ? "image" : c.mode, input, out, params), "");
    const auto json = [](const std::string& pdf) {
        return ObjectBlocks(
            ToolOutput("qpdf --json=2 --json-key=qpdf --json-stream-data=inline --password=own " + ShellQuote(pdf)));
    };
    const auto before = json(input);
    const auto after = json(out);
    size_t compared = 0;
    bool infoSeen = false;
    for (const auto& [key, block] : before) {
        // The second page (its private string "p1") is the one stamped; image
        // mode stamps every page.
        const bool page = block.find(c.mode != "text" ? "\"/Page\"" : "\"u:p1\"") != std::string::npos;
        if (page || block.find("/ObjStm") != std::string::npos || block.find("/XRef") != std::string::npos ||
            key == "trailer")
            continue;
        ASSERT_EQ(after.count(key), 1u) << key;
        EXPECT_EQ(after.at(key), block) << key;
        infoSeen = infoSeen || block.find("Sealed (report)") != std::string::npos;
        ++compared;
    }
    EXPECT_GE(compared, 7u);
    EXPECT_TRUE(infoSeen);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MadeEncryptedTest,
    ::testing::Values(
        MadeCase{"Rc4_40", "40", "", {}}, MadeCase{"Rc4_128", "128", "", {"", "", ""}, "text", {"-s2"}, {2, 3}},
        MadeCase{"Aes128", "128 --use-aes=y", "", {}}, MadeCase{"Aes256", "256", "", {}},
        MadeCase{"Aes128Incremental", "128 --use-aes=y", "", {}, "text", {"-incremental"}},
        MadeCase{"Rc4UserPasswordIncremental", "128", "usr", {"usr", "usr", ""}, "png", {"-incremental"}},
        MadeCase{"Aes128Image", "128 --use-aes=y", "", {}, "image"}, MadeCase{"Aes256Image", "256", "", {}, "image"},
        MadeCase{"Rc4PngWithSoftMask", "128", "", {}, "png"}, MadeCase{"Aes256PngWithSoftMask", "256", "", {}, "png"},
        MadeCase{"UserPassword", "128 --use-aes=y", "usr", {"usr", "usr", ""}},
        MadeCase{"UserPasswordR6", "256", "usr", {"usr", "usr", ""}, "text", {"-n2"}, {1, 3}},
        MadeCase{"OwnerPasswordInstead", "256", "usr", {"own", "own", ""}},
        // qpdf stores it in the 8-bit encoding; it is given in UTF-8.
        MadeCase{"Latin1Password", "128", "p\xC3\xA4ss", {"p\xC3\xA4ss", "own", ""}},
        MadeCase{"MissingPassword", "128", "usr", {"", "", kWrongPassword}},
        MadeCase{"WrongPassword", "256", "usr", {"nope", "", kWrongPassword}},
        MadeCase{"WrongPasswordEmptyUser", "128 --use-aes=y", "", {"nope", "", kWrongPassword}},
        MadeCase{"Restricted", "128 --use-aes=y --modify=none", "", {"", "", kRestricted}},
        MadeCase{"RestrictedByUser", "256 --modify=none", "usr", {"usr", "", kRestricted}, "image"},
        MadeCase{"RestrictedWithOwner", "256 --modify=none", "usr", {"own", "own", ""}}),
    CaseName<MadeCase>);

// The corpus's encrypted files: the password each needs, and the outcome.
struct CorpusCase {
    std::string path;
    Expectation expectation;
};

class CorpusEncryptedTest : public ::testing::TestWithParam<CorpusCase> {};

TEST_P(CorpusEncryptedTest, StampedOutputStaysEncrypted) {
    const std::string corpus = CorpusFolder();
    if (corpus.empty() || !HaveTool("qpdf") || !HaveTool("pdftotext"))
        GTEST_SKIP() << "the shared corpus, qpdf or poppler-utils are not there";
    const std::string input = corpus + "/" + GetParam().path;
    const std::string pages =
        ToolOutput("qpdf --show-npages --password=" + GetParam().expectation.readPassword + " " + ShellQuote(input));
    std::vector<int32_t> stamped;
    for (int32_t page = 1; page <= std::atoi(pages.c_str()); ++page) stamped.push_back(page);
    StampAndJudge("text", input, GetParam().expectation, {}, stamped, static_cast<int32_t>(stamped.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Files, CorpusEncryptedTest,
    ::testing::Values(CorpusCase{"pdf/generated/pikepdf-aes256-empty-user-password.pdf", {}},
                      CorpusCase{"pdf/generated/pikepdf-rc4-128-v4-empty-user-password.pdf", {}},
                      CorpusCase{"pdf/qpdf-tests/V4-aes.pdf", {}}, CorpusCase{"pdf/qpdf-tests/enc-R2_V1.pdf", {}},
                      CorpusCase{"pdf/qpdf-tests/enc-R3_V2.pdf", {}},
                      CorpusCase{"pdf/qpdf-tests/enc-R3_V2_U-view_O-view.pdf", {"view", "view", ""}},
                      CorpusCase{"pdf/qpdf-tests/enc-XI-R6_V5_O-master.pdf", {"", "", kRestricted}},
                      CorpusCase{"pdf/qpdf-tests/enc-XI-R6_V5_O-master.pdf", {"master", "master", ""}},
                      CorpusCase{"pdf/qpdf-tests/encrypted-with-images.pdf", {}},
                      CorpusCase{"pdf/qpdf-tests/leading-junk.pdf", {}},
                      CorpusCase{"pdf/qpdf-tests/minimal-signed-restricted.pdf", {"", "", kRestricted}},
                      CorpusCase{"pdf/sample-files/libreoffice-writer-password.pdf", {"", "", kWrongPassword}}),
    [](const auto& paramInfo) { return "File" + std::to_string(paramInfo.index); });

}  // namespace
