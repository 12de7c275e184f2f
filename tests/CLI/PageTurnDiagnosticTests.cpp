#include "CLI/DiagnosticCommandTest.h"

#include <gmock/gmock.h>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;

constexpr const char* turnedKindleID = "com.amazon.Lassen";

class PageTurnDiagnosticTest : public DiagnosticCommandTest {
protected:
    void SetUp() override
    {
        DiagnosticCommandTest::SetUp();
        kindle = fixtureNamed("kindle-book.json");
    }
    SimApplication& kindleApp() { return kindle.applications[1]; }
    SimApplication& finder() { return kindle.applications[0]; }

    std::vector<std::string> scripts() const
    {
        std::vector<std::string> sources;
        for (const SimJournalEntry& entry : desktop->journal())
            if (entry.kind == SimJournalEntry::Kind::appleScript)
                sources.push_back(entry.name);
        return sources;
    }
    std::vector<ProcessID> activations() const
    {
        std::vector<ProcessID> pids;
        for (const SimJournalEntry& entry : desktop->journal())
            if (entry.kind == SimJournalEntry::Kind::activate)
                pids.push_back(entry.pid);
        return pids;
    }

    SimFixture kindle;
};

TEST_F(PageTurnDiagnosticTest, AKindleBookThatTurnsIsReportedTurned)
{
    use(kindle);
    CommandRun result = run({ "--test-page-turn" });
    EXPECT_EQ(result.status, 0);
    EXPECT_THAT(result.lines,
                ElementsAre("[Kindle] pid=620", "[Kindle] 窗口: (120,60) 820×640", "",
                            "[Kindle] 翻页前: \"The keeper climbed the iron stairs every evening and trimmed...\"", "",
                            "=== AppleScript 原子翻页 ===", "[Kindle] 前台: com.amazon.Lassen",
                            "[Kindle] AppleScript 总耗时: 200ms", "[Kindle] 等待 1s 检测...", "[Kindle] ✅ 翻页成功！"));
    EXPECT_THAT(scripts(), ElementsAre("tell application id \"com.amazon.Lassen\" to activate\n"
                                       "delay 0.15\n"
                                       "tell application \"System Events\" to key code 124\n"
                                       "delay 0.05\n"
                                       "tell application id \"com.amazon.Lassen\" to activate"));
    EXPECT_DOUBLE_EQ(elapsed(), 1.2);
}

TEST_F(PageTurnDiagnosticTest, ABookThatDoesNotTurnIsReportedWithStatusZero)
{
    kindleApp().behaviours.paging->texts.resize(1);
    use(kindle);
    CommandRun kindleResult = run({ "--test-page-turn", "--app", turnedKindleID });
    EXPECT_EQ(kindleResult.status, 0);
    EXPECT_EQ(kindleResult.lines.back(), "[Kindle] ❌ 翻页失败");

    SimFixture books = fixtureNamed("books-book.json");
    for (SimApplication& app : books.applications)
        if (app.behaviours.paging)
            app.behaviours.paging->count = 1; // at its last page
    use(books);
    CommandRun booksResult = run({ "--test-page-turn", "--app", "com.apple.iBooksX" });
    EXPECT_EQ(booksResult.status, 0);
    EXPECT_EQ(booksResult.lines.front().rfind("[App] pid=", 0), 0u);
    EXPECT_EQ(booksResult.lines.back(), "[App] ❌ 翻页失败");
    EXPECT_THAT(booksResult.lines[3], ::testing::StartsWith("[App] 翻页前: \"Chapter One The harbour wall"));
}

TEST_F(PageTurnDiagnosticTest, TheApplicationInFrontGetsTheFocusBackAfterTheKey)
{
    finder().active = true;
    kindleApp().active = false;
    use(kindle);
    CommandRun result = run({ "--test-page-turn" });
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(result.has("[Kindle] 前台: com.apple.finder"));
    EXPECT_TRUE(result.has("[Kindle] ✅ 翻页成功！"));
    EXPECT_THAT(activations(), ElementsAre(620, 610));
    EXPECT_THAT(scripts().front(), ::testing::EndsWith("delay 0.05\ntell application id \"com.apple.finder\" to activate"));
}

TEST_F(PageTurnDiagnosticTest, NoProcessOrNoReadableWindowFails)
{
    use(kindle);
    CommandRun missing = run({ "--test-page-turn", "--app", "com.example.Kindle" });
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.lines, std::vector<std::string> { "❌ 未找到进程 com.example.Kindle" });

    kindleApp().windows[0].errors["AXSize"] = AXError::cannotComplete;
    use(kindle);
    CommandRun unreadable = run({ "--test-page-turn" });
    EXPECT_EQ(unreadable.status, 1);
    EXPECT_EQ(unreadable.lines, (std::vector<std::string> { "[Kindle] pid=620", "[Kindle] ❌ 无法获取窗口" }));
    EXPECT_TRUE(scripts().empty());
}

TEST_F(PageTurnDiagnosticTest, AQuoteInTheIdentifierCannotEndTheScriptsString)
{
    kindleApp().bundleIdentifier = "com.amazon.Lassen\" to quit";
    use(kindle);
    CommandRun result = run({ "--test-page-turn", "--app", "com.amazon.Lassen\" to quit" });
    EXPECT_EQ(result.status, 0);
    ASSERT_EQ(scripts().size(), 1u);
    EXPECT_THAT(scripts().front(), ::testing::StartsWith("tell application id \"com.amazon.Lassen\\\" to quit\" to activate\n"));
}

} // namespace
} // namespace lorvantine
