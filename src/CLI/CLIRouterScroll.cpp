#include "CLI/CLIRouter.h"

#include "Accessibility/AXReader.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/WindowServerPort.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <numeric>

namespace lorvantine::CLIRouter {

namespace {

constexpr const char* wordScrollID = "com.microsoft.Word";
constexpr uint16_t pageDownKey = 121;
constexpr int scrollAttempts = 5;
constexpr int enrichAttempts = 5;
constexpr int enrichMissesToStop = 3;
constexpr size_t enrichEnough = 100;
constexpr size_t overlapKeyLength = 30;
constexpr size_t fuzzyKeyMinimum = 6;
constexpr int fuzzyKeyMaxDistance = 3;
constexpr size_t cutParagraphSlack = 10;
constexpr size_t enrichLookBack = 5;

std::string scrollTagFor(const std::string& bundleID)
{
    if (bundleID == wordScrollID)
        return "Word";
    if (bundleID == "md.obsidian")
        return "Obsidian";
    if (bundleID == "notion.id")
        return "Notion";
    return "App";
}

long long scrollElapsedMs(TimePoint start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::current().now() - start).count();
}

std::string overlapKey(const std::string& text)
{
    std::string key = Text::trimmingWhitespacesAndNewlines(Text::characterPrefix(text, overlapKeyLength));
    key.erase(std::remove(key.begin(), key.end(), ' '), key.end());
    return key;
}

bool keysMatch(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    if (a == b)
        return true;
    return Text::characterCount(a) >= fuzzyKeyMinimum && Text::characterCount(b) >= fuzzyKeyMinimum
        && levenshteinDistance(a, b) <= fuzzyKeyMaxDistance;
}

std::optional<std::vector<ArticleParagraph>> readScreen(const std::string& bundleID)
{
    auto session = DocumentSourceRegistry::detect(bundleID);
    if (!session)
        return std::nullopt;
    std::vector<ArticleParagraph> paragraphs;
    for (const ReadableParagraph& paragraph : session->paragraphs())
        paragraphs.push_back(paragraph.toArticleParagraph());
    return paragraphs;
}

size_t totalCharacters(const std::vector<ArticleParagraph>& paragraphs)
{
    size_t total = 0;
    for (const ArticleParagraph& paragraph : paragraphs)
        total += Text::characterCount(paragraph.text);
    return total;
}

struct ScrollJob {
    std::string bundleID;
    std::string tag;
    ProcessID pid = 0;
    std::vector<std::string> lastTexts;
    std::function<bool()> stillWanted;
};

// The next screen's new paragraphs, or none at the end, after a failure, or once nobody wants them.
std::optional<std::vector<ArticleParagraph>> scrollForNewText(const ScrollJob& job)
{
    const TimePoint started = Clock::current().now();
    auto say = [&](const std::string& message) { Log::line("[" + job.tag + "] 📜 " + message); };
    for (int attempt = 1; attempt <= scrollAttempts; ++attempt) {
        if (job.stillWanted && !job.stillWanted()) {
            say("阅读已停止，不再滚动");
            return std::nullopt;
        }
        sendScrollDown(job.bundleID, job.pid);
        Clock::current().sleep(seconds(0.4));
        auto paragraphs = readScreen(job.bundleID);
        if (!paragraphs) {
            if (attempt == scrollAttempts) {
                say("滚动 " + std::to_string(scrollAttempts) + " 次后检测失败");
                return std::nullopt;
            }
            say("滚动 #" + std::to_string(attempt) + " 检测失败，继续尝试...");
            continue;
        }
        const int overlap = countOverlappingParagraphs(*paragraphs, job.lastTexts);
        if (overlap >= 1) {
            say("去重: 跳过前 " + std::to_string(overlap) + " 段（与上页末尾重叠）");
            paragraphs->erase(paragraphs->begin(), paragraphs->begin() + overlap);
            for (size_t i = 0; i < paragraphs->size(); ++i)
                (*paragraphs)[i].index = static_cast<int>(i);
        }
        if (!paragraphs->empty()) {
            say("滚动成功 (" + std::to_string(scrollElapsedMs(started)) + "ms, 尝试 " + std::to_string(attempt) + " 次)，"
                + std::to_string(paragraphs->size()) + " 段（去重后）");
            return paragraphs;
        }
        if (attempt == scrollAttempts) {
            say("滚动 " + std::to_string(scrollAttempts) + " 次后无新内容 (" + std::to_string(scrollElapsedMs(started))
                + "ms)，已到末尾");
            return std::nullopt;
        }
        say("滚动 #" + std::to_string(attempt) + " 无新内容（可能是图片/空白区域），继续滚动...");
    }
    return std::nullopt;
}

} // namespace

int levenshteinDistance(const std::string& a, const std::string& b)
{
    const std::vector<std::string> x = Text::characters(a);
    const std::vector<std::string> y = Text::characters(b);
    if (x.empty())
        return static_cast<int>(y.size());
    if (y.empty())
        return static_cast<int>(x.size());
    std::vector<int> row(y.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (size_t i = 1; i <= x.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (size_t j = 1; j <= y.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({ row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1) });
            diagonal = above;
        }
    }
    return row[y.size()];
}

