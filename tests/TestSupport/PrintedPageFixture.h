#pragma once

#include "TestSupport/DesktopTest.h"

#include <string>
#include <vector>

namespace lorvantine::test {

// A line of a printed page: its text at (x, y) in the page, 560 points wide at most.
struct PrintedLine {
    double x = 0;
    double y = 0;
    std::string text;
};

// A page drawn as a picture (its text not exposed) at `frame` in its window, its lines in
// DejaVu Serif at 17 points: a page of Word's print layout, a Pages layout without a text area.
inline SimElement printedPage(Rect frame, const std::vector<PrintedLine>& lines)
{
    SimElement page("AXGroup");
    page.frame(frame).named("page");
    page.imageOnly = true;
    page.background = 0xFFFFFFFF;
    for (const PrintedLine& printed : lines) {
        SimElement line("AXStaticText", printed.text);
        line.at({ printed.x, printed.y }).sized(560);
        line.font.family = "DejaVu Serif";
        line.font.size = 17;
        page.child(std::move(line));
    }
    return page;
}

// A desktop whose one application (`pid`, `bundleID`) is frontmost with one main window at
// `frame` (number 63, titled `title`) holding `page`.
inline SimFixture printedPageFixture(ProcessID pid, const std::string& bundleID, const std::string& title, Rect frame,
                                     SimElement page)
{
    return oneApplicationFixture({ .pid = pid, .bundleIdentifier = bundleID, .localizedName = title },
                                 { .number = 63, .title = title, .frame = frame, .children = { std::move(page) } });
}

} // namespace lorvantine::test
