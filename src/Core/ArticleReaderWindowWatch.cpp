#include "Core/ArticleReader.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/ArticleParser.h"
#include "Overlay/HighlightOverlay.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Player/MiniPlayer.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace lorvantine {

namespace {

constexpr Duration tickInterval = seconds(1.0);
constexpr int strikeLimit = 3;
constexpr double movementTolerance = 5;
constexpr double sizeTolerance = 10;
constexpr Duration restartDelay = seconds(1.5);
constexpr size_t booksFingerprintLength = 30;
constexpr const char* booksBundleID = "com.apple.iBooksX";
// Their reading windows are often not the main window of the application.
constexpr std::array<const char*, 3> alwaysMainBundleIDs { "com.apple.iBooksX", "com.apple.Preview", "com.amazon.Lassen" };

std::optional<bool> booleanAttribute(const AXElement& element, const char* name)
{
    AXValue value;
    if (Platform::accessibility().copyAttributeValue(element, name, value) != AXError::success)
        return std::nullopt;
    if (const bool* flag = axGet<bool>(value))
        return *flag;
    return std::nullopt;
}

bool differsBy(double a, double b, double tolerance) { return std::fabs(a - b) > tolerance; }

// Whether the Books reference element no longer shows the page the fingerprint was taken from.
bool booksPageTurned(const AXElement& window, const AXElement& reference, const std::string& fingerprint, int charOffset)
{
    auto referencePosition = AXReader::position(reference);
    auto windowPosition = AXReader::position(window);
    auto windowSize = AXReader::size(window);
    if (!referencePosition || !windowPosition || !windowSize)
        return true;

    const auto referenceSize = AXReader::size(reference);
    const double rightEdge = referencePosition->x + (referenceSize ? referenceSize->width : 0);
    if (rightEdge < windowPosition->x)
        return true;
    if (windowPosition->x + windowSize->width <= referencePosition->x)
        return true;

    const std::string expected = Text::characterPrefix(fingerprint, booksFingerprintLength);
    if (charOffset != 0) {
        // The offset is in UTF-16 units, and so must the length be.
        auto actual = AXReader::stringForRange(reference, charOffset, static_cast<int>(Text::utf16Count(expected)));
        return !actual || *actual != expected;
    }
    std::string value = AXReader::attribute(reference, AXName::value).value_or("");
    if (value.empty())
        value = AXReader::attribute(reference, AXName::description).value_or("");
    const std::string actual = Text::characterPrefix(value, Text::characterCount(expected));
    return actual.empty() || actual != expected;
}

bool isAlwaysMain(const std::string& bundleID)
{
    return std::any_of(alwaysMainBundleIDs.begin(), alwaysMainBundleIDs.end(), [&](const char* id) { return bundleID == id; });
}

} // namespace

struct ArticleReader::WatchSnapshot {
    AXElement window;
    std::string activeBundleID;
    std::string frontBundleID;
    bool hasWebArea = false;
    std::string currentWebAreaTitle;
    std::optional<AXElement> sharedTextElement;
    std::string sharedTextFingerprint;
    bool isAutoTurningPage = false;
    std::string booksPageFingerprint;
    std::optional<AXElement> booksReferenceElement;
    int booksReferenceCharOffset = 0;
    // Values only the main thread writes, read into the snapshot rather than across threads.
    Size initialWindowSize;
    std::optional<Point> lastWatchedWindowPos;
    int sizeChangeStrikes = 0;
    int contentSwitchStrikes = 0;
    int pageTurnStrikes = 0;
};

struct ArticleReader::WatchDecision {
    enum class Kind {
        miss,
        positionRead,
        windowPosition,
        resetStrikes,
        sizeStrike,
        sizeReset,
        articleSwitch,
        contentStrike,
        contentReset,
        pageTurnStrike,
        pageTurnReset,
        visibility,
    };
    Kind kind;
    Point position {};
    bool hidden = false;
    // The generation current when the window was probed: a decision about one reading never
    // touches the next.
    int generation = 0;
};

