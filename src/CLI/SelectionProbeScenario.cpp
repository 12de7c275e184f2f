#include "CLI/SelectionProbeRunner.h"

#include "Accessibility/AXReader.h"
#include "Core/HighlightGeometry.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Services.h"
#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>

namespace lorvantine::SelectionProbeRunner {

namespace {

constexpr int sampleLimit = 10;
constexpr int failureLimit = 3;

void pauseFor(double s) { Clock::current().sleep(seconds(s)); }

std::string percent(double share) { return Format::fixed(share * 100, 1) + "%"; }

bool isValidRect(const Rect& r) { return r.width() >= 1 || r.height() >= 1; }

AXError setRange(const AXElement& element, int64_t location, int64_t length)
{
    return Platform::accessibility().setAttributeValue(element, AXName::selectedTextRange, AXRange { location, length });
}

// A scenario whose markers are missing or enclose nothing: failed without asking anything.
ProbeResult markerFailure(const Scenario& scenario, const AppConfig& app)
{
    ProbeResult r;
    r.bundleID = app.bundleID;
    r.appName = app.name;
    r.scenario = scenario.name;
    r.failReasons = { "marker 未在 AX 文本中找到" };
    return r;
}

bool isIdeographUnit(char16_t unit) { return (unit >= 0x4E00 && unit <= 0x9FFF) || (unit >= 0x3400 && unit <= 0x4DBF); }

void measureCoverage(ProbeResult& r, const AXElement& element, int64_t start, const std::u16string& expected)
{
    AccessibilityPort& ax = Platform::accessibility();
    const int64_t length = static_cast<int64_t>(expected.size());
    int64_t covered = 0;
    int64_t matching = 0;
    for (int64_t i = 0; i < length; ++i) {
        AXValue bounds;
        const AXRange unit { start + i, 1 };
        const Rect* rect = nullptr;
        if (ax.copyParameterizedAttributeValue(element, AXName::boundsForRange, unit, bounds) == AXError::success)
            rect = axGet<Rect>(bounds);
        if (rect && isValidRect(*rect))
            ++covered;
        else if (r.bfrHoleOffsets.size() < sampleLimit)
            r.bfrHoleOffsets.push_back(i);

        AXValue text;
        const std::string want = Text::fromUtf16(expected.substr(static_cast<size_t>(i), 1));
        const std::string* got = nullptr;
        if (ax.copyParameterizedAttributeValue(element, AXName::stringForRange, unit, text) == AXError::success)
            got = axGet<std::string>(text);
        if (got && *got == want)
            ++matching;
        else if (r.stringForRangeMismatchOffsets.size() < sampleLimit)
            r.stringForRangeMismatchOffsets.push_back(i);
    }
    r.bfrCharCoverage = length > 0 ? static_cast<double>(covered) / static_cast<double>(length) : 0;
    r.stringForRangeCharCoverage = length > 0 ? static_cast<double>(matching) / static_cast<double>(length) : 0;
}

// Ten sub-ranges spread over the stretch, each set and read back.
void measureSubRanges(ProbeResult& r, const AXElement& element, int64_t start, int64_t length)
{
    if (length < 3) {
        r.randomRangeConsistency = 1.0;
        return;
    }
    int successes = 0;
    for (int64_t k = 0; k < 10; ++k) {
        const int64_t offset = (3 + 17 * k) % (length - 1);
        int64_t count = (1 + 7 * k) % std::min<int64_t>(length - offset, 20);
        if (count == 0)
            count = 1;
        const bool set = setRange(element, start + offset, count) == AXError::success;
        pauseFor(0.05);
        AXValue back;
        const bool read = Platform::accessibility().copyAttributeValue(element, AXName::selectedTextRange, back) == AXError::success;
        const AXRange* range = read ? axGet<AXRange>(back) : nullptr;
        if (set && range && range->location == start + offset && range->length == count) {
            ++successes;
            continue;
        }
        if (r.randomRangeFailures.size() >= failureLimit)
            continue;
        const std::string what = "loc=" + std::to_string(start + offset) + ",len=" + std::to_string(count) + ": ";
        if (set && range)
            r.randomRangeFailures.push_back(what + "back=(" + std::to_string(range->location) + ","
                                            + std::to_string(range->length) + ")");
        else
            r.randomRangeFailures.push_back(what + "set=" + (set ? "true" : "false") + " read=" + (read ? "true" : "false"));
    }
    r.randomRangeConsistency = successes / 10.0;
}

void addReasons(ProbeResult& r, bool expectMultiline)
{
    auto& reasons = r.failReasons;
    if (!r.setRangeOK)
        reasons.push_back("set range 失败");
    if (r.readBackTextOK && !r.textMatchesExpected)
        reasons.push_back("selected text 与期望不符");
    if (!r.readBackTextOK)
        reasons.push_back("selected text 读不回");
    if (!r.readBackRangeOK)
        reasons.push_back("range 读不回");
    if (r.readBackRangeOK && !r.rangeMatchesSet)
        reasons.push_back("range 与 set 不一致");
    if (!r.supportsBoundsForRange)
        reasons.push_back("不支持 AXBoundsForRange");
    if (!r.firstCharRectValid)
        reasons.push_back("首字符 rect 无效 (0×0)");
    if (!r.fullRangeRectValid)
        reasons.push_back("全范围 rect 无效 (0×0)");
    if (expectMultiline && r.lineCount < 2)
        reasons.push_back("multi_line 期望 ≥2 行，实得 " + std::to_string(r.lineCount));
    if (r.bfrCharCoverage < 0.99)
        reasons.push_back("BFR 字符级覆盖率 " + percent(r.bfrCharCoverage) + "（<99%，有空洞）");
    if (r.stringForRangeCharCoverage < 0.99)
        reasons.push_back("StringForRange 字符级覆盖率 " + percent(r.stringForRangeCharCoverage) + "（<99%）");
    if (r.randomRangeConsistency < 0.9)
        reasons.push_back("随机 Range 双向一致率 " + percent(r.randomRangeConsistency) + "（<90%）");
    if (r.cjkBFRValid == false)
        reasons.push_back("CJK 字符 BFR 返回零矩形");
    if (reasons.empty())
        r.verdict = "PASS";
    else if (r.textMatchesExpected && r.firstCharRectValid && r.bfrCharCoverage >= 0.8)
        r.verdict = "PARTIAL";
    else
        r.verdict = "FAIL";
}

} // namespace

ProbeResult probeScenario(const Scenario& scenario, const AXElement& textEl, const std::string& axText, const AppConfig& app)
{
    const std::u16string value = Text::toUtf16(axText);
    const size_t startAt = value.find(Text::toUtf16(scenario.startMarker));
    const size_t endAt = value.find(Text::toUtf16(scenario.endMarker));
    if (startAt == std::u16string::npos || endAt == std::u16string::npos)
        return markerFailure(scenario, app);
    const size_t afterStart = startAt + Text::utf16Count(scenario.startMarker);
    if (endAt <= afterStart)
        return markerFailure(scenario, app);

    const int64_t start = static_cast<int64_t>(afterStart);
    const int64_t length = static_cast<int64_t>(endAt - afterStart);
    const std::u16string expected = value.substr(afterStart, endAt - afterStart);
    AccessibilityPort& ax = Platform::accessibility();

    ProbeResult r;
    r.bundleID = app.bundleID;
    r.appName = app.name;
    r.scenario = scenario.name;
    r.expectedText = Text::fromUtf16(expected);
    r.expectedU16Length = length;
    r.focusedRole = AXReader::attribute(textEl, AXName::role);
    r.numberOfCharacters = AXReader::numberOfCharacters(textEl);
    const auto names = AXReader::parameterizedAttributeNames(textEl);
    r.supportsBoundsForRange = std::find(names.begin(), names.end(), AXName::boundsForRange) != names.end();

    r.setRangeOK = setRange(textEl, start, length) == AXError::success;
    pauseFor(0.2);
    AXValue selected;
    if (ax.copyAttributeValue(textEl, AXName::selectedText, selected) == AXError::success)
        if (const std::string* text = axGet<std::string>(selected)) {
            r.readBackText = *text;
            r.readBackTextOK = !text->empty();
            r.textMatchesExpected = *text == r.expectedText;
        }
    AXValue range;
    if (ax.copyAttributeValue(textEl, AXName::selectedTextRange, range) == AXError::success)
        if (const AXRange* back = axGet<AXRange>(range)) {
            r.readBackRangeOK = true;
            r.readBackRangeLocation = back->location;
            r.readBackRangeLength = back->length;
            r.rangeMatchesSet = back->location == start && back->length == length;
        }

    const auto first = AXReader::boundsForRange(textEl, static_cast<int>(start), 1);
    const auto full = AXReader::boundsForRange(textEl, static_cast<int>(start), static_cast<int>(length));
    r.firstCharRectValid = first.has_value();
    r.fullRangeRectValid = full.has_value();
    if (first && full)
        r.lineCount = static_cast<int64_t>(HighlightGeometry::computeLineRects(textEl, static_cast<int>(start), static_cast<int>(length),
                                                                               *full, HighlightGeometry::LastInParagraph::yes)
                                               .size());

    measureCoverage(r, textEl, start, expected);
    measureSubRanges(r, textEl, start, length);
    setRange(textEl, start, length);
    pauseFor(0.1);

    if (scenario.expectMultiline) {
        const int64_t expectedLines = 1 + std::count(r.expectedText.begin(), r.expectedText.end(), '\n');
        const int64_t off = std::abs(expectedLines - r.lineCount);
        r.lineDetectionMode = off == 0 ? "exact" : off == 1 ? "approx" : "off";
    }
    if (scenario.name == "cjk_mixed" || scenario.name == "long_cjk") {
        auto ideograph = std::find_if(expected.begin(), expected.end(), isIdeographUnit);
        if (ideograph != expected.end()) {
            const int offset = static_cast<int>(start + (ideograph - expected.begin()));
            const auto bounds = AXReader::boundsForRange(textEl, offset, 1);
            r.cjkBFRValid = bounds && bounds->width() > 0 && bounds->height() > 0;
        }
    }
    addReasons(r, scenario.expectMultiline);
    return r;
}

void printVerdict(const ProbeResult& r)
{
    const std::string mark = r.verdict == "PASS" ? "✅" : r.verdict == "PARTIAL" ? "⚠️ " : "❌";
    std::string line = "  " + mark + " " + r.scenario + ": " + r.verdict;
    if (!r.failReasons.empty()) {
        std::string joined;
        for (const std::string& reason : r.failReasons)
            joined += (joined.empty() ? "" : "; ") + reason;
        line += " [" + joined + "]";
    }
    line += " (role=" + r.focusedRole.value_or("?") + ", lines=" + std::to_string(r.lineCount) + ")";
    Log::line(line);
}

} // namespace lorvantine::SelectionProbeRunner
