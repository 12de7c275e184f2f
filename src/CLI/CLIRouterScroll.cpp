#include "CLI/CLIRouter.h"

#include "Accessibility/AXReader.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Documents/WordSource.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/WindowServerPort.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>

namespace lorvantine::CLIRouter {

namespace {

constexpr const char* wordScrollID = "com.microsoft.Word";
constexpr uint16_t pageDownKey = 121;
constexpr int scrollAttempts = 5;
constexpr int enrichAttempts = 5;
constexpr int enrichMissesToStop = 3;
constexpr size_t enrichEnough = 100;

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

size_t totalCharacters(const std::vector<ArticleParagraph>& paragraphs)
{
    size_t total = 0;
    for (const ArticleParagraph& paragraph : paragraphs)
        total += Text::characterCount(paragraph.text);
    return total;
}

std::vector<std::string> textsOf(const std::vector<ArticleParagraph>& paragraphs)
{
    std::vector<std::string> texts;
    for (const ArticleParagraph& paragraph : paragraphs)
        texts.push_back(paragraph.text);
    return texts;
}

void renumber(std::vector<ArticleParagraph>& paragraphs)
{
    for (size_t i = 0; i < paragraphs.size(); ++i)
        paragraphs[i].index = static_cast<int>(i);
}

// Where the document of `window` stands; for Word only the part of its scroll area that is
// recognised counts as shown.
std::optional<ScrollPosition> documentPosition(const std::string& bundleID, const AXElement& window)
{
    auto position = ScrollPosition::read(window);
    if (!position || bundleID != wordScrollID)
        return position;
    if (auto frame = AXReader::rect(window)) {
        const Rect shown = position->viewport.intersection(WordSource::contentRect(*frame));
        if (!shown.isEmpty())
            position->viewport = shown;
    }
    return position;
}

// One reading of the window: its paragraphs (none when no source could read it) and where its
// document stood (none when that cannot be read).
struct Screen {
    std::optional<std::vector<ArticleParagraph>> paragraphs;
    std::optional<ScrollPosition> position;
};

Screen readScreen(const std::string& bundleID)
{
    Screen screen;
    auto session = DocumentSourceRegistry::detect(bundleID);
    std::optional<AXElement> window = session ? std::optional<AXElement>(session->windowElement()) : AXReader::frontWindowOf(bundleID);
    if (session) {
        screen.paragraphs.emplace();
        for (const ReadableParagraph& paragraph : session->paragraphs())
            screen.paragraphs->push_back(paragraph.toArticleParagraph());
    }
    if (window)
        screen.position = documentPosition(bundleID, *window);
    return screen;
}

struct ScrollJob {
    std::string bundleID;
    std::string tag;
    ProcessID pid = 0;
    std::vector<std::string> lastTexts;
    std::function<bool()> stillWanted;
    ScreenTrail trail;
};

// What one screen adds to what was read, and whether it is in document points.
struct Added {
    // None when the window (or, once the document's place is followed, its place) could not be read.
    std::optional<std::vector<ArticleParagraph>> paragraphs;
    // Set when `paragraphs` are in document points: where the screen showed them.
    std::optional<ScrollPosition> position;
    int repeats = 0;
};

// By where the screen's lines stand once `trail` follows the document's place; else by text that
// repeats neither the end of `shownBefore` (the texts of the screen before) nor that of `lastTexts`
// (those just read).
Added newOnScreen(const Screen& screen, ScreenTrail& trail, const std::vector<std::string>& shownBefore,
                  const std::vector<std::string>& lastTexts)
{
    Added added;
    if (trail.hasStarted()) {
        if (!screen.position)
            return added;
        added.position = screen.position;
        // A press that moved nothing: the end of the document, where nothing more of a held
        // paragraph can show.
        if (trail.isAt(*screen.position)) {
            if (auto held = trail.release())
                added.paragraphs = std::vector<ArticleParagraph> { std::move(*held) };
            else if (screen.paragraphs)
                added.paragraphs.emplace();
            return added;
        }
        auto paragraphs = trail.advance(screen.paragraphs.value_or(std::vector<ArticleParagraph> {}), *screen.position);
        added.repeats = trail.lastRepeats();
        if (screen.paragraphs || !paragraphs.empty())
            added.paragraphs = std::move(paragraphs);
        return added;
    }
    if (!screen.paragraphs)
        return added;
    RepeatedLead byScreen = dropRepeatedLead(*screen.paragraphs, shownBefore);
    RepeatedLead byList = dropRepeatedLead(*screen.paragraphs, lastTexts);
    RepeatedLead& kept = totalCharacters(byScreen.rest) <= totalCharacters(byList.rest) ? byScreen : byList;
    added.repeats = kept.wholeDropped;
    added.paragraphs = std::move(kept.rest);
    return added;
}

// The next screen's new paragraphs, or none at the end, after a failure, or once nobody wants them.
std::optional<std::vector<ArticleParagraph>> scrollForNewText(ScrollJob& job)
{
    const TimePoint started = Clock::current().now();
    auto say = [&](const std::string& message) { Log::line("[" + job.tag + "] 📜 " + message); };
    // Without the document's place, a screen is compared with the whole screen before it (what was
    // left out of it as a repeat included), not only with the texts just read.
    std::vector<std::string> shownBefore;
    if (!job.trail.hasStarted()) {
        // Nothing known of the screen read last: it is the one showing now, read to its foot.
        Screen shown = readScreen(job.bundleID);
        if (shown.position)
            job.trail.advance(shown.paragraphs.value_or(std::vector<ArticleParagraph> {}), *shown.position);
        else if (shown.paragraphs)
            shownBefore = textsOf(*shown.paragraphs);
    }
    for (int attempt = 1; attempt <= scrollAttempts; ++attempt) {
        if (job.stillWanted && !job.stillWanted()) {
            say("阅读已停止，不再滚动");
            return std::nullopt;
        }
        sendScrollDown(job.bundleID, job.pid);
        Clock::current().sleep(seconds(0.4));
        Screen screen = readScreen(job.bundleID);
        Added added = newOnScreen(screen, job.trail, shownBefore, job.lastTexts);
        if (screen.paragraphs)
            shownBefore = textsOf(*screen.paragraphs);
        if (added.repeats >= 1)
            say("去重: 跳过前 " + std::to_string(added.repeats) + " 段（与上页末尾重叠）");
        auto& paragraphs = added.paragraphs;
        if (paragraphs && added.position)
            paragraphs = ScreenTrail::placed(std::move(*paragraphs), *added.position);
        if (paragraphs && !paragraphs->empty()) {
            renumber(*paragraphs);
            say("滚动成功 (" + std::to_string(scrollElapsedMs(started)) + "ms, 尝试 " + std::to_string(attempt) + " 次)，"
                + std::to_string(paragraphs->size()) + " 段（去重后）");
            return paragraphs;
        }
        if (attempt < scrollAttempts) {
            say(paragraphs ? "滚动 #" + std::to_string(attempt) + " 无新内容（可能是图片/空白区域），继续滚动..."
                           : "滚动 #" + std::to_string(attempt) + " 检测失败，继续尝试...");
            continue;
        }
        // The end: a paragraph still held back is all that is left of the document.
        if (auto held = job.trail.release()) {
            say("末段在最后一屏，直接朗读");
            return std::vector<ArticleParagraph> { ScreenTrail::withoutPlace(std::move(*held)) };
        }
        if (paragraphs)
            say("滚动 " + std::to_string(scrollAttempts) + " 次后无新内容 (" + std::to_string(scrollElapsedMs(started)) + "ms)，已到末尾");
        else
            say("滚动 " + std::to_string(scrollAttempts) + " 次后检测失败");
    }
    return std::nullopt;
}

} // namespace

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
                std::function<bool()> stillWanted, std::shared_ptr<ScreenTrail> trail)
{
    ScrollJob job { bundleID, scrollTagFor(bundleID), 0, std::move(lastParagraphTexts), std::move(stillWanted),
                    trail ? *trail : ScreenTrail() };
    auto app = AXReader::findApp(bundleID);
    if (!app) {
        Log::line("[" + job.tag + "] 📜 未找到进程");
        completion(std::nullopt);
        return;
    }
    job.pid = app->pid;
    DispatchQueue::global(QualityOfService::userInitiated)
        .async([job = std::move(job), completion = std::move(completion), trail = std::move(trail)]() mutable {
            auto paragraphs = scrollForNewText(job);
            DispatchQueue::main().async([completion = std::move(completion), paragraphs = std::move(paragraphs), trail = std::move(trail),
                                         reached = std::move(job.trail)]() mutable {
                if (trail)
                    *trail = std::move(reached);
                completion(std::move(paragraphs));
            });
        });
}

