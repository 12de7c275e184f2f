#include "CLI/CLIRouter.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/AXValueDescription.h"
#include "CLI/DiagnosticFormat.h"
#include "Documents/SelectionOCRBuilder.h"
#include "Documents/VisionOCR.h"
#include "Network/LanguageDetector.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <cstdio>

namespace lorvantine::CLIRouter {

namespace {

using DiagnosticFormat::integer;

constexpr size_t recognitionListedWords = 30;

// "  1. word                       (x,y wxh)", the way both recognition diagnostics list words.
std::string recognisedWordLine(size_t number, const RecognizedWord& word)
{
    char rank[32];
    std::snprintf(rank, sizeof rank, "%2zu", number);
    const Rect& r = word.screenRect;
    return std::string("  ") + rank + ". " + DiagnosticFormat::paddedPrefix(word.text, 25) + "  (" + integer(r.origin.x) + ","
        + integer(r.origin.y) + " " + integer(r.size.width) + "x" + integer(r.size.height) + ")";
}

std::optional<Rect> recognitionWindowRect(const AXElement& window)
{
    auto position = AXReader::position(window);
    auto size = AXReader::size(window);
    if (!position || !size)
        return std::nullopt;
    return Rect(*position, *size);
}

} // namespace

int routeProbeOCRWindow(const Arguments& args)
{
    auto bundleID = value(args, "--app");
    if (!bundleID) {
        Log::line("用法: --probe-ocr-window --app <bundleID>");
        return 1;
    }
    auto app = AXReader::findApp(*bundleID);
    if (!app) {
        Log::line("❌ 找不到运行中的 " + *bundleID);
        return 1;
    }
    Log::line("🎯 target: " + *bundleID + " pid=" + std::to_string(app->pid));
    Platform::workspace().activate(app->pid, WorkspacePort::ActivationOptions::none);
    Clock::current().sleep(seconds(1.0));

    auto window = DiagnosticFormat::windowOf(*app);
    if (!window) {
        Log::line("❌ 找不到 focused window");
        return 1;
    }
    auto rect = recognitionWindowRect(*window);
    if (!rect) {
        Log::line("❌ 无法读取窗口 pos/size");
        return 1;
    }
    Log::line("📐 窗口矩形: " + integer(rect->origin.x) + "," + integer(rect->origin.y) + " " + integer(rect->size.width) + "x"
              + integer(rect->size.height));

    const TimePoint started = Clock::current().now();
    auto words = VisionOCR::recognizeWords(*rect, *window, std::nullopt);
    const long long elapsed = DiagnosticFormat::millisecondsSince(started);
    if (!words) {
        Log::line("❌ OCR 失败");
        return 1;
    }
    Log::line("");
    Log::line("━━━ OCR 结果 ━━━");
    Log::line("词数: " + std::to_string(words->size()) + "  耗时: " + std::to_string(elapsed) + "ms");
    Log::line("");
    Log::line("前 30 个词 (text | rect):");
    for (size_t i = 0; i < std::min(words->size(), recognitionListedWords); ++i)
        Log::line(recognisedWordLine(i + 1, (*words)[i]));
    std::vector<std::string> texts;
    for (const RecognizedWord& word : *words)
        texts.push_back(word.text);
    Log::line("");
    Log::line("全文拼接 (前 500 字):");
    Log::line(Text::characterPrefix(Text::joined(texts, " "), 500));
    return 0;
}

int routeTestSelectionOCR(const Arguments& args)
{
    auto bundleID = value(args, "--app");
    if (!bundleID) {
        Log::line("用法: --test-selection-ocr --app <bundleID> --start X,Y --end X,Y [--overlay /tmp/out.png] [--languages en,zh-Hans]");
        return 1;
    }
    auto start = parsePoint(args, "--start");
    auto end = parsePoint(args, "--end");
    if (!start || !end) {
        Log::line("❌ 需要 --start X,Y --end X,Y");
        return 1;
    }
    const std::string imagePath = value(args, "--overlay").value_or("/tmp/lorvantine-selection-ocr.png");
    std::vector<std::string> languages { "zh-Hans", "zh-Hant", "en" };
    if (auto given = value(args, "--languages")) {
        languages.clear();
        for (const std::string& piece : Text::components(*given, ","))
            if (!piece.empty())
                languages.push_back(piece);
    }

    auto app = AXReader::findApp(*bundleID);
    if (!app) {
        Log::line("❌ 找不到 " + *bundleID);
        return 1;
    }
    Platform::workspace().activate(app->pid, WorkspacePort::ActivationOptions::none);
    Clock::current().sleep(seconds(0.6));
    auto window = DiagnosticFormat::windowOf(*app);
    if (!window) {
        Log::line("❌ 找不到 window");
        return 1;
    }
    auto windowRect = recognitionWindowRect(*window);
    if (!windowRect) {
        Log::line("❌ 无法读取窗口 pos/size");
        return 1;
    }

    const Rect box(std::min(start->x, end->x) - 100, std::min(start->y, end->y) - 8,
                   std::max(start->x, end->x) - std::min(start->x, end->x) + 200,
                   std::max(start->y, end->y) - std::min(start->y, end->y) + 16);
    const Rect area = box.intersection(*windowRect);
    if (area.isEmpty() || area.width() <= 4 || area.height() <= 4) {
        Log::line("❌ 选区与窗口无交集: sel=" + AXValueDescription::describe(box) + " win=" + AXValueDescription::describe(*windowRect));
        return 1;
    }
    Log::line("🎯 " + *bundleID + " win=" + integer(windowRect->origin.x) + "," + integer(windowRect->origin.y) + " "
              + integer(windowRect->size.width) + "×" + integer(windowRect->size.height));
    Log::line("   start=(" + integer(start->x) + "," + integer(start->y) + ") end=(" + integer(end->x) + "," + integer(end->y) + ")");
    Log::line("   OCR box=" + integer(area.origin.x) + "," + integer(area.origin.y) + " " + integer(area.size.width) + "×"
              + integer(area.size.height));

    const TimePoint started = Clock::current().now();
    auto words = VisionOCR::recognizeWords(area, *window, languages);
    const long long elapsed = DiagnosticFormat::millisecondsSince(started);
    if (!words) {
        Log::line("❌ OCR 无结果");
        return 1;
    }
    Log::line("");
    Log::line("━━━ OCR " + std::to_string(words->size()) + " 词, " + std::to_string(elapsed) + "ms ━━━");
    for (size_t i = 0; i < words->size(); ++i)
        Log::line(recognisedWordLine(i + 1, (*words)[i]));

    auto clipText = value(args, "--clip-text");
    if (!clipText) {
        Log::line("❌ --test-selection-ocr 需要 --clip-text <text> 参数");
        return 1;
    }
    Log::line("📋 使用 --clip-text: " + *clipText);

    // The builder writes its picture through a private temporary renamed over the path.
    auto paragraph = SelectionOCRBuilder::build(*clipText, *words, imagePath);
    if (!paragraph) {
        Log::line("❌ Builder 返回 nil");
        return 1;
    }
    Log::line("");
    Log::line("━━━ 段落结果 ━━━");
    Log::line("words=" + std::to_string(paragraph->ocrWordBboxes ? paragraph->ocrWordBboxes->size() : 0)
              + " chars=" + std::to_string(Text::characterCount(paragraph->text)));
    Log::line("text: " + paragraph->text);
    const bool chinese = LanguageDetector::detect(paragraph->text) == TextLanguage::zh;
    Log::line(std::string("语言: ") + (chinese ? "zh → voice=zf_001" : "en → voice=af_heart"));
    Log::line("诊断 PNG: " + imagePath);
    return 0;
}

} // namespace lorvantine::CLIRouter
