#pragma once

#include "EndToEnd/ControlledApplication.h"
#include "EndToEnd/ProgramScreen.h"

#include "Platform/Toolkit/LocalizedStrings.h"
#include "TestSupport/ScratchDirectory.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace lorvantine::test {

// The program in application mode as a person finds it: its windows, the menu bar's item and
// its popover, the preferences opened from there.

using WindowTest = std::function<bool(const nlohmann::json&)>;

inline WindowTest titled(const char* key, const char* comment)
{
    const std::string title = LocalizedStrings::string(key, comment);
    return [title](const nlohmann::json& w) { return w.value("title", "") == title; };
}

inline WindowTest titled(std::string title)
{
    return [title = std::move(title)](const nlohmann::json& w) { return w.value("title", "") == title; };
}

inline WindowTest atLayer(int layer)
{
    return [layer](const nlohmann::json& w) { return w.value("layer", 0) == layer; };
}

inline int countOf(const std::vector<nlohmann::json>& windows, const WindowTest& test)
{
    return static_cast<int>(std::count_if(windows.begin(), windows.end(), test));
}

inline std::optional<nlohmann::json> firstOf(const std::vector<nlohmann::json>& windows, const WindowTest& test)
{
    auto found = std::find_if(windows.begin(), windows.end(), test);
    return found == windows.end() ? std::nullopt : std::optional(*found);
}

inline std::string clickLine(const nlohmann::json& window, double x, double y)
{
    return "click " + std::to_string(window["bounds"][0].get<double>() + x) + " " + std::to_string(window["bounds"][1].get<double>() + y);
}

// The program on the demo desktop (which `desktop` may change first), past onboarding, with
// Input Monitoring as `inputMonitoring` says; its settings in `settings`, written from
// `storedSettings` unless `keptSettings` names a file of an earlier run to start on as it is.
struct ShellRun {
    struct Options {
        std::string inputMonitoring = "granted";
        nlohmann::json storedSettings = { { "Lorvantine.hasCompletedOnboarding", true } };
        std::optional<std::filesystem::path> keptSettings;
        // Where the update check asks; by default nowhere that answers.
        std::optional<std::string> updateURL;
        std::function<void(nlohmann::json&)> desktop;
    };

    explicit ShellRun(const std::string& inputMonitoring) : ShellRun(Options { .inputMonitoring = inputMonitoring }) { }
    explicit ShellRun(const Options& options)
        : settings(options.keptSettings.value_or(directory / "settings.json"))
        , app(directory.path(), {}, environment(options))
    {
    }

    ScratchDirectory directory;
    std::filesystem::path settings;
    ControlledApplication app;

    // The menu-bar item's click, then a click on the popover at (x, y) from its top-left corner.
    std::string clickInPopover(double x, double y)
    {
        auto item = firstOf(windowsWhen(app, [](const auto& all) { return countOf(all, atLayer(25)) == 1; }), atLayer(25));
        if (!item)
            return "no status item";
        app.command(clickLine(*item, (*item)["bounds"][2].get<double>() / 2, (*item)["bounds"][3].get<double>() / 2));
        auto popover = firstOf(windowsWhen(app, [](const auto& all) { return countOf(all, atLayer(101)) == 1; }), atLayer(101));
        if (!popover)
            return "no popover";
        return app.command(clickLine(*popover, x, y));
    }
    // The preferences through the popover's gear; the window as listed, if it came.
    std::optional<nlohmann::json> openPreferences()
    {
        const auto preferences = titled("prefs.window.title", "Preferences window title");
        if (clickInPopover(292, 28) != "ok")
            return std::nullopt;
        return firstOf(windowsWhen(app, [&](const auto& all) { return countOf(all, preferences) == 1; }), preferences);
    }

private:
    std::map<std::string, std::optional<std::string>> environment(const Options& options)
    {
        auto fixture = nlohmann::json::parse(readFile(std::filesystem::path(LORVANTINE_SOURCE_DIR) / "tests" / "fixtures" / "demo-desktop.json"));
        fixture["inputMonitoring"] = options.inputMonitoring;
        if (options.desktop)
            options.desktop(fixture);
        const auto desktop = directory / "desktop.json";
        writeFile(desktop, fixture.dump());
        const std::string written = options.keptSettings ? readFile(settings) : options.storedSettings.dump();
        auto env = applicationEnvironment(settings, nlohmann::json::parse(written));
        env["LORVANTINE_DESKTOP"] = desktop.string();
        if (options.updateURL)
            env["LORVANTINE_UPDATE_URL"] = *options.updateURL;
        return env;
    }
};

} // namespace lorvantine::test
