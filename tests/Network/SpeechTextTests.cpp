#include "Network/SpeechText.h"
#include "Support/Text.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace lorvantine {
namespace {

TEST(NormalizeTest, LineBreakRunsBecomeOneFullStopMappedToTheirFirstCharacter)
{
    auto normalized = SpeechText::normalize("ab \n\n c\n。d  e");
    EXPECT_EQ(normalized.text(), "ab。c。d  e");
    // a b 。(the run from offset 2) c 。(the line feed at 7; the text's own 。 folds into it) d, two spaces, e, end
    EXPECT_EQ(normalized.mapping, (std::vector<int> { 0, 1, 2, 6, 7, 9, 10, 11, 12, 13 }));

    // The mapping counts Characters.
    normalized = SpeechText::normalize("🍞\r\n面包 cafe\u0301");
    EXPECT_EQ(normalized.text(), "🍞。面包 cafe\u0301");
    EXPECT_EQ(normalized.mapping, (std::vector<int> { 0, 1, 2, 3, 4, 5, 6, 7, 8, 9 }));
    EXPECT_EQ(SpeechText::normalize("").mapping, std::vector<int> { 0 });
}

TEST(NormalizeTest, AFullStopThatJoinsANeighbourIntoOneCharacterMapsItOnce)
{
    // A mark after a line break, or a prepended sign before one, stands alone in the input but
    // forms one Character with the full stop put in for the break.
    const std::vector<std::pair<std::string, std::vector<int>>> cases {
        { "a\n\u0591b", { 0, 1, 3, 4 } },
        { "\u0600\nb", { 0, 2, 3 } },
        { "x \n\n\u0301\u0301", { 0, 1, 5 } },
    };
    for (const auto& [input, mapping] : cases) {
        auto normalized = SpeechText::normalize(input);
        EXPECT_EQ(normalized.mapping, mapping) << input;
        EXPECT_EQ(normalized.mapping.size(), Text::characterCount(normalized.text()) + 1) << input;
        EXPECT_EQ(normalized.characters, Text::characters(normalized.text())) << input;
    }
}

} // namespace
} // namespace lorvantine
