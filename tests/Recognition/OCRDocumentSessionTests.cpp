#include "Documents/OCRDocumentSession.h"
#include "Platform/Services.h"
#include "Recognition/FakeWindowAccessibility.h"
#include "Recognition/RecognitionMatchers.h"

#include <gtest/gtest.h>

namespace lorvantine::testing {
namespace {

class OCRDocumentSessionTest : public ::testing::Test {
protected:
    std::shared_ptr<FakeWindowAccessibility> ax = std::make_shared<FakeWindowAccessibility>();
    Platform::ScopedServices services{PlatformServices{.accessibility = ax}};
    const AXElement window{42, 7};
    const Rect content{140, 255, 760, 420};
    std::vector<ReadableParagraph> paragraphs{ReadableParagraph{.index = 0, .text = "first", .role = "body"},
                                              ReadableParagraph{.index = 1, .text = "second", .role = "body"}};
};

TEST_F(OCRDocumentSessionTest, KeepsWhatItWasGivenAndHowTheWindowStood)
{
    ax->set(window, AXName::position, Point{100, 100});
    ax->set(window, AXName::size, Size{800, 600});
    ax->set(window, AXName::title, std::string("Report.docx"));

    OCRDocumentSession session("Report", window, paragraphs, content);

    EXPECT_EQ(session.title(), "Report");
    EXPECT_EQ(session.windowElement(), window);
    EXPECT_EQ(session.paragraphs(), paragraphs);
    EXPECT_EQ(session.contentRect(), content);
    EXPECT_EQ(session.initialWindowOrigin(), (Point{100, 100}));
    EXPECT_EQ(session.initialWindowSize(), (Size{800, 600}));
    EXPECT_EQ(session.initialWindowTitle(), "Report.docx");

    const DocumentSession& asSession = session;
    EXPECT_EQ(asSession.paragraphs().size(), 2u);
}

TEST_F(OCRDocumentSessionTest, AWindowThatCannotBeReadFallsBackToTheContentRectangle)
{
    OCRDocumentSession session("Report", window, paragraphs, content);

    EXPECT_EQ(session.initialWindowOrigin(), (Point{140, 255}));
    EXPECT_EQ(session.initialWindowSize(), (Size{760, 420}));
    EXPECT_EQ(session.initialWindowTitle(), "");
}

TEST_F(OCRDocumentSessionTest, EachMissingValueFallsBackOnItsOwn)
{
    ax->set(window, AXName::size, Size{800, 600});
    ax->set(window, AXName::title, int64_t{3}); // not a string

    OCRDocumentSession session("Report", window, {}, content);

    EXPECT_EQ(session.initialWindowOrigin(), (Point{140, 255}));
    EXPECT_EQ(session.initialWindowSize(), (Size{800, 600}));
    EXPECT_EQ(session.initialWindowTitle(), "");
    EXPECT_TRUE(session.paragraphs().empty());
}

} // namespace
} // namespace lorvantine::testing
