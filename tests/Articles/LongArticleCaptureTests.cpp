#include "Articles/ArticleTestSupport.h"
#include "Platform/Dispatch/CancellationToken.h"
#include "TestSupport/ForwardingAccessibility.h"

#include <algorithm>
#include <functional>

namespace lorvantine {
namespace {

// A long essay as a web page lays it out: a heading every twenty paragraphs, and between them
// paragraphs of prose of uneven length, some with a link inside.
std::vector<SimElement> longEssay(int paragraphs)
{
    static const char* sentences[] = {
        "The ferry left at dawn, its horn low over the water.",
        "Nobody on the pier could say where the old keeper had gone, or why the lamp was still lit.",
        "By noon the fog had lifted from the harbour.",
        "She wrote the letter twice, tore up the first, and posted the second before she could change her mind.",
        "Gulls argued over the nets.",
    };
    std::vector<SimElement> content;
    for (int i = 0; i < paragraphs; ++i) {
        if (i % 20 == 0) {
            const std::string title = "Part " + std::to_string(i / 20 + 1);
            content.push_back(SimElement("AXHeading").with("AXTitle", title).child(SimElement("AXStaticText", title)));
        }
        std::string text;
        for (int k = 0; k <= i % 3; ++k)
            text += std::string(k ? " " : "") + sentences[(i + k) % 5];
        SimElement block("AXGroup");
        block.child(SimElement("AXStaticText", text));
        if (i % 7 == 3)
            block.child(SimElement("AXLink").child(SimElement("AXStaticText", " (see the harbour log)")));
        content.push_back(std::move(block));
    }
    return content;
}

// The desktop's accessibility, watched call by call: after each call it runs `afterCall`.
class WatchedAccessibility final : public test::ForwardingAccessibility {
public:
    using test::ForwardingAccessibility::ForwardingAccessibility;
    std::function<void()> afterCall;
    int calls = 0;

    AXError copyAttributeValue(const AXElement& element, const std::string& attribute, AXValue& out) override
    {
        const AXError result = test::ForwardingAccessibility::copyAttributeValue(element, attribute, out);
        ++calls;
        if (afterCall)
            afterCall();
        return result;
    }
};

class LongArticleCaptureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_desktop = SimDesktop::create(articleFixture(longEssay(paragraphCount), "com.apple.Safari", "Harbour Notes"));
        PlatformServices services = m_desktop->services();
        watched = std::make_shared<WatchedAccessibility>(services.accessibility);
        services.accessibility = watched;
        m_scope.emplace(services);
    }

    // How many texts of the desktop are laid out now.
    size_t laidOut()
    {
        return m_desktop->withModel([](SimModel& m) {
            return static_cast<size_t>(std::count_if(m.nodes.begin(), m.nodes.end(), [](const auto& entry) { return entry.second.layout != nullptr; }));
        });
    }

    static constexpr int paragraphCount = 600;
    std::shared_ptr<WatchedAccessibility> watched;
    Log::Capture log;

private:
    std::shared_ptr<SimDesktop> m_desktop;
    std::optional<Platform::ScopedServices> m_scope;
};

// The page is laid out as the capture reads down it: no read of the application lays out more
// than the paragraph it reaches, so whoever else asks the desktop something meanwhile (the
// menu bar, the control channel) is answered between two of the capture's reads.
TEST_F(LongArticleCaptureTest, EachReadLaysOutAtMostTheParagraphItReaches)
{
    size_t before = laidOut();
    size_t mostInOneRead = 0;
    watched->afterCall = [&] {
        const size_t now = laidOut();
        mostInOneRead = std::max(mostInOneRead, now - before);
        before = now;
    };
    auto captured = ArticleParser::captureArticle("com.apple.Safari");
    watched->afterCall = nullptr;

    ASSERT_TRUE(captured);
    EXPECT_EQ(captured->paragraphs.size(), static_cast<size_t>(paragraphCount + paragraphCount / 20));
    EXPECT_TRUE(captured->paragraphs.back().text.starts_with("Gulls argued over the nets.")) << captured->paragraphs.back().text;
    EXPECT_LE(mostInOneRead, 3u) << "one read laid out " << mostInOneRead << " texts of " << laidOut();
}

// A capture whose search is given up stops within a few reads and finds no article, wherever it
// was on the page.
TEST_F(LongArticleCaptureTest, AGivenUpCaptureStopsWithinAFewReadsAndFindsNothing)
{
    for (const int givenUpAt : { 5, 300, 2000 }) {
        CancellationToken token;
        int callsAtCancel = 0;
        size_t linesAtCancel = 0;
        watched->calls = 0;
        watched->afterCall = [&] {
            if (watched->calls == givenUpAt) {
                token.cancel();
                callsAtCancel = watched->calls;
                linesAtCancel = log.lines().size();
            }
        };
        std::optional<CapturedArticle> captured;
        {
            CancellationToken::Scope scope(token);
            captured = ArticleParser::captureArticle("com.apple.Safari");
        }
        watched->afterCall = nullptr;
        ASSERT_TRUE(token.isCancelled()) << "the page took fewer than " << givenUpAt << " reads";
        EXPECT_FALSE(captured) << givenUpAt;
        EXPECT_LE(watched->calls - callsAtCancel, 4) << "given up at read " << givenUpAt;
        EXPECT_EQ(log.lines().size(), linesAtCancel) << "nothing is reported of a capture given up";
    }

    // The same page read to its end without a token.
    auto whole = ArticleParser::captureArticle("com.apple.Safari");
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->paragraphs.size(), static_cast<size_t>(paragraphCount + paragraphCount / 20));
}

} // namespace
} // namespace lorvantine
