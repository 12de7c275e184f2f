#include "PixelsTestSupport.h"

#include "SimDesktop/Model/SimFixtureLoader.h"

#include <gtest/gtest.h>

namespace lorvantine::testing {
namespace {

// A timetable of three columns under a header row; the second session runs onto a second line.
std::shared_ptr<SimDesktop> timetable(const std::string& rules)
{
    const std::string json = R"({"screens": [{"frame": [0, 0, 1440, 900], "scale": 2}],
      "applications": [{"pid": 700, "bundleID": "com.example.Reader", "active": true, "windows": [
        {"number": 42, "frame": [100, 50, 600, 400], "background": "#FFFFFF", "children": [
          {"role": "AXTable", "name": "table", "frame": [20, 40, 560], "font": {"size": 14}, "table": {
            "columns": [80, 250, 120], "headerRows": 1, "cellPadding": 5,)"
        + rules + R"(
            "rows": [["Time", "Session", "Room"],
                     ["09:30", "Welcome from the head teacher and the chair of governors", "Foyer"],
                     ["10:00", "Reading with your child", "Hall"]]}}]}]}]})";
    auto fixture = SimFixtureLoader::parse(json, "timetable.json");
    EXPECT_TRUE(fixture) << fixture.error();
    return fixture ? SimDesktop::create(*fixture) : nullptr;
}

struct Cell {
    std::string text;
    Rect frame;     // the cell's
    Rect textFrame; // its text's
};

// The table's rows as accessibility shows them: rows of cells holding their texts.
std::vector<std::vector<Cell>> rowsOf(SimDesktop& desktop)
{
    const PlatformServices ports = desktop.services();
    AccessibilityPort& ax = *ports.accessibility;
    auto get = [&](const AXElement& e, const char* name) {
        AXValue v;
        ax.copyAttributeValue(e, name, v);
        return v;
    };
    auto children = [&](const AXElement& e) {
        const AXValue v = get(e, "AXChildren");
        const auto* list = axGet<std::vector<AXElement>>(v);
        return list ? *list : std::vector<AXElement> {};
    };
    std::vector<std::vector<Cell>> rows;
    for (const AXElement& row : children(desktop.element("table"))) {
        EXPECT_EQ(*axGet<std::string>(get(row, "AXRole")), "AXRow");
        rows.emplace_back();
        for (const AXElement& cell : children(row)) {
            EXPECT_EQ(*axGet<std::string>(get(cell, "AXRole")), "AXCell");
            const AXElement text = children(cell).at(0);
            rows.back().push_back({ *axGet<std::string>(get(text, "AXValue")), *desktop.frameOf(cell), *desktop.frameOf(text) });
        }
    }
    return rows;
}

TEST(RenderedTable, RowsOfCellsStandLevelEachAsTallAsItsTallestCell)
{
    auto desktop = timetable(R"("rules": "grid",)");
    ASSERT_TRUE(desktop);
    const auto rows = rowsOf(*desktop);
    ASSERT_EQ(rows.size(), 3u);
    double rowTop = 90;
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 3u);
        const double lineHeight = rows[0][0].textFrame.height();
        double x = 120, bottom = 0;
        for (const Cell& cell : row) {
            // Each cell at its column, its text padded in from the row's top.
            EXPECT_DOUBLE_EQ(cell.frame.minX(), x) << cell.text;
            EXPECT_DOUBLE_EQ(cell.frame.minY(), rowTop) << cell.text;
            EXPECT_DOUBLE_EQ(cell.textFrame.minY(), rowTop + 5) << cell.text;
            EXPECT_DOUBLE_EQ(cell.textFrame.minX(), x + 5) << cell.text;
            x += cell.frame.width();
            bottom = std::max(bottom, cell.frame.maxY());
            // Every text but the long session keeps to one line.
            EXPECT_NEAR(cell.textFrame.height(), cell.text.size() > 40 ? 2 * lineHeight : lineHeight, 1) << cell.text;
        }
        rowTop = bottom;
    }

    // A line along every row's top and the last row's bottom, and down every cell's sides; none
    // through the texts.
    auto picture = SimRenderer::renderWindow(*desktop, 42);
    ASSERT_TRUE(picture);
    for (const auto& row : rows) {
        for (const Cell& cell : row) {
            const Rect& c = cell.frame;
            EXPECT_TRUE(isDark(colourAtPoint(*picture, { c.midX(), row[1].frame.minY() + 0.5 }))) << cell.text;
            EXPECT_TRUE(isDark(colourAtPoint(*picture, { c.minX() + 0.5, row[1].frame.minY() + 3 }))) << cell.text;
            EXPECT_EQ(darkPixels(*picture, c.insetBy(1.5, 1.5)), darkPixels(*picture, cell.textFrame)) << cell.text;
        }
        EXPECT_TRUE(isDark(colourAtPoint(*picture, { row[2].frame.maxX() - 0.5, row[2].frame.midY() })));
    }
    EXPECT_TRUE(isDark(colourAtPoint(*picture, { 300, rows[2][1].frame.maxY() - 0.5 })));
    EXPECT_EQ(darkPixels(*picture, Rect(110, rows[2][1].frame.maxY() + 0.5, 500, 40)), 0);

    // The recogniser reads each row's cells level with one another left to right; the long
    // session's second line comes after them.
    const Cell& welcome = rows[1][1];
    const std::string firstLine = welcome.text.substr(0, welcome.text.find(" and the chair"));
    EXPECT_EQ(lineTexts(picture->lines),
              (std::vector<std::string> { "Time", "Session", "Room", "09:30", firstLine, "Foyer",
                                          welcome.text.substr(firstLine.size() + 1), "10:00", "Reading with your child",
                                          "Hall" }));
}

TEST(RenderedTable, RowRulesRunAcrossTheCellsAndNoneDownThem)
{
    for (const std::string rules : { R"("rules": "rows", "ruleColour": "#808080",)", "" }) {
        SCOPED_TRACE(rules);
        auto desktop = timetable(rules);
        ASSERT_TRUE(desktop);
        const auto rows = rowsOf(*desktop);
        auto picture = SimRenderer::renderWindow(*desktop, 42);
        ASSERT_TRUE(picture);
        const Rgb white { 255, 255, 255 };
        for (const auto& row : rows) {
            const Rect& session = row[1].frame;
            EXPECT_EQ(colourAtPoint(*picture, { session.midX(), session.minY() + 0.5 }),
                      rules.empty() ? white : (Rgb { 128, 128, 128 }));
            EXPECT_EQ(colourAtPoint(*picture, { session.minX() + 0.5, session.midY() }), white);
        }
    }
}

} // namespace
} // namespace lorvantine::testing
