#include "CLI/CLIRouter.h"

#include "Core/ArticleReader.h"

namespace lorvantine::CLIRouter {

namespace {

// Pressing on after the reading stopped would turn or scroll a document nobody is reading.
std::function<bool()> whileReading(std::weak_ptr<ArticleReader> session)
{
    return [session = std::move(session)] {
        auto alive = session.lock();
        return alive && alive->isReading();
    };
}

} // namespace

std::function<void(PageCompletion)> pageAdvance(const std::string& bundleID, std::weak_ptr<ArticleReader> session, ScreenTrail trail)
{
    if (bundleID == "com.amazon.Lassen" || bundleID == "com.apple.iBooksX")
        return [bundleID, session](PageCompletion completion) { turnPage(bundleID, std::move(completion), whileReading(session)); };
    if (bundleID != "com.microsoft.Word")
        return {};
    // Each scroll goes on from where the one before left the reading.
    auto reached = std::make_shared<ScreenTrail>(std::move(trail));
    return [bundleID, session, reached](PageCompletion completion) {
        auto reader = session.lock();
        if (!reader) {
            completion(std::nullopt);
            return;
        }
        std::vector<std::string> lastTexts;
        for (const ArticleParagraph& paragraph : reader->paragraphs())
            lastTexts.push_back(paragraph.text);
        scrollPage(bundleID, std::move(lastTexts), std::move(completion), whileReading(session), reached);
    };
}

} // namespace lorvantine::CLIRouter
