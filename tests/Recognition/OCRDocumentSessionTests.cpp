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
}

TEST_F(OCRDocumentSessionTest, EachValueOfTheWindowThatCannotBeReadFallsBackOnItsOwn)
{
    OCRDocumentSession unreadable("Report", window, paragraphs, content);
    EXPECT_EQ(unreadable.initialWindowOrigin(), (Point{140, 255}));
    EXPECT_EQ(unreadable.initialWindowSize(), (Size{760, 420}));
    EXPECT_EQ(unreadable.initialWindowTitle(), "");

    ax->set(window, AXName::size, Size{800, 600});
    ax->set(window, AXName::title, int64_t{3}); // not a string
    OCRDocumentSession partly("Report", window, {}, content);
    EXPECT_EQ(partly.initialWindowOrigin(), (Point{140, 255}));
    EXPECT_EQ(partly.initialWindowSize(), (Size{800, 600}));
    EXPECT_EQ(partly.initialWindowTitle(), "");
    EXPECT_TRUE(partly.paragraphs().empty());
}

} // namespace
} // namespace lorvantine::testing
