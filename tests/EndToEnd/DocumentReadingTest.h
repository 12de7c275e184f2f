#pragma once

#include "EndToEnd/ParagraphRequests.h"
#include "EndToEnd/ReadArticleCommandTest.h"

#include "TestSupport/DesktopTest.h"
#include "TestSupport/FixturePageText.h"
#include "TestSupport/WordDocumentText.h"

#include <string>
#include <vector>

namespace lorvantine::test {

// A document read with "--read-article --app <bundle identifier>" to its end in this process, on
// a fast clock: the speech plays silently at fifty times its speed, and every wait of the
// program (a page turn, a scroll) passes as quickly. What was heard is what the stand-in speech
// server was asked to speak.
class DocumentReadingTest : public ReadArticleCommandTest {
protected:
    // Reads the document on the desktop of `fixture` until the end of the document resets the play
    // button, then presses Ctrl+C. Answers the log, one line after another.
    std::string readWhole(const std::string& fixture, const std::string& bundleID)
    {
        useFixture(fixture);
        defaults->set(PreferencesModel::Key::defaultSpeedEn, 2.0f);
        defaults->set(PreferencesModel::Key::defaultSpeedZh, 2.0f);
        readToTheEnd(bundleID);
        std::string account;
        for (const std::string& line : log.lines())
            account += line + "\n";
        return account;
    }

    // What was spoken, unit by unit (see heardUnitsOf), in the order it was asked for.
    std::vector<std::string> heardUnits() { return heardUnitsOf(spokenTexts()); }
    std::string heardText() { return heardTextOf(spokenTexts()); }

    // What a listener should hear of the Word document of `fixture`, as heardText gives it.
    static std::string wordDocumentText(const std::string& fixture)
    {
        return heardTextOf(wordFixtureParagraphs(fixtureNamed(fixture)));
    }

    // Reads the Word document of `fixture` to its end; a failure unless every word of it was heard
    // once, in order. Answers what was heard.
    std::string expectWordDocumentHeard(const std::string& fixture)
    {
        const std::string account = readWhole(fixture, "com.microsoft.Word");
        const std::string heard = heardText();
        EXPECT_EQ(heard, wordDocumentText(fixture)) << account;
        return heard;
    }

    // Reads the book of `fixture` to its end; a failure unless each of `pages` was asked for once,
    // whole, in page order, and the book was left on its last page.
    void expectBookHeardPageByPage(const std::string& fixture, const std::string& bundleID, const std::string& tag,
                                   const std::vector<std::string>& pages)
    {
        const std::string account = readWhole(fixture, bundleID);
        EXPECT_EQ(paragraphStarts(server->speechRequests(), pages), pages) << account;
        EXPECT_NE(account.find("[" + tag + "] 📖 翻页后内容未变 ("), std::string::npos) << account;
        EXPECT_EQ(pagesTurned(), pages.size() - 1) << "left on its last page";
    }

    // Pages the reader turned, as the application saw them.
    size_t pagesTurned() const
    {
        size_t count = 0;
        for (const SimJournalEntry& entry : desktop->journal())
            count += entry.kind == SimJournalEntry::Kind::reaction && entry.name == "pageTurned";
        return count;
    }

private:
    std::vector<std::string> spokenTexts()
    {
        std::vector<std::string> spoken;
        for (const SpeechServerRequest& request : server->speechRequests()) {
            EXPECT_EQ(request.status, 200) << request.input.value_or("");
            spoken.push_back(request.processedText.value_or(""));
        }
        return spoken;
    }
};

} // namespace lorvantine::test
