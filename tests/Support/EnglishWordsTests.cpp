#include "Support/EnglishWords.h"

#include <gtest/gtest.h>

#include <vector>

namespace lorvantine {
namespace {

TEST(EnglishWords, TellsAWordOfProseFromAPieceOfOne)
{
    const EnglishWords& english = EnglishWords::standard();
    ASSERT_FALSE(english.empty()) << "scripts/setup installs the American English word list (wamerican)";
    struct Case {
        const char* token;
        bool word;
    };
    for (const Case& c : std::vector<Case> {
             { "heron", true }, { "Heron", true }, { "HERON", true }, { "shallows,", true }, { "“Anna", true }, { "on", true },
             { "gain", true }, { "n", false }, { "N", false }, { "nna", false }, { "ld", false }, { "nce", false },
             { "nd", false }, // the list's "Nd" is neodymium
             { "ts", false }, // a list entry without a vowel
             { "’m", false }, { "1783", false }, { "", false },
         })
        EXPECT_EQ(english.isWord(c.token), c.word) << c.token;

    const EnglishWords missing = EnglishWords::load("/nonexistent/american-english");
    EXPECT_TRUE(missing.empty());
    EXPECT_FALSE(missing.isWord("heron"));
}

} // namespace
} // namespace lorvantine
