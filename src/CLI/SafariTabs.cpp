#include "CLI/SafariTabs.h"

#include "Platform/ProcessPort.h"
#include "Platform/Services.h"
#include "Support/Text.h"

namespace lorvantine::SafariTabs {

Expected<void, std::string> open(const std::string& url)
{
    auto outcome = Platform::processes().run("/usr/bin/open", { "-a", "Safari", url });
    if (!outcome)
        return Unexpected<std::string>(outcome.error());
    if (outcome->exitStatus != 0) {
        std::string said = Text::trimmingWhitespacesAndNewlines(outcome->standardError);
        return Unexpected<std::string>(said.empty() ? "open ended with status " + std::to_string(outcome->exitStatus) : said);
    }
    return {};
}

const std::string& closeTabScript()
{
    static const std::string script = "tell application \"System Events\"\n"
                                      "    tell process \"Safari\"\n"
                                      "        keystroke \"w\" using command down\n"
                                      "    end tell\n"
                                      "end tell";
    return script;
}

const std::string& oneLineCloseTabScript()
{
    static const std::string script
        = "tell application \"System Events\" to tell process \"Safari\" to keystroke \"w\" using command down";
    return script;
}

void closeFrontTab(const std::string& script)
{
    [[maybe_unused]] auto outcome = Platform::processes().run(
        "/usr/bin/osascript", { "-e", "tell application id \"com.apple.Safari\" to activate", "-e", script });
}

} // namespace lorvantine::SafariTabs
