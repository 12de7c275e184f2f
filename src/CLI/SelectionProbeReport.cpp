#include "CLI/SelectionProbeRunner.h"

#include "Support/Format.h"
#include "Support/Text.h"

#include <map>

namespace lorvantine::SelectionProbeRunner {

namespace {

std::string percentOf(double share) { return Format::fixed(share * 100, 1) + "%"; }
std::string wholePercentOf(double share) { return Format::fixed(share * 100, 0) + "%"; }

std::string row(const std::vector<std::string>& cells)
{
    std::string line = "|";
    for (const std::string& cell : cells)
        line += " " + cell + " |";
    return line + "\n";
}

std::string verdictMark(const std::string& verdict)
{
    return verdict == "PASS" ? "✅" : verdict == "PARTIAL" ? "⚠️" : "❌";
}

std::string tick(bool yes) { return yes ? "✓" : "✗"; }

std::string offsets(const std::vector<int64_t>& list)
{
    std::string text = "[";
    for (size_t i = 0; i < list.size(); ++i)
        text += (i ? ", " : "") + std::to_string(list[i]);
    return text + "]";
}

// Text quoted in a Markdown list item: cut to 80 Characters; a line break would end the item and
// a backtick the code span, so they are written as "↵" and "\`".
std::string quotedText(const std::string& text)
{
    std::string out;
    for (const std::string& character : Text::characters(Text::characterPrefix(text, 80))) {
        if (character == "\n" || character == "\r\n" || character == "\r")
            out += "↵";
        else if (character == "`")
            out += "\\`";
        else
            out += character;
    }
    return "`" + out + "`";
}

void appendOverview(std::string& out, const std::vector<ProbeResult>& results)
{
    out += "## 概览\n\n";
    out += "| App | Scenario | Role | Set | Text | Range | BFR-1 | BFR-N | Lines | Verdict |\n";
    out += "|-----|----------|------|-----|------|-------|-------|-------|-------|---------|\n";
    for (const ProbeResult& r : results) {
        const std::string text = r.textMatchesExpected ? "✓" : r.readBackTextOK ? "≠" : "✗";
        const std::string range = r.rangeMatchesSet ? "✓" : r.readBackRangeOK ? "≠" : "✗";
        out += row({ r.appName, r.scenario, r.focusedRole.value_or("?"), tick(r.setRangeOK), text, range,
                     tick(r.firstCharRectValid), tick(r.fullRangeRectValid), std::to_string(r.lineCount),
                     verdictMark(r.verdict) + " " + r.verdict });
    }
}

void appendFingerprints(std::string& out, const std::vector<ProbeResult>& results)
{
    out += "\n## 指纹（数据形状）\n\n";
    out += "| App | Scenario | BFR-Cov | Str-Cov | Rand | LineDet | CJK | Verdict |\n";
    out += "|-----|----------|---------|---------|------|---------|-----|---------|\n";
    for (const ProbeResult& r : results) {
        const std::string cjk = !r.cjkBFRValid ? "—" : tick(*r.cjkBFRValid);
        out += row({ r.appName, r.scenario, percentOf(r.bfrCharCoverage), percentOf(r.stringForRangeCharCoverage),
                     wholePercentOf(r.randomRangeConsistency), r.lineDetectionMode, cjk, verdictMark(r.verdict) });
    }
}

void appendEquivalence(std::string& out, const std::vector<ProbeResult>& results, const BaselineFingerprint& baseline)
{
    out += "\n## 等价判定（vs 基准 " + baseline.appName + "）\n\n";
    out += "| App | 维度达标 | 判定 | 差异 |\n";
    out += "|-----|---------|------|------|\n";
    std::map<std::string, std::vector<ProbeResult>> groups; // ascending by name
    for (const ProbeResult& r : results)
        groups[r.appName].push_back(r);
    for (const auto& [name, group] : groups) {
        if (name == baseline.appName) {
            out += row({ name, "—", "🔷 BASELINE", "—" });
            continue;
        }
        const std::vector<std::string> differences = compareToBaseline(group, baseline);
        if (differences.empty()) {
            out += row({ name, "5/5", "✅ EQUIVALENT", "—" });
            continue;
        }
        std::string joined;
        for (const std::string& d : differences)
            joined += (joined.empty() ? "" : "; ") + d;
        out += row({ name, std::to_string(5 - static_cast<int64_t>(differences.size())) + "/5", "⚠️ NEEDS-MANUAL", joined });
    }
}

void appendFailures(std::string& out, const std::vector<ProbeResult>& results)
{
    out += "## Failures & Partials\n\n";
    for (const ProbeResult& r : results) {
        if (r.verdict == "PASS")
            continue;
        out += "### " + r.appName + " · " + r.scenario + " — " + r.verdict + "\n";
        for (const std::string& reason : r.failReasons)
            out += "- " + reason + "\n";
        if (!r.bfrHoleOffsets.empty())
            out += "- BFR 空洞采样（选区内偏移）: " + offsets(r.bfrHoleOffsets) + "\n";
        if (!r.stringForRangeMismatchOffsets.empty())
            out += "- StringForRange 不一致采样: " + offsets(r.stringForRangeMismatchOffsets) + "\n";
        if (!r.randomRangeFailures.empty()) {
            out += "- 随机 Range 失败采样:\n";
            for (const std::string& failure : r.randomRangeFailures)
                out += "  - " + failure + "\n";
        }
        if (r.readBackText && !r.textMatchesExpected) {
            out += "- readBackText: " + quotedText(*r.readBackText) + "\n";
            out += "- expected:     " + quotedText(r.expectedText) + "\n";
        }
        out += "\n";
    }
}

} // namespace

std::string markdownReport(const std::vector<ProbeResult>& results, const std::optional<BaselineFingerprint>& baseline,
                           const std::string& generatedAt)
{
    std::string out = "# Selection Probe Report\n\n";
    out += "Generated: " + generatedAt + "\n\n";
    appendOverview(out, results);
    appendFingerprints(out, results);
    if (baseline)
        appendEquivalence(out, results, *baseline);
    out += "\n## Legend\n";
    out += "- **Set** — `AXUIElementSetAttributeValue(kAXSelectedTextRangeAttribute)` 成功\n";
    out += "- **Text** — `kAXSelectedText` 读回和期望相等（≠ 读到但内容不符，✗ 读不到）\n";
    out += "- **Range** — `kAXSelectedTextRange` 读回和 set 的一致\n";
    out += "- **BFR-1 / BFR-N** — `AXBoundsForRange` 首字符 / 全范围返回非零矩形\n";
    out += "- **Lines** — `HighlightGeometry` 拆出的行数\n";
    out += "- **BFR-Cov** — 逐字符 BFR 非零矩形覆盖率（高亮基础，目标 ≥99%）\n";
    out += "- **Str-Cov** — 逐字符 AXStringForRange 一致率（文本读取，目标 ≥99%）\n";
    out += "- **Rand** — 10 组随机子区间 set→read 双向一致率（目标 ≥90%）\n";
    out += "- **LineDet** — 多行场景换行检测：exact/approx/off/n_a\n";
    out += "- **CJK** — CJK 字符 BFR 是否返回非零矩形（仅 CJK 场景）\n\n";
    appendFailures(out, results);
    return out;
}

std::vector<std::string> compareToBaseline(const std::vector<ProbeResult>& appResults, const BaselineFingerprint& baseline)
{
    std::vector<std::string> differences;
    for (const ProbeResult& r : appResults) {
        auto it = baseline.scenarios.find(r.scenario);
        if (it == baseline.scenarios.end())
            continue;
        const ScenarioFingerprint& f = it->second;
        const std::string tag = "[" + r.scenario + "] ";
        if (r.bfrCharCoverage + 0.01 < f.bfrCharCoverage)
            differences.push_back(tag + "BFR-Cov " + percentOf(r.bfrCharCoverage) + " < 基准 " + percentOf(f.bfrCharCoverage));
        if (r.stringForRangeCharCoverage + 0.01 < f.stringForRangeCharCoverage)
            differences.push_back(tag + "Str-Cov " + percentOf(r.stringForRangeCharCoverage) + " < 基准 "
                                  + percentOf(f.stringForRangeCharCoverage));
        if (r.randomRangeConsistency + 0.01 < f.randomRangeConsistency)
            differences.push_back(tag + "Rand " + percentOf(r.randomRangeConsistency) + " < 基准 "
                                  + percentOf(f.randomRangeConsistency));
        if (f.lineDetectionMode == "exact" && r.lineDetectionMode != "exact" && r.lineDetectionMode != "n_a")
            differences.push_back(tag + "LineDet=" + r.lineDetectionMode + " (基准=exact)");
        if (f.cjkBFRValid == true && r.cjkBFRValid == false)
            differences.push_back(tag + "CJK-BFR 无效 (基准有效)");
    }
    return differences;
}

} // namespace lorvantine::SelectionProbeRunner
