#pragma once

#include "TestSupport/DesktopTest.h"

#include <functional>
#include <string>
#include <vector>

namespace lorvantine::test {

// A Pages window laid out like tests/fixtures/pages-document.json (toolbar, a scroll area of
// page frames sharing one document text) with the pages given: each page's text, lines ending in
// "\n" (the last page's last line need not). Window 7100 named "pages-window" at (120, 40),
// 900 × 820; its scroll area "pages-scroll" at y 52, 768 high, with the bar "pages-bar"; page k
// (from 1) is the group "page-k", `pageHeight` high, holding the text area "page-k-text" 80 less.
inline SimFixture pagesDocumentFixture(const std::vector<std::string>& pages, double pageHeight = 800, double spacing = 30)
{
    SimElement column("AXGroup");
    column.named("pages-column");
    column.padding = 30;
    column.spacing = spacing;
    for (size_t k = 0; k < pages.size(); ++k) {
        const std::string name = "page-" + std::to_string(k + 1);
        SimElement page("AXGroup");
        page.named(name);
        page.height = pageHeight;
        page.padding = 40;
        page.background = 0xFFFFFFFF;
        SimElement text("AXTextArea", pages[k]);
        text.named(name + "-text");
        text.height = pageHeight - 80;
        text.document = "body";
        text.font.size = 14;
        page.child(std::move(text));
        column.child(std::move(page));
    }
    SimElement bar("AXScrollBar");
    bar.named("pages-bar").frame(Rect(885, 0, 15, 768));
    bar.with("AXOrientation", std::string("AXVerticalOrientation")).with("AXValue", 0.0);
    bar.settable = { "AXValue" };
    SimElement area("AXScrollArea");
    area.named("pages-scroll").frame(Rect(0, 52, 900, 768));
    area.child(std::move(column)).child(std::move(bar));
    SimElement toolbar("AXToolbar");
    toolbar.frame(Rect(0, 0, 900, 52));
    toolbar.child(SimElement("AXButton").with("AXTitle", std::string("View")).frame(Rect(90, 12, 60, 28)));
    toolbar.child(SimElement("AXTextArea", "Search in this document").named("pages-search").frame(Rect(600, 12, 220, 28)));

    SimFixture fixture = oneApplicationFixture({ .pid = 710, .bundleIdentifier = "com.apple.iWork.Pages", .localizedName = "Pages" },
                                               { .number = 7100,
                                                 .title = "Harbour Log.pages",
                                                 .name = "pages-window",
                                                 .frame = Rect(120, 40, 900, 820),
                                                 .background = 0xFFD8D8DC,
                                                 .children = { std::move(toolbar), std::move(area) } });
    fixture.screens.push_back({ .frame = Rect(0, 0, 1440, 900), .visibleFrame = Rect(0, 25, 1440, 875) });
    return fixture;
}

// `lines` lines made by `line(i)` (i from 0), `linesPerPage` to a page.
inline std::vector<std::string> pagesOfLines(int lines, int linesPerPage, const std::function<std::string(int)>& line)
{
    std::vector<std::string> pages;
    for (int i = 0; i < lines; ++i) {
        if (i % linesPerPage == 0)
            pages.emplace_back();
        pages.back() += line(i) + (i + 1 < lines ? "\n" : "");
    }
    return pages;
}

} // namespace lorvantine::test
