#pragma once

#include "Platform/HttpPort.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lorvantine {

// Asks the update server once per launch whether a newer version has been published and, when
// one has, shows one alert per version that offers to open the download in the browser. It never
// downloads anything itself, and every failure ends the check silently.
//
// Threads: `checkInBackground` from any thread; the answer is read on the HTTP session's queue
// (which holds the checker weakly); the alert, the reminder write and the opening of the URL run
// on the main thread. One check runs at a time per launch; nothing cancels it but the end of the
// process or of the checker.
class UpdateChecker : public std::enable_shared_from_this<UpdateChecker> {
public:
    struct Options {
        // The manifest's address; LORVANTINE_UPDATE_URL replaces it for the shared checker (a
        // loopback test server).
        std::string feedURL = defaultFeedURL;
        // The installed version; none reads as "0.0.0".
        std::optional<std::string> installedVersion;
        // The transport; none: the build's default.
        std::shared_ptr<HttpSession> session;
    };

    static constexpr const char* defaultFeedURL = "https://updates.lorvantine.app/download/latest.json";
    static constexpr const char* remindedKey = "UpdateChecker.lastRemindedVersion";
    // A manifest is a few hundred bytes; anything past this is not one.
    static constexpr size_t maxManifestBytes = 1 << 20;
    // How much of the release notes the alert shows, so that it stays on the screen: longer notes
    // are cut after a whole Character and end in "…". The byte bound keeps out a single Character
    // of endless combining marks.
    static constexpr size_t maxNotesLines = 12;
    static constexpr size_t maxNotesCharacters = 600;
    static constexpr size_t maxNotesBytes = 4096;
    // A version goes into the alert's title and the stored reminder; one longer than this is not
    // a version, and the manifest is taken for a mistyped one.
    static constexpr size_t maxVersionBytes = 64;

    // The one checker of the program: the build's version and the feed the environment names.
    static const std::shared_ptr<UpdateChecker>& shared();
    static std::shared_ptr<UpdateChecker> create(Options options);

    void checkInBackground();

    // True when version `a` is greater than `b`, compared number by number from the left.
    static bool isNewer(std::string_view a, std::string_view b);
    // Whether the checker may fetch or open `url`: https anywhere, http only on this machine.
    static bool isAllowedURL(std::string_view url);

    const std::string& feedURL() const { return m_options.feedURL; }
    std::string installedVersion() const { return m_options.installedVersion.value_or("0.0.0"); }

private:
    explicit UpdateChecker(Options options) : m_options(std::move(options)) { }
    void handleAnswer(const HttpResult& result);
    void presentAlert(const std::string& newVersion, const std::string& current, const std::string& notes,
                      const std::string& downloadURL);

    Options m_options;
};

} // namespace lorvantine
