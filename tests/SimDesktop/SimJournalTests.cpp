#include "SimDesktop/SimDesktopTestSupport.h"

#include "Platform/ProcessPort.h"
#include "SimDesktop/Model/SimJournal.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

using Kind = SimJournalEntry::Kind;

// The text the journal holds: the scripts, the programs and their arguments.
size_t textHeld(const std::vector<SimJournalEntry>& journal)
{
    size_t bytes = 0;
    for (const SimJournalEntry& entry : journal) {
        bytes += entry.name.size();
        if (const auto* strings = axGet<std::vector<std::string>>(entry.value))
            for (const std::string& text : *strings)
                bytes += text.size();
    }
    return bytes;
}

// A desktop that serves for long (the shared desktop, the application under a controller) keeps
// its journal within a bound, whatever goes through it, and what a reader looks for after its
// steps is there whole: the last run with its arguments, its script, the latest events in order.
TEST(SimJournal, ADesktopServingForLongKeepsItsLatestEntriesWithinTheBound)
{
    PortsUnderTest t { SimDesktop::demo() };
    // A script of 32 KiB, most of it the comments that explain it.
    std::string script;
    while (script.size() < 32 * 1024)
        script += "-- Wait for the window to settle before the next page is read from it.\n";
    script += "delay 0";
    for (int run = 0; run < 100; ++run) {
        auto outcome = t.ports.processes->run("/usr/bin/osascript", { "-e", script });
        ASSERT_TRUE(outcome && outcome->exitStatus == 0);
    }
    auto journal = t.desktop->journal();
    EXPECT_LE(textHeld(journal), SimJournal::maxBytes) << "100 scripts of 32 KiB, each held twice";
    ASSERT_GE(journal.size(), 2u);
    const SimJournalEntry& ran = journal[journal.size() - 2];
    EXPECT_EQ(ran.kind, Kind::process);
    EXPECT_EQ(ran.name, "/usr/bin/osascript");
    EXPECT_EQ(ran.value, AXValue(std::vector<std::string> { "-e", script }));
    EXPECT_EQ(journal.back().kind, Kind::appleScript);
    EXPECT_EQ(journal.back().name, script);
    EXPECT_EQ(journal.back().result, AXError::success);
    EXPECT_GE(journal.size(), 20u) << "the scripts of several runs";

    // Twice as many events as are kept: the latest are, in the order they were posted.
    const int posted = 2 * static_cast<int>(SimJournal::maxEntries);
    for (int i = 0; i < posted; ++i)
        t.ports.windowServer->post(EventTap::hid, InputEvent::mouse(std::nullopt, InputEventType::mouseMoved, Point { double(i % 1000), double(i / 1000) }));
    journal = t.desktop->journal();
    ASSERT_EQ(journal.size(), SimJournal::maxEntries);
    for (size_t i = 0; i < journal.size(); ++i) {
        const int number = posted - static_cast<int>(journal.size()) + static_cast<int>(i);
        ASSERT_TRUE(journal[i].event) << i;
        ASSERT_EQ(journal[i].event->location, (Point { double(number % 1000), double(number / 1000) })) << i;
    }

    t.desktop->clearJournal();
    EXPECT_TRUE(t.desktop->journal().empty());
}

} // namespace
} // namespace lorvantine