void ArticleReader::startWindowWatch()
{
    if (m_windowWatchTimer)
        m_windowWatchTimer->invalidate();
    m_windowWatchTimer = Timer::scheduled(tickInterval, Timer::Repeats::yes, [weak = weak_from_this()](Timer& timer) {
        if (auto self = weak.lock())
            self->windowWatchTick();
        else
            timer.invalidate();
    });
}

void ArticleReader::windowWatchTick()
{
    if (!m_watchedWindow)
        return;
    // A probe held up by a slow application would otherwise overlap the next and count twice.
    if (m_probeInFlight)
        return;

    WatchSnapshot snapshot;
    snapshot.window = *m_watchedWindow;
    snapshot.activeBundleID = m_activeBundleID;
    if (auto front = Platform::workspace().frontmostApplication())
        snapshot.frontBundleID = front->bundleIdentifier.value_or("");
    snapshot.hasWebArea = m_hasWebArea;
    snapshot.currentWebAreaTitle = m_currentWebAreaTitle;
    snapshot.sharedTextElement = m_sharedTextElement;
    snapshot.sharedTextFingerprint = m_sharedTextFingerprint;
    snapshot.isAutoTurningPage = m_isAutoTurningPage;
    snapshot.booksPageFingerprint = m_booksPageFingerprint;
    snapshot.booksReferenceElement = m_booksReferenceElement;
    snapshot.booksReferenceCharOffset = m_booksReferenceCharOffset;
    snapshot.initialWindowSize = m_initialWindowSize;
    snapshot.lastWatchedWindowPos = m_lastWatchedWindowPos;
    snapshot.sizeChangeStrikes = m_sizeChangeStrikes;
    snapshot.contentSwitchStrikes = m_contentSwitchStrikes;
    snapshot.pageTurnStrikes = m_pageTurnStrikes;

    const uint64_t serial = ++m_probeSerial;
    m_probeInFlight = serial;
    const int generation = m_generationId;
    std::weak_ptr<ArticleReader> weak = weak_from_this();
    DispatchQueue::global(QualityOfService::utility).async([weak, snapshot = std::move(snapshot), generation, serial] {
        probeWindow(snapshot, [weak, generation](WatchDecision decision) {
            decision.generation = generation;
            DispatchQueue::main().async([weak, decision] {
                if (auto self = weak.lock())
                    self->applyWatchDecision(decision);
            });
        });
        DispatchQueue::main().async([weak, serial] {
            auto self = weak.lock();
            if (self && self->m_probeInFlight == serial)
                self->m_probeInFlight.reset();
        });
    });
}

void ArticleReader::probeWindow(const WatchSnapshot& snapshot, const PostWatchDecision& post)
{
    using Kind = WatchDecision::Kind;
    const AXElement& window = snapshot.window;

    if (!AXReader::position(window)) {
        post({ Kind::miss });
        return;
    }
    post({ Kind::positionRead });

    const bool sameApp = snapshot.frontBundleID == snapshot.activeBundleID;
    const Point position = AXReader::position(window).value_or(Point {});
    const auto& last = snapshot.lastWatchedWindowPos;
    const bool moved
        = last && (differsBy(position.x, last->x, movementTolerance) || differsBy(position.y, last->y, movementTolerance));
    post({ Kind::windowPosition, position });

    if (!sameApp || moved) {
        // While the window moves or another application is in front, the checks start afresh.
        post({ Kind::resetStrikes });
    } else {
        if (auto size = AXReader::size(window)) {
            const Size& initial = snapshot.initialWindowSize;
            if (initial.width > 0
                && (differsBy(size->width, initial.width, sizeTolerance) || differsBy(size->height, initial.height, sizeTolerance)))
                post({ Kind::sizeStrike });
            else if (snapshot.sizeChangeStrikes > 0)
                post({ Kind::sizeReset });
        }

        if (snapshot.hasWebArea) {
            auto title = ArticleParser::currentArticleTitle(window);
            if (title && !snapshot.currentWebAreaTitle.empty() && *title != snapshot.currentWebAreaTitle) {
                post({ Kind::articleSwitch });
                return;
            }
        }

        if (snapshot.sharedTextElement && !snapshot.sharedTextFingerprint.empty() && !snapshot.isAutoTurningPage) {
            const std::string value = AXReader::attribute(*snapshot.sharedTextElement, AXName::value).value_or("");
            if (!value.empty() && !Text::hasPrefix(value, snapshot.sharedTextFingerprint))
                post({ Kind::contentStrike });
            else if (snapshot.contentSwitchStrikes > 0)
                post({ Kind::contentReset });
        }

        if (snapshot.activeBundleID == booksBundleID && !snapshot.isAutoTurningPage && !snapshot.booksPageFingerprint.empty()
            && snapshot.booksReferenceElement) {
            if (booksPageTurned(window, *snapshot.booksReferenceElement, snapshot.booksPageFingerprint,
                                snapshot.booksReferenceCharOffset))
                post({ Kind::pageTurnStrike });
            else if (snapshot.pageTurnStrikes > 0)
                post({ Kind::pageTurnReset });
        }
    }

    const bool minimized = booleanAttribute(window, AXName::minimized).value_or(false);
    const bool notMain = booleanAttribute(window, "AXMain") == false;
    WatchDecision visibility { Kind::visibility };
    visibility.hidden = !sameApp || minimized || (notMain && !isAlwaysMain(snapshot.activeBundleID));
    post(visibility);
}

