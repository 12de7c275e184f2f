#include "SimDesktopTestSupport.h"

#include "Platform/WindowServerPort.h"
#include "SimDesktop/Model/SimInstalledApplication.h"
#include "TestSupport/ManualClockTest.h"

namespace lorvantine {
namespace {

constexpr const char* nextEssay = "https://example.com/next-essay";
constexpr const char* lostPage = "https://example.com/lost";

// A web page whose one paragraph has links in it, in the window Safari shows. The texts before
// and after the first link wrap, so that the link stands on lines those texts share.
SimWindow linkPage(const std::string& title)
{
    SimElement paragraph("AXGroup");
    paragraph.runs = { { .text = "Most of us read more words in a day than our grandparents read in a week, yet we remember fewer "
                                 "of them, and the pages we skim leave less behind than the ones we linger over. Read " },
                       { .text = "the next essay", .link = nextEssay },
                       { .text = " when this one is done, and take the time it asks for: a second reading finds what the first "
                                 "one hurried past, or " },
                       { .text = "a page that moved", .link = lostPage }, { .text = "." } };
    SimElement web("AXWebArea");
    web.frame(Rect(0, 52, 900, 648)).with("AXDescription", title);
    web.padding = 40;
    web.child(paragraph);
    return SimWindow { .title = title, .frame = Rect(100, 60, 900, 700), .main = true, .children = { web } };
}

// Safari in front on its catalogue's first page; the second page is the next essay's.
class SimFollowsLinksTest : public ManualClockTest {
protected:
    void SetUp() override
    {
        ManualClockTest::SetUp();
        SimApplication safari { .pid = 501, .bundleIdentifier = "com.apple.Safari", .localizedName = "Safari" };
        SimFixture fixture = oneApplicationFixture(safari, linkPage("Slow Reading"));
        fixture.applications.front().windows.front().number = 8101;
        SimInstalledApplication installed { .application = safari };
        installed.pages.push_back({ nextEssay, linkPage("The Next Essay") });
        fixture.installed.push_back(installed);
        t.emplace(SimDesktop::create(fixture));
    }

    // The middle of the link to `url`, in top-left screen points.
    std::optional<Point> link(const std::string& url)
    {
        std::vector<AXElement> pending { t->desktop->windowElement(8101) };
        while (!pending.empty()) {
            const AXElement element = pending.back();
            pending.pop_back();
            const auto address = t->get<AXURL>(element, "AXURL");
            if (t->get<std::string>(element, "AXRole") == "AXLink" && address && address->string == url) {
                const auto at = t->get<Point>(element, "AXPosition");
                const auto size = t->get<Size>(element, "AXSize");
                if (at && size)
                    return Point { at->x + size->width / 2, at->y + size->height / 2 };
            }
            for (const AXElement& child : t->get<std::vector<AXElement>>(element, "AXChildren").value_or(std::vector<AXElement> {}))
                pending.push_back(child);
        }
        return std::nullopt;
    }
    void mouse(InputEventType type, Point at) { t->ports.windowServer->post(EventTap::hid, InputEvent::mouse(std::nullopt, type, at)); }
    std::optional<std::string> title() { return t->get<std::string>(t->desktop->windowElement(8101), "AXTitle"); }
    std::vector<std::string> followed()
    {
        std::vector<std::string> urls;
        for (const SimJournalEntry& entry : t->desktop->journal())
            if (entry.kind == SimJournalEntry::Kind::reaction && entry.name == "followLink")
                urls.push_back(*axGet<std::string>(entry.value));
        return urls;
    }

    std::optional<PortsUnderTest> t;
};

// The tab goes to the page: same window, number and frame, the page's title and content.
TEST_F(SimFollowsLinksTest, AClickOnALinkShowsItsPageInTheSameWindow)
{
    const auto at = link(nextEssay);
    ASSERT_TRUE(at);
    mouse(InputEventType::leftMouseDown, *at);
    mouse(InputEventType::leftMouseUp, *at);
    EXPECT_EQ(title(), "The Next Essay");
    EXPECT_EQ(followed(), std::vector<std::string> { nextEssay });
    EXPECT_EQ(t->desktop->windowNumbers(501), std::vector<uint32_t> { 8101 });
    EXPECT_EQ(t->desktop->windowFrame(8101), Rect(100, 60, 900, 700));
    auto web = t->get<std::vector<AXElement>>(t->desktop->windowElement(8101), "AXChildren");
    ASSERT_TRUE(web && web->size() == 1u);
    EXPECT_EQ(t->get<std::string>(web->front(), "AXDescription"), "The Next Essay");
    EXPECT_TRUE(link(nextEssay)) << "the new page's own links are there to follow";
}

// A press that leaves the link before its release follows nothing; an address outside the
// catalogue shows the error page.
TEST_F(SimFollowsLinksTest, OnlyAClickFollowsAndAnUnknownAddressShowsTheErrorPage)
{
    const auto next = link(nextEssay);
    const auto lost = link(lostPage);
    ASSERT_TRUE(next && lost);
    mouse(InputEventType::leftMouseDown, *next);
    mouse(InputEventType::leftMouseDragged, *lost);
    mouse(InputEventType::leftMouseUp, *lost);
    EXPECT_EQ(title(), "Slow Reading");
    EXPECT_TRUE(followed().empty());

    mouse(InputEventType::leftMouseDown, *lost);
    mouse(InputEventType::leftMouseUp, *lost);
    EXPECT_EQ(title(), "Failed to open page");
    EXPECT_EQ(followed(), std::vector<std::string> { lostPage });
}

} // namespace
} // namespace lorvantine
