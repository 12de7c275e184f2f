#include "CLI/CLIRouter.h"

#include "Core/ArticleReader.h"

namespace lorvantine::CLIRouter {

std::function<void(PageCompletion)> pageAdvance(const std::string& bundleID, std::weak_ptr<ArticleReader> session, ScreenTrail trail)
{
    if (bundleID == "com.amazon.Lassen" || bundleID == "com.apple.iBooksX")
        return [bundleID](PageCompletion completion) { turnPage(bundleID, std::move(completion)); };
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
        // Pressing on after the reading stopped would scroll a document nobody is reading.
        scrollPage(bundleID, std::move(lastTexts), std::move(completion), [session] {
            auto alive = session.lock();
            return alive && alive->isReading();
        }, reached);
    };
}

} // namespace lorvantine::CLIRouter