void ArticleReader::applyWatchDecision(const WatchDecision& decision)
{
    if (!belongsToCurrentReading(decision.generation))
        return;

    using Kind = WatchDecision::Kind;
    switch (decision.kind) {
    case Kind::miss:
        countStrike(m_watchMissCount, "[ArticleReader] 窗口连续 3s 无响应，停止朗读");
        break;
    case Kind::positionRead:
        m_watchMissCount = 0;
        break;
    case Kind::windowPosition:
        m_lastWatchedWindowPos = decision.position;
        break;
    case Kind::resetStrikes:
        m_sizeChangeStrikes = m_contentSwitchStrikes = m_pageTurnStrikes = 0;
        break;
    case Kind::sizeStrike:
        countStrike(m_sizeChangeStrikes, "[ArticleReader] 🔄 窗口尺寸变化（连续3s），停止朗读");
        break;
    case Kind::sizeReset:
        m_sizeChangeStrikes = 0;
        break;
    case Kind::articleSwitch:
        Log::line("[ArticleReader] 🔄 文章已切换");
        stop();
        // Held until it runs: a stop meanwhile (the person closing the player, another reading
        // that begins and ends) cancels it, so what the person ended does not come back.
        m_pendingRestart = DispatchQueue::main().asyncAfter(restartDelay, [weak = weak_from_this()] {
            if (auto self = weak.lock())
                self->restartAfterArticleSwitch();
        });
        m_restartPending = true;
        break;
    case Kind::contentStrike:
        countStrike(m_contentSwitchStrikes, "[ArticleReader] 🔄 内容已切换（连续3s），停止朗读");
        break;
    case Kind::contentReset:
        m_contentSwitchStrikes = 0;
        break;
    case Kind::pageTurnStrike:
        countStrike(m_pageTurnStrikes, "[ArticleReader] 📖 检测到手动翻页（连续3s），停止朗读");
        break;
    case Kind::pageTurnReset:
        m_pageTurnStrikes = 0;
        break;
    case Kind::visibility:
        m_overlay->setHidden(decision.hidden);
        if (floatingPlayer)
            floatingPlayer->setHidden(decision.hidden);
        break;
    }
}

void ArticleReader::countStrike(int& strikes, const char* message)
{
    if (++strikes < strikeLimit)
        return;
    Log::line(message);
    endReadingBySelf();
}

void ArticleReader::restartAfterArticleSwitch()
{
    m_restartPending = false;
    if (m_isReading)
        return;
    auto article = ArticleParser::captureArticle(std::nullopt);
    if (!article || article->paragraphs.empty()) {
        Log::line("[ArticleReader] ❌ 找不到公号文章窗口");
        return;
    }
    // The person followed a link while listening: for whoever started the reading, this is still it.
    const int continued = m_readingNumber;
    startReading(article->title, article->window, std::move(article->paragraphs), "");
    if (m_isReading)
        m_readingNumber = continued;
}

} // namespace lorvantine
