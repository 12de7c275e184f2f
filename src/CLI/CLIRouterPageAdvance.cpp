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

std::function<void(PageCompletion)> pageAdvance(const std::string& bundleID, std::weak_ptr<ArticleReader> session)
{
    if (bundleID == "com.amazon.Lassen" || bundleID == "com.apple.iBooksX")
        return [bundleID, session](PageCompletion completion) { turnPage(bundleID, std::move(completion), whileReading(session)); };
    if (bundleID != "com.microsoft.Word")
        return {};
    return [bundleID, session](PageCompletion completion) {
        auto reader = session.lock();
        if (!reader) {
            completion(std::nullopt);
            return;
        }
        std::vector<std::string> lastTexts;
        for (const ArticleParagraph& paragraph : reader->paragraphs())
            lastTexts.push_back(paragraph.text);
        scrollPage(bundleID, std::move(lastTexts), std::move(completion), whileReading(session));
    };
}

} // namespace lorvantine::CLIRouter
