#include "CLI/EndToEndProbeRunner.h"

#include "CLI/ReportFiles.h"
#include "Support/Log.h"

#include <array>

namespace lorvantine::EndToEndProbeRunner {

namespace {

// The report's step columns, in running order.
constexpr std::array<const char*, 7> endToEndStepColumns { "launch",       "find_text",    "find_range",   "bfr_screen",
                                                          "bubble_shown", "bubble_press", "overlay_shown" };

std::string stepCell(const E2EResult& result, const char* name)
{
    for (const E2EStep& step : result.steps)
        if (step.name == name)
            return step.pass ? " ✓ |" : " ✗ |";
    return " — |";
}

} // namespace

void printE2EResult(const E2EResult& result)
{
    Log::line("\n  E2E " + result.app + ": " + (result.passed() ? "✅ PASS" : "❌ FAIL"));
    for (const E2EStep& step : result.steps) {
        std::string line = "    " + std::string(step.pass ? "✓" : "✗") + " " + step.name;
        if (step.reason && !step.reason->empty())
            line += " — " + *step.reason;
        Log::line(line);
    }
}

std::string markdownReport(const std::vector<E2EResult>& results, const std::string& generatedAt)
{
    std::string md = "# Selection E2E Probe Report\n\nGenerated: " + generatedAt + "\n\n";
    md += "## 步骤通关表\n\n";
    md += "| App | Launch | FindText | FindRange | BFR | Bubble | Press | Overlay | Verdict |\n";
    md += "|-----|--------|----------|-----------|-----|--------|-------|---------|---------|\n";
    for (const E2EResult& result : results) {
        md += "| " + result.app + " |";
        for (const char* column : endToEndStepColumns)
            md += stepCell(result, column);
        md += result.passed() ? " ✅ PASS |\n" : " ❌ FAIL |\n";
    }
    md += "\n## Failure Details\n\n";
    for (const E2EResult& result : results) {
        if (result.passed())
            continue;
        md += "### " + result.app + " · " + result.scenario + "\n";
        for (const E2EStep& step : result.steps)
            if (!step.pass)
                md += "- `" + step.name + "` — " + step.reason.value_or("") + "\n";
        md += "\n";
    }
    md += "\n## Legend\n";
    md += "- **Launch** — App 启动 + fixture 加载\n";
    md += "- **FindText** — AX 找到含 `<<P1>>` 的 AXTextArea\n";
    md += "- **FindRange** — marker 解析得到 CFRange\n";
    md += "- **BFR** — AXBoundsForRange 拿到首/末字符屏幕矩形\n";
    md += "- **Bubble** — Lorvantine SelectionBubble NSPanel（≈40×40）出现\n";
    md += "- **Press** — AX press ▶ 成功\n";
    // The Overlay step also waits for the first played segment in the program's log, so the
    // legend's "TTS started" holds.
    md += "- **Overlay** — HighlightOverlay 全屏 panel 出现（= TTS 启动）\n";
    return md;
}

bool writeReport(const std::vector<E2EResult>& results, const Environment& environment)
{
    const std::filesystem::path path = environment.files.resolve("probe-e2e-report.md");
    const bool written = ReportFiles::write(path.string(), markdownReport(results, environment.files.now()));
    int passing = 0;
    for (const E2EResult& result : results)
        passing += result.passed();
    if (written)
        Log::line("\n📄 E2E Report: " + path.string());
    Log::line("📊 Total " + std::to_string(results.size()) + ": ✅ " + std::to_string(passing) + " PASS  ❌ "
              + std::to_string(results.size() - passing) + " FAIL");
    return written;
}

} // namespace lorvantine::EndToEndProbeRunner
