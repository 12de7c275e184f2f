#include "SimDesktopTestSupport.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

constexpr int sections = 30;

// A long page in a scroll area: sections stacked one under another, each a heading and two
// paragraphs of uneven length in a padded group, a quotation of fixed height every fifth
// section, and a figure placed by the page at its own spot among them.
SimFixture longPage()
{
    SimElement page("AXWebArea");
    page.named("page");
    page.padding = 40;
    page.spacing = 24;
    for (int i = 0; i < sections; ++i) {
        const std::string n = std::to_string(i);
        SimElement section("AXGroup");
        section.named("section-" + n);
        section.padding = 8;
        section.spacing = 6;
        section.child(SimElement("AXHeading").child(SimElement("AXStaticText", "Chapter " + n)));
        section.child(SimElement("AXStaticText", std::string(40 + 37 * (i % 4), 'a') + " words " + n).named("text-" + n));
        section.child(SimElement("AXStaticText", "A shorter line " + n + "."));
        if (i % 5 == 2)
            section.child(SimElement("AXGroup").sized(300, 90).child(SimElement("AXStaticText", "A quotation.")));
        page.child(std::move(section));
        if (i == 7)
            page.child(SimElement("AXImage").named("figure").frame(Rect(600, 120, 200, 150)));
    }
    SimElement area("AXScrollArea");
    area.named("area").frame(Rect(0, 52, 1000, 700));
    area.child(std::move(page));
    return oneWindowFixture({ area });
}

std::vector<std::string> names()
{
    std::vector<std::string> all { "page", "figure", "area" };
    for (int i = 0; i < sections; ++i)
        all.insert(all.end(), { "section-" + std::to_string(i), "text-" + std::to_string(i) });
    return all;
}

std::map<std::string, Rect> framesAskedInOrder(PortsUnderTest& t, const std::vector<std::string>& order)
{
    std::map<std::string, Rect> frames;
    for (const std::string& name : order) {
        auto frame = t.get<Rect>(t.desktop->element(name), "AXFrame");
        EXPECT_TRUE(frame) << name;
        if (frame)
            frames[name] = *frame;
    }
    return frames;
}

// Elements are placed as they are asked for; what a page shows must not depend on which part
// of it was asked first.
TEST(SimPlacement, FramesAreTheSameWhicheverOrderTheyAreAskedIn)
{
    const std::vector<std::string> forward = names();
    std::vector<std::string> backward(forward.rbegin(), forward.rend());
    std::vector<std::string> sectionsFirst;
    for (size_t i = 3; i < forward.size(); i += 2)
        sectionsFirst.push_back(forward[i]);
    for (const std::string& name : forward)
        sectionsFirst.push_back(name);

    PortsUnderTest a { SimDesktop::create(longPage()) }, b { SimDesktop::create(longPage()) }, c { SimDesktop::create(longPage()) };
    const auto fromTop = framesAskedInOrder(a, forward);
    const auto fromBottom = framesAskedInOrder(b, backward);
    const auto mixed = framesAskedInOrder(c, sectionsFirst);
    for (const std::string& name : forward) {
        EXPECT_TRUE(near(fromTop.at(name), fromBottom.at(name))) << name;
        EXPECT_TRUE(near(fromTop.at(name), mixed.at(name))) << name;
    }

    // Sections stack 24 points apart from 40 points in; the figure stays where the page put it
    // and takes no room; the page holds them all and its padding.
    const Rect page = fromTop.at("page");
    EXPECT_NEAR(fromTop.at("section-0").minY(), page.minY() + 40, 0.01);
    for (int i = 1; i < sections; ++i)
        EXPECT_NEAR(fromTop.at("section-" + std::to_string(i)).minY(), fromTop.at("section-" + std::to_string(i - 1)).maxY() + 24, 0.01) << i;
    EXPECT_TRUE(near(fromTop.at("figure"), Rect(page.minX() + 600, page.minY() + 120, 200, 150)));
    EXPECT_NEAR(page.maxY(), fromTop.at("section-" + std::to_string(sections - 1)).maxY() + 40, 0.01);
}

// A page that changes after it was read in part is placed again from the change on.
TEST(SimPlacement, AChangedParagraphMovesWhatFollowsIt)
{
    PortsUnderTest t { SimDesktop::create(longPage()) };
    auto frameOf = [&](const std::string& name) { return t.get<Rect>(t.desktop->element(name), "AXFrame").value_or(Rect {}); };
    const Rect early = frameOf("section-3");
    const Rect late = frameOf("section-20");
    const Rect changed = frameOf("text-10");

    t.desktop->setText(t.desktop->element("text-10"), std::string(900, 'b') + " a paragraph grown long");
    const double grown = frameOf("text-10").height() - changed.height();
    EXPECT_GT(grown, 20);
    EXPECT_TRUE(near(frameOf("section-3"), early));
    EXPECT_TRUE(near(frameOf("section-20"), Rect(late.minX(), late.minY() + grown, late.width(), late.height())));

    const Rect fourth = frameOf("section-4");
    const Rect fifth = frameOf("section-5");
    const Rect twentieth = frameOf("section-20");
    t.desktop->removeElement(t.desktop->element("section-4"));
    EXPECT_TRUE(near(frameOf("section-5"), Rect(fifth.minX(), fourth.minY(), fifth.width(), fifth.height())));
    const double up = fifth.minY() - fourth.minY();
    EXPECT_TRUE(near(frameOf("section-20"), Rect(twentieth.minX(), twentieth.minY() - up, twentieth.width(), twentieth.height())));
    EXPECT_TRUE(near(frameOf("section-3"), early));
}

} // namespace
} // namespace lorvantine
