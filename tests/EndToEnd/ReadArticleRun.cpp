#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ReadArticleRun.h"

namespace lorvantine::test {

ReadArticleRun::ReadArticleRun(const std::string& fixture, const std::string& bundleID, nlohmann::json settings)
    : snapshots(directory / "snapshots")
    , program(options(*this, fixture, bundleID, std::move(settings)))
{
}

// Writes the settings file the child reads as it starts.
ChildProcess::Options ReadArticleRun::options(const ReadArticleRun& run, const std::string& fixture, const std::string& bundleID,
                                              nlohmann::json settings)
{
    settings["Lorvantine.ttsServerURL"] = run.server.baseURL();
    const auto settingsFile = run.directory / "settings.json";
    writeFile(settingsFile, settings.dump());
    return { .program = lorvantineProgram,
             .arguments = { "--read-article", "--app", bundleID },
             .environment = { { "LORVANTINE_DESKTOP", fixture },
                              { "LORVANTINE_AUDIO_OUT", "null" },
                              { "LORVANTINE_DEFAULTS", settingsFile.string() },
                              { "LORVANTINE_SNAPSHOT_DIR", run.snapshots.string() } },
             .directory = run.directory.path() };
}

} // namespace lorvantine::test
