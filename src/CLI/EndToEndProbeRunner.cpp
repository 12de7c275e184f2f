#include "CLI/EndToEndProbeRunner.h"

#include "CLI/SelectionProbeJson.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Services.h"
#include "Support/Files.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <chrono>

namespace lorvantine::EndToEndProbeRunner {

namespace {

const std::string endToEndSeparator = "\n━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━━";

Environment& installedEndToEndEnvironment()
{
    static Environment environment;
    return environment;
}

// What the previous application may have left open: its reading, a menu, a selection.
void clearBetweenApps(ProcessID lorvantinePid)
{
    stopPlaybackAndDismiss(lorvantinePid);
    for (int i = 0; i < 3; ++i) {
        EndToEndProbeSupport::pressEscape();
        EndToEndProbeSupport::sleep(0.15);
    }
    EndToEndProbeSupport::sleep(1.0);
}

} // namespace

const Environment& commandEnvironment() { return installedEndToEndEnvironment(); }

Environment installCommandEnvironment(Environment environment)
{
    std::swap(installedEndToEndEnvironment(), environment);
    return environment;
}

std::filesystem::path fixtureCopyPath(const std::string& bundleID, const Environment& environment)
{
    const auto now = environment.files.wallClock ? environment.files.wallClock() : std::chrono::system_clock::now();
    const long long secondsSince1970 = std::chrono::duration_cast<std::chrono::seconds>(now.time_since_epoch()).count();
    std::string id = bundleID;
    std::replace(id.begin(), id.end(), '.', '_');
    return environment.copyDirectory / ("lorvantine-e2e-" + id + "-" + std::to_string(secondsSince1970) + ".txt");
}

int run(const std::string& configPath, const Environment& environment)
{
    if (!Platform::accessibility().isProcessTrusted(AccessibilityPort::Prompt::no)) {
        Log::line("❌ 缺少辅助功能权限");
        return 2;
    }
    auto lorvantine = EndToEndProbeSupport::findLorvantine();
    if (!lorvantine) {
        Log::line("❌ Lorvantine 主程序没跑。请在另一个终端启动：");
        Log::line("   开发版: " + EndToEndProbeSupport::startCommand(environment.logPath));
        Log::line("   已安装: open -b " + std::string(EndToEndProbeSupport::programBundleID) + " --stderr " + environment.logPath);
        return 2;
    }
    Log::line("✅ Lorvantine pid=" + std::to_string(lorvantine->pid) + " name=" + lorvantine->localizedName.value_or("?"));

    auto text = Files::readInputFile(environment.files.resolve(configPath).string());
    if (!text) {
        Log::line("❌ 无法读取 matrix: " + configPath);
        Log::line("   " + text.error().message);
        return 2;
    }
    auto config = SelectionProbeJson::decodeConfig(*text);
    if (!config) {
        Log::line("❌ 无法解析 matrix JSON: " + configPath);
        return 2;
    }
    // Whether speech started is read from the program's log: without it every run would fail.
    if (!EndToEndProbeSupport::checkLogFile(environment.logPath))
        return 2;
    Log::line("🔬 End-to-End Probe — " + std::to_string(config->apps.size()) + " 个 App（每 App 只跑 single_line 场景）");

    std::vector<E2EResult> results;
    for (const SelectionProbeRunner::AppConfig& app : config->apps) {
        Log::line(endToEndSeparator);
        Log::line("🎯 " + app.name + " (" + app.bundleID + ")");
        if (!results.empty())
            clearBetweenApps(lorvantine->pid);
        const uint64_t logOffset = EndToEndProbeSupport::logSize(environment.logPath);
        results.push_back(runE2E(app, lorvantine->pid, environment));
        // The program writes its lines as soon as it sees a selection: a log that stays as it was
        // after its bubble was clicked is not the program's, and would fail every application.
        if (results.back().pressedBubble() && !EndToEndProbeSupport::logGrew(environment.logPath, logOffset)) {
            EndToEndProbeSupport::reportSilentLog(environment.logPath);
            return 2;
        }
        printE2EResult(results.back());
    }
    const bool written = writeReport(results, environment);
    // A failed step is a failed test: the status says so to whoever runs the probe (a script, CI).
    for (const E2EResult& result : results)
        if (!result.passed())
            return 1;
    return written ? 0 : 1;
}

} // namespace lorvantine::EndToEndProbeRunner