std::vector<ArticleParagraph> enrichSparseContent(const std::string& bundleID, std::vector<ArticleParagraph> initialParas, ScreenTrail* trailOut)
{
    if (bundleID != wordScrollID)
        return initialParas;
    auto app = AXReader::findApp(bundleID);
    if (!app)
        return initialParas;

    // The list is kept in document points while the document's place can be read, and placed on
    // the screen it ends on; otherwise it is kept as read, and what was read before a press that
    // moved the document by an unknown distance loses its place.
    ScreenTrail trail;
    std::optional<ScrollPosition> position;
    if (auto window = AXReader::frontWindowOf(bundleID))
        position = documentPosition(bundleID, *window);
    std::vector<std::string> shownBefore = textsOf(initialParas);
    std::vector<ArticleParagraph> list = position ? trail.advance(initialParas, *position) : std::move(initialParas);
    auto finish = [&] {
        if (list.empty())
            if (auto held = trail.release())
                list.push_back(std::move(*held));
        if (trail.hasStarted() && position)
            list = ScreenTrail::placed(std::move(list), *position);
        renumber(list);
        if (trailOut)
            *trailOut = trail;
        return list;
    };
    const size_t initialTotal = totalCharacters(list);
    if (initialTotal >= enrichEnough)
        return finish();
    Log::line("[OCR-enrich] 内容稀疏 (" + std::to_string(initialTotal) + " 字), 预滚动获取更多内容...");

    int misses = 0;
    for (int attempt = 1; attempt <= enrichAttempts; ++attempt) {
        sendScrollDown(bundleID, app->pid);
        Clock::current().sleep(seconds(0.5));
        Screen screen = readScreen(bundleID);
        Added added = newOnScreen(screen, trail, shownBefore, textsOf(list));
        if (screen.paragraphs)
            shownBefore = textsOf(*screen.paragraphs);
        auto& paragraphs = added.paragraphs;
        if (added.position)
            position = added.position;
        else
            std::transform(list.begin(), list.end(), list.begin(), [](const ArticleParagraph& paragraph) {
                return ScreenTrail::withoutPlace(paragraph);
            });
        if (paragraphs && !paragraphs->empty()) {
            for (ArticleParagraph& paragraph : *paragraphs)
                list.push_back(std::move(paragraph));
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
    return finish();
}

} // namespace lorvantine::CLIRouter
