#include "Core/SelectionOCRDispatcher.h"

#include "Accessibility/AXReader.h"
#include "Core/ClipboardCapture.h"
#include "Core/SelectionGeometry.h"
#include "Documents/VisionOCR.h"
#include "Documents/SelectionFormat.h"
#include "Documents/SelectionOCRBuilder.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Support/Log.h"
#include "Support/Text.h"

namespace lorvantine {

namespace {

const std::vector<std::string> kRecognitionLanguages { "zh-Hans", "zh-Hant", "en" };

std::optional<std::string> dispatcherFrontBundleID()
{
    auto front = Platform::workspace().frontmostApplication();
    if (!front)
        return std::nullopt;
    return front->bundleIdentifier;
}

} // namespace

struct SelectionOCRDispatcher::Outcome {
    bool recognised = false; // any words at all
    std::optional<ArticleParagraph> paragraph;
    AXElement window;
    std::string bundleID;
    Point mouse;
};

SelectionOCRDispatcher& SelectionOCRDispatcher::shared()
{
    static SelectionOCRDispatcher* instance = new SelectionOCRDispatcher();
    return *instance;
}

void SelectionOCRDispatcher::cancel()
{
    if (!m_isRunning)
        return;
    ++m_generation;
    m_isRunning = false;
    m_timeout.cancel();
}

void SelectionOCRDispatcher::dispatch(const std::string& bundleID, Point mouseLocation)
{
    if (m_isRunning) {
        Log::line("[SelectionOCR] 已有任务在跑，忽略");
        return;
    }
    auto box = SelectionGeometry::shared().lastSelectionBBoxAX(horizontalPadding, verticalPadding);
    if (!box) {
        Log::line("[SelectionOCR] 无 mouseDown/mouseUp 记录或拖动过短，跳过");
        return;
    }
    auto front = Platform::workspace().frontmostApplication();
    if (!front || !front->bundleIdentifier || *front->bundleIdentifier != bundleID) {
        Log::line("[SelectionOCR] 前台 App 已变，跳过");
        return;
    }
    const AXElement application = Platform::accessibility().applicationElement(front->pid);
    std::optional<AXElement> window = AXReader::focusedWindow(application);
    if (!window) {
        auto windows = AXReader::windows(application);
        if (windows.empty()) {
            Log::line("[SelectionOCR] ❌ 找不到 " + bundleID + " 的窗口");
            return;
        }
        window = windows.front();
    }
    auto frame = AXReader::rect(*window);
    if (!frame)
        return;
    const Rect area = box->intersection(*frame);
    if (area.isEmpty() || area.width() <= 4 || area.height() <= 4) {
        Log::line("[SelectionOCR] 选区 bbox 与窗口无交集，跳过");
        return;
    }
    Log::line("[SelectionOCR] ▶ 启动: bundle=" + bundleID + ", bbox=" + SelectionFormat::rect(area));

    auto copied = ClipboardCapture::captureSelectionText(seconds(clipboardTimeout));
    if (!copied) {
        Log::line("[SelectionOCR] ⚠️ clipboard 为空，App 不响应 ⌘C，跳过（不显示朗读按钮）");
        return;
    }
    Log::line("[SelectionOCR] 📋 clipboard: " + std::to_string(Text::characterCount(*copied)) + " 字符");

    m_isRunning = true;
    const uint64_t generation = ++m_generation;
    m_timeout = DispatchQueue::main().asyncAfter(seconds(recognitionTimeout), [this, generation] {
        if (generation != m_generation || !m_isRunning)
            return;
        Log::line("[SelectionOCR] ⚠️ 识别超时 (" + std::to_string(static_cast<int>(recognitionTimeout)) + "s)，放弃");
        ++m_generation;
        m_isRunning = false;
    });

    // The dispatcher lives for the whole run (tests keep theirs until every queue is idle).
    DispatchQueue::global(QualityOfService::userInitiated)
        .async([this, generation, window = *window, text = *copied, bundleID, mouseLocation, area] {
            Outcome outcome { false, std::nullopt, window, bundleID, mouseLocation };
            auto words = VisionOCR::recognizeWords(area, window, kRecognitionLanguages);
            if (words && !words->empty()) {
                outcome.recognised = true;
                // The alignment costs words × words: never on the main thread.
                outcome.paragraph = SelectionOCRBuilder::build(text, *words, std::string(debugOverlayPath));
            }
            DispatchQueue::main().async([this, generation, outcome = std::move(outcome)] { finish(generation, outcome); });
        });
}

void SelectionOCRDispatcher::finish(uint64_t generation, const Outcome& outcome)
{
    if (generation != m_generation) {
        Log::line("[SelectionOCR] 结果已过期（选区已取消或超时），丢弃");
        return;
    }
    m_isRunning = false;
    m_timeout.cancel();
    if (!outcome.recognised) {
        Log::line("[SelectionOCR] ⚠️ OCR 无结果");
        return;
    }
    if (!outcome.paragraph) {
        Log::line("[SelectionOCR] 段落构建失败 → 不显示朗读按钮");
        return;
    }
    if (dispatcherFrontBundleID() != outcome.bundleID) {
        Log::line("[SelectionOCR] 前台 App 已变，丢弃结果");
        return;
    }
    const size_t count = Text::characterCount(Text::trimmingWhitespacesAndNewlines(outcome.paragraph->text));
    if (count < 2) {
        Log::line("[SelectionOCR] 文本过短 (" + std::to_string(count) + " 字符)，忽略");
        return;
    }
    if (onOCRSelection)
        onOCRSelection(*outcome.paragraph, outcome.window, outcome.bundleID, outcome.mouse);
}

} // namespace lorvantine
