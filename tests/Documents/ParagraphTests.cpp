#include "Accessibility/ArticleParagraph.h"
#include "Documents/ReadableParagraph.h"
#include "Support/JsonWriter.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

ArticleParagraph fullyFilled()
{
    return ArticleParagraph{
        .index = 4,
        .text = "识别 words",
        .frame = Rect(12.5, -30, 401, 88.25),
        .role = "body",
        .element = AXElement{99, 12},
        .axFullText = "识别 words and more",
        .tightFrameYOffset = 6.5,
        .tightFrameHeight = 40,
        .nativeCharOffset = 17,
        .boundsDisabled = true,
        .ocrWordBboxes = std::vector<OCRWordEntry>{
            {.text = "识别", .charStart = 0, .charEnd = 2, .screenRect = Rect(12.5, -30, 40, 20)},
            {.text = "words", .charStart = 3, .charEnd = 8, .screenRect = Rect(60, -30, 70, 20)},
        },
    };
}

std::string encoded(const ArticleParagraph& paragraph)
{
    auto json = JsonWriter::serialize(paragraph.toJSON());
    return json ? *json : "(" + json.error().message + ")";
}

TEST(ArticleParagraphJSON, WritesTheSevenKeysInOrder)
{
    ArticleParagraph paragraph{.index = 3, .text = "Hi", .frame = Rect(10, 20, 300, 40), .role = "body"};
    EXPECT_EQ(encoded(paragraph), R"({"index":3,"text":"Hi","role":"body","x":10,"y":20,"width":300,"height":40})");
}

TEST(ArticleParagraphJSON, LeavesOutElementFlagsAndRecognisedWords)
{
    EXPECT_EQ(encoded(fullyFilled()),
              R"({"index":4,"text":"识别 words","role":"body","x":12.5,"y":-30,"width":401,"height":88.25})");
}

TEST(ArticleParagraphJSON, EscapesTextForOtherPrograms)
{
    ArticleParagraph paragraph{.text = "a/b \"c\"\n", .frame = Rect(0.1, 0, 0, 0), .role = "AXStaticText"};
    EXPECT_EQ(encoded(paragraph),
              R"({"index":0,"text":"a\/b \"c\"\n","role":"AXStaticText","x":0.1,"y":0,"width":0,"height":0})");
}

TEST(ReadableParagraph, RoundTripKeepsEveryField)
{
    ArticleParagraph original = fullyFilled();
    ReadableParagraph readable = ReadableParagraph::from(original);
    EXPECT_EQ(readable.axElement, original.element);
    EXPECT_EQ(readable.ocrWordBboxes, original.ocrWordBboxes);
    EXPECT_EQ(readable.toArticleParagraph(), original);

    ArticleParagraph sparse{.index = 0, .text = "x", .frame = Rect(1, 2, 3, 4), .role = "AXHeading"};
    EXPECT_EQ(ReadableParagraph::from(sparse).toArticleParagraph(), sparse);
}

} // namespace
} // namespace lorvantine