int countOverlappingParagraphs(const std::vector<ArticleParagraph>& newParas, const std::vector<std::string>& lastTexts)
{
    if (newParas.empty() || lastTexts.empty())
        return 0;
    std::vector<std::string> lastKeys;
    for (const std::string& text : lastTexts)
        lastKeys.push_back(overlapKey(text));
    const size_t lastLength = Text::characterCount(lastTexts.back());
    int count = 0;
    for (const ArticleParagraph& paragraph : newParas) {
        const std::string key = overlapKey(paragraph.text);
        // The last text read may be only the top of a paragraph the screen cut off; the whole
        // paragraph on the new screen shares its key but still has its rest to read.
        const bool wholeOfCutParagraph = Text::characterCount(paragraph.text) > lastLength + cutParagraphSlack;
        bool matched = false;
        for (size_t i = 0; i < lastKeys.size() && !matched; ++i) {
            if (i + 1 == lastKeys.size() && wholeOfCutParagraph)
                continue;
            matched = keysMatch(key, lastKeys[i]);
        }
        if (!matched)
            break;
        ++count;
    }
    return count;
}

void sendScrollDown(const std::string& bundleID, ProcessID pid)
{
    (void)bundleID;
    WindowServerPort& server = Platform::windowServer();
    server.postToPid(pid, InputEvent::keyboard(EventSourceState::privateState, pageDownKey, true));
    Clock::current().sleep(seconds(0.05));
    server.postToPid(pid, InputEvent::keyboard(EventSourceState::privateState, pageDownKey, false));
    Log::line("[Scroll] Page Down → pid(" + std::to_string(pid) + ")");
}

void scrollPage(const std::string& bundleID, std::vector<std::string> lastParagraphTexts, PageCompletion completion,
                std::function<bool()> stillWanted)
{
    ScrollJob job { bundleID, scrollTagFor(bundleID), 0, std::move(lastParagraphTexts), std::move(stillWanted) };
    auto app = AXReader::findApp(bundleID);
    if (!app) {
        Log::line("[" + job.tag + "] 📜 未找到进程");
        completion(std::nullopt);
        return;
    }
    job.pid = app->pid;
    DispatchQueue::global(QualityOfService::userInitiated).async([job = std::move(job), completion = std::move(completion)]() mutable {
        auto paragraphs = scrollForNewText(job);
        DispatchQueue::main().async([completion = std::move(completion), paragraphs = std::move(paragraphs)]() mutable {
            completion(std::move(paragraphs));
        });
    });
}

std::vector<ArticleParagraph> enrichSparseContent(const std::string& bundleID, std::vector<ArticleParagraph> initialParas)
{
    if (bundleID != wordScrollID)
        return initialParas;
    const size_t initialTotal = totalCharacters(initialParas);
    if (initialTotal >= enrichEnough)
        return initialParas;
    auto app = AXReader::findApp(bundleID);
    if (!app)
        return initialParas;
    Log::line("[OCR-enrich] 内容稀疏 (" + std::to_string(initialTotal) + " 字), 预滚动获取更多内容...");

    std::vector<ArticleParagraph> list = std::move(initialParas);
    int misses = 0;
    for (int attempt = 1; attempt <= enrichAttempts; ++attempt) {
        sendScrollDown(bundleID, app->pid);
        Clock::current().sleep(seconds(0.5));
        auto paragraphs = readScreen(bundleID);
        if (paragraphs) {
            std::vector<std::string> lastTexts;
            for (size_t i = list.size() > enrichLookBack ? list.size() - enrichLookBack : 0; i < list.size(); ++i)
                lastTexts.push_back(list[i].text);
            const int overlap = countOverlappingParagraphs(*paragraphs, lastTexts);
            paragraphs->erase(paragraphs->begin(), paragraphs->begin() + overlap);
        }
        if (paragraphs && !paragraphs->empty()) {
            for (ArticleParagraph& paragraph : *paragraphs) {
                paragraph.index = static_cast<int>(list.size());
                list.push_back(std::move(paragraph));
            }
            const size_t total = totalCharacters(list);
            Log::line("[OCR-enrich] 预滚动 #" + std::to_string(attempt) + ": +" + std::to_string(paragraphs->size()) + " 段, 总计 "
                      + std::to_string(list.size()) + " 段 " + std::to_string(total) + " 字");
            if (total >= enrichEnough)
                break;
            misses = 0;
            continue;
        }
        if (++misses >= enrichMissesToStop)
            break;
        if (!paragraphs)
            Log::line("[OCR-enrich] 预滚动 #" + std::to_string(attempt) + ": 检测失败，继续...");
        else
            Log::line("[OCR-enrich] 预滚动 #" + std::to_string(attempt) + ": 无新内容（可能是图片区域），继续...");
    }
    return list;
}

} // namespace lorvantine::CLIRouter
