#include "CLI/SelectionProbeRunner.h"

#include "CLI/ReportFiles.h"
#include "CLI/SelectionProbeJson.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Services.h"
#include "Support/Files.h"
#include "Support/Format.h"
#include "Support/Log.h"

#include <cstdio>

namespace lorvantine::SelectionProbeRunner {

namespace {

const std::string separatorLine = "\n━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━";
const std::string noTextElementReason
    = "未找到含 `<<P1>>` 的 AXTextArea/AXTextField —— body 可能是 AXWebArea（WebKit-based，非 Tier 1 原生 AX 选区）";

// Seven failures for an application whose text element was never found.
std::vector<ProbeResult> noTextElementResults(const AppConfig& app)
{
    std::vector<ProbeResult> results;
    for (const Scenario& scenario : scenarios()) {
        ProbeResult r;
        r.bundleID = app.bundleID;
        r.appName = app.name;
        r.scenario = scenario.name;
        r.failReasons = { noTextElementReason };
        results.push_back(std::move(r));
    }
    return results;
}

// A baseline is only worth keeping when its application produced something that passed: a
// baseline of nothing, or of failures, would make every other application look equivalent.
bool isUsableBaseline(const std::vector<ProbeResult>& results, const std::string& appName)
{
    for (const ProbeResult& r : results)
        if (r.appName == appName && r.verdict != "FAIL")
            return true;
    return false;
}

} // namespace

const std::vector<Scenario>& scenarios()
{
    static const std::vector<Scenario> all {
        { "single_line", "<<P1>>", "<</P1>>", false }, { "multi_line", "<<P2>>", "<</P2>>", true },
        { "cjk_mixed", "<<P3>>", "<</P3>>", false },   { "long_english", "<<P4>>", "<</P4>>", false },
        { "long_cjk", "<<P5>>", "<</P5>>", false },    { "emoji_mixed", "<<P6>>", "<</P6>>", false },
        { "edge_spaces", "<<P7>>", "<</P7>>", false },
    };
    return all;
}

std::optional<RunningApplication> launch(const AppConfig& app, const std::string& fixturePath, const Environment& environment)
{
    switch (app.setup.value_or(SetupMode::file)) {
    case SetupMode::file:
        return launchWithFile(app.bundleID, fixturePath);
    case SetupMode::pasteNewWindow:
        return launchAndPaste(app.bundleID, fixturePath);
    case SetupMode::appleScript:
        if (!app.script) {
            Log::line("  ❌ setup=apple-script 但未配置 script 字段");
            return std::nullopt;
        }
        return launchWithAppleScript(app.bundleID, fixturePath, environment.resolve(*app.script).string());
    }
    return std::nullopt;
}

namespace {
Environment& installedEnvironment()
{
    static Environment environment;
    return environment;
}
} // namespace

const Environment& commandEnvironment() { return installedEnvironment(); }

Environment installCommandEnvironment(Environment environment)
{
    std::swap(installedEnvironment(), environment);
    return environment;
}

std::filesystem::path Environment::resolve(const std::string& path) const
{
    std::filesystem::path given(path);
    if (given.is_absolute())
        return given;
    std::error_code ignored;
    const std::filesystem::path base = directory.empty() ? std::filesystem::current_path(ignored) : directory;
    return base / given;
}

std::string Environment::now() const
{
    return Format::iso8601(wallClock ? wallClock() : std::chrono::system_clock::now());
}

int run(const std::string& configPath, const Environment& environment)
{
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    auto text = Files::readInputFile(configPath);
    if (!text) {
        Log::line("❌ 无法读取 matrix 配置: " + configPath);
        Log::line("   " + text.error().message);
        return 1;
    }
    auto config = SelectionProbeJson::decodeConfig(*text);
    if (!config) {
        Log::line("❌ matrix 配置 JSON 解析失败");
        Log::line("   " + config.error());
        return 1;
    }
    Log::line("🔬 Selection Probe — " + std::to_string(config->apps.size()) + " 个 App");

    std::vector<ProbeResult> results;
    std::vector<std::string> silent; // applications that contributed nothing
    for (const AppConfig& app : config->apps) {
        std::vector<ProbeResult> appResults = probeApp(app, environment);
        if (appResults.empty())
            silent.push_back(app.name);
        results.insert(results.end(), appResults.begin(), appResults.end());
    }

    bool written = true;
    for (const AppConfig& app : config->apps) {
        if (!app.isBaseline.value_or(false))
            continue;
        if (isUsableBaseline(results, app.name))
            written = saveBaseline(results, app.name, app.bundleID, environment);
        else
            Log::line("⚠️  基准未保存: " + app.name + " 没有结果或全部 FAIL，保留原有 probe-baseline.json");
        break;
    }
    written = writeJSONReport(results, environment) && written;
    written = writeMarkdownReport(results, environment) && written;

    int passes = 0, partials = 0, failures = 0;
    for (const ProbeResult& r : results) {
        passes += r.verdict == "PASS";
        partials += r.verdict == "PARTIAL";
        failures += r.verdict == "FAIL";
    }
    Log::line(separatorLine);
    Log::line("📊 Total " + std::to_string(results.size()) + ": ✅ " + std::to_string(passes) + " PASS  ⚠️  "
              + std::to_string(partials) + " PARTIAL  ❌ " + std::to_string(failures) + " FAIL");
    for (const std::string& name : silent)
        Log::line("❌ " + name + " 没有产生任何结果");
    return failures > 0 || !silent.empty() || !written ? 1 : 0;
}

std::vector<ProbeResult> probeApp(const AppConfig& app, const Environment& environment)
{
    Log::line(separatorLine);
    Log::line("🎯 " + app.name + " (" + app.bundleID + ")");
    const std::string fixturePath = environment.resolve(app.fixture).string();
    std::error_code error;
    if (!std::filesystem::exists(fixturePath, error)) {
        Log::line("  ❌ fixture 不存在: " + fixturePath);
        return {};
    }
    auto running = launch(app, fixturePath, environment);
    if (!running) {
        Log::line("  ❌ " + app.bundleID + " 未能启动 / 加载 fixture");
        return {};
    }

    std::vector<ProbeResult> results;
    auto found = waitForFocusedTextWithContent(app.bundleID, "<<P1>>", 15);
    if (!found) {
        Log::line("  ❌ " + noTextElementReason);
        results = noTextElementResults(app);
        for (const ProbeResult& r : results)
            printVerdict(r);
    } else {
        for (const Scenario& scenario : scenarios()) {
            results.push_back(probeScenario(scenario, found->first, found->second, app));
            printVerdict(results.back());
        }
    }
    runCleanup(app.cleanup, app.bundleID);
    if (app.keepAlive == false)
        Platform::workspace().terminate(running->pid);
    Clock::current().sleep(seconds(0.3));
    return results;
}

bool writeJSONReport(const std::vector<ProbeResult>& results, const Environment& environment)
{
    auto json = SelectionProbeJson::encodeResults(results);
    if (!json)
        return true;
    const std::filesystem::path path = environment.resolve("probe-report.json");
    if (!ReportFiles::write(path.string(), *json))
        return false;
    Log::line("\n📄 JSON:     " + path.string());
    return true;
}

bool saveBaseline(const std::vector<ProbeResult>& results, const std::string& appName, const std::string& bundleID,
                  const Environment& environment)
{
    BaselineFingerprint baseline { appName, bundleID, environment.now(), {} };
    for (const ProbeResult& r : results) {
        if (r.appName != appName)
            continue;
        baseline.scenarios[r.scenario] = ScenarioFingerprint { r.bfrCharCoverage, r.stringForRangeCharCoverage,
                                                               r.randomRangeConsistency, r.lineDetectionMode, r.cjkBFRValid };
    }
    auto json = SelectionProbeJson::encodeBaseline(baseline);
    if (!json)
        return true;
    if (!ReportFiles::write(environment.resolve("probe-baseline.json").string(), *json))
        return false;
    Log::line("🔷 基准已保存: probe-baseline.json (app=" + appName + ")");
    return true;
}

bool writeMarkdownReport(const std::vector<ProbeResult>& results, const Environment& environment)
{
    const std::filesystem::path baselinePath = environment.resolve("probe-baseline.json");
    std::optional<BaselineFingerprint> baseline;
    if (auto text = Files::readInputFile(baselinePath.string()))
        baseline = SelectionProbeJson::decodeBaseline(*text);
    const std::filesystem::path path = environment.resolve("probe-report.md");
    if (!ReportFiles::write(path.string(), markdownReport(results, baseline, environment.now())))
        return false;
    Log::line("📄 Markdown: " + path.string());
    return true;
}

} // namespace lorvantine::SelectionProbeRunner
