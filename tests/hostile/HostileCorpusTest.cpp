// Small real files, cut short at every hundredth of their length and damaged
// by changed bytes at places drawn from fixed seeds: every run ends with one
// message or a sound output.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <random>
#include <string>

#include "hostile/HostileRun.h"
#include "support/TestFiles.h"

namespace {

enum class Damage { kCut, kFlip };

struct DamageCase {
    const char* file;  // in tests/data/hostile
    Damage damage;
};

std::string Input(const char* name) { return ReadFile(std::string(BREVANO_TEST_DATA_DIR) + "/hostile/" + name); }

class HostileCorpusTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(HostileCorpusTest, EveryDamagedCopyEndsInOneMessageOrASoundOutput) {
    const std::string original = Input(GetParam().file);
    ASSERT_GT(original.size(), 1000u);
    {
        SCOPED_TRACE("the file as it is");
        EXPECT_TRUE(Succeeds(RunHostile(original)));
    }
    if (GetParam().damage == Damage::kCut) {
        for (size_t percent = 0; percent < 100; ++percent) {
            const size_t length = original.size() * percent / 100;
            SCOPED_TRACE("cut after " + std::to_string(length) + " bytes (" + std::to_string(percent) + "%)");
            EXPECT_TRUE(IsSound(RunHostile(original.substr(0, length))));
        }
        return;
    }
    // mt19937's sequence is fixed by the standard; the draws are taken from
    // it directly, so that every library makes the same copies.
    std::mt19937 random(20240601u + static_cast<uint32_t>(original.size()));
    for (int copy = 0; copy < 100; ++copy) {
        std::string damaged = original;
        const uint32_t changes = 1 + random() % 8;
        std::string where;
        for (uint32_t i = 0; i < changes; ++i) {
            const size_t at = random() % damaged.size();
            const auto mask = static_cast<char>(1 + random() % 255);
            damaged[at] = static_cast<char>(damaged[at] ^ mask);
            where += " " + std::to_string(at);
        }
        SCOPED_TRACE("copy " + std::to_string(copy) + ", bytes changed at" + where);
        EXPECT_TRUE(IsSound(RunHostile(damaged)));
    }
}

const DamageCase kCases[] = {
    {"11-pages.pdf", Damage::kCut},          {"11-pages.pdf", Damage::kFlip},
    {"minimal-document.pdf", Damage::kCut},  {"minimal-document.pdf", Damage::kFlip},
    {"hybrid-xref.pdf", Damage::kCut},       {"hybrid-xref.pdf", Damage::kFlip},
    {"reuse-xref-stream.pdf", Damage::kCut}, {"reuse-xref-stream.pdf", Damage::kFlip},
};

INSTANTIATE_TEST_SUITE_P(Hostile, HostileCorpusTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<DamageCase>& param) {
                             std::string name;
                             for (const char* c = param.param.file; *c != '\0' && *c != '.'; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name + (param.param.damage == Damage::kCut ? "_Cut" : "_Flipped");
                         });

}  // namespace
