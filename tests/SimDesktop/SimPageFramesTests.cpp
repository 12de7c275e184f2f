// A document laid out over page frames: every page answers for the whole text in document
// offsets, but measures only its own slice, and only while it is in view.

#include "SimDesktop/Model/SimFixtureLoader.h"
#include "SimDesktop/SimDesktop.h"

#include "TestSupport/DesktopTest.h"
#include "TestSupport/PagesDocumentFixture.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

TEST(SimPageFrames, EveryPageAnswersForTheWholeDocumentButMeasuresOnlyItsOwnSliceInView)
{
    // Three pages; "é" and "🌊" make UTF-16 offsets differ from bytes.
    auto desktop = SimDesktop::create(test::pagesDocumentFixture({ "First page é\n", "Second 🌊 page\n", "Third page" }, 400));
    const auto port = desktop->services().accessibility;
    auto& ax = *port;
    const AXElement page1 = desktop->element("page-1-text");
    const AXElement page2 = desktop->element("page-2-text");
    const AXElement page3 = desktop->element("page-3-text");
    const std::string whole = "First page é\nSecond 🌊 page\nThird page";
    for (const AXElement& page : { page1, page2, page3 }) {
        EXPECT_EQ(readAttribute<std::string>(ax, page, "AXValue"), whole);
        EXPECT_EQ(readAttribute<int64_t>(ax, page, "AXNumberOfCharacters"), 38);
        EXPECT_EQ(readParameterized<std::string>(ax, page, "AXStringForRange", AXRange { 13, 15 }), "Second 🌊 page\n");
    }
    // The view (768 high) shows the first page and the top of the second, not the third.
    EXPECT_EQ(readAttribute<AXRange>(ax, page1, "AXVisibleCharacterRange"), (AXRange { 0, 13 }));
    EXPECT_EQ(readAttribute<AXRange>(ax, page2, "AXVisibleCharacterRange"), (AXRange { 13, 15 }));
    EXPECT_EQ(readAttribute<AXRange>(ax, page3, "AXVisibleCharacterRange"), (AXRange { 28, 0 }));

    const Rect frame2 = *desktop->frameOf(page2);
    struct Case {
        AXElement page;
        AXRange range;
        bool measured; // a character's box, not the page's
    };
    for (const Case& c : { Case { page2, { 13, 1 }, true }, Case { page2, { 20, 2 }, true }, Case { page2, { 12, 1 }, false },
                           Case { page2, { 28, 1 }, false }, Case { page1, { 13, 1 }, false }, Case { page3, { 28, 1 }, false } }) {
        auto bounds = readParameterized<Rect>(ax, c.page, "AXBoundsForRange", c.range);
        ASSERT_TRUE(bounds) << c.range.location;
        const Rect pageFrame = *desktop->frameOf(c.page);
        if (c.measured) {
            EXPECT_LT(bounds->height(), 0.9 * pageFrame.height()) << c.range.location;
            EXPECT_TRUE(pageFrame.contains(bounds->origin));
        } else {
            EXPECT_EQ(*bounds, pageFrame) << c.range.location;
        }
    }
    EXPECT_FALSE(readParameterized<Rect>(ax, page2, "AXBoundsForRange", AXRange { 38, 2 })) << "past the document's end";
    EXPECT_EQ(readParameterized<int64_t>(ax, page2, "AXLineForIndex", int64_t { 14 }), 0);
    EXPECT_EQ(readParameterized<AXRange>(ax, page2, "AXRangeForLine", int64_t { 0 }), (AXRange { 13, 15 }));

    // Moving the bar to the end brings the third page into view and the first out of it, and
    // the second page's characters move with it.
    const Rect before = *readParameterized<Rect>(ax, page2, "AXBoundsForRange", AXRange { 13, 1 });
    ASSERT_EQ(ax.setAttributeValue(desktop->element("pages-bar"), "AXValue", AXValue(1.0)), AXError::success);
    EXPECT_EQ(readAttribute<AXRange>(ax, page3, "AXVisibleCharacterRange"), (AXRange { 28, 10 }));
    EXPECT_EQ(readAttribute<AXRange>(ax, page1, "AXVisibleCharacterRange"), (AXRange { 0, 0 }));
    const Rect after = *readParameterized<Rect>(ax, page2, "AXBoundsForRange", AXRange { 13, 1 });
    EXPECT_LT(after.minY(), before.minY());
    EXPECT_NEAR(before.minY() - after.minY(), frame2.minY() - desktop->frameOf(page2)->minY(), 1e-9);
}

TEST(SimPageFrames, APageFrameNeedsItsText)
{
    const auto result = SimFixtureLoader::parse(
        R"({"applications": [{"windows": [{"frame": [0, 0, 10, 10], "children": [{"role": "AXTextArea", "document": "body"}]}]}]})",
        "bad.json");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), "bad.json: /applications/0/windows/0/children/0/document: a page frame names its document and has a \"text\"");
    EXPECT_TRUE(SimFixtureLoader::load(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/pages-short.json"));
}

} // namespace
} // namespace lorvantine
