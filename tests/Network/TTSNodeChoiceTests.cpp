#include "Network/TTSClient.h"
#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Platform/TimeZone.h"
#include "Preferences/PreferencesModel.h"
#include "TestSupport/ScopedEnvironment.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

TEST(TimeZoneIdentifier, TheTZVariableWinsThenTheSystemFiles)
{
    EXPECT_EQ(TimeZone::identifierFrom("Asia/Shanghai", "Europe/Berlin\n", ""), "Asia/Shanghai");
    EXPECT_EQ(TimeZone::identifierFrom(":Asia/Urumqi", "", ""), "Asia/Urumqi");
    EXPECT_EQ(TimeZone::identifierFrom("/usr/share/zoneinfo/PRC", "", ""), "PRC");
    EXPECT_EQ(TimeZone::identifierFrom("", "Europe/Berlin", ""), "UTC");
    EXPECT_EQ(TimeZone::identifierFrom(std::nullopt, "Europe/Berlin\n", "/usr/share/zoneinfo/Asia/Shanghai"), "Europe/Berlin");
    EXPECT_EQ(TimeZone::identifierFrom(std::nullopt, "  \n", "/usr/share/zoneinfo/Asia/Shanghai"), "Asia/Shanghai");
    EXPECT_EQ(TimeZone::identifierFrom(std::nullopt, "", "../usr/share/zoneinfo/America/New_York"), "America/New_York");
    EXPECT_EQ(TimeZone::identifierFrom(std::nullopt, "", "/etc/somewhere"), "UTC");
}

TEST(TTSNodeChoice, TheSystemTimeZoneDecidesTheNodeOrder)
{
    for (const char* name : {"Asia/Shanghai", "Europe/Berlin"}) {
        test::ScopedEnvironment zone("TZ", name);
        EXPECT_EQ(TTSClient::systemConfiguration().timeZoneIdentifier, name);
    }
}

TEST(TTSNodeChoice, TheUsersServerAddressReplacesTheDefaultNodeOnly)
{
    auto store = std::make_shared<InMemoryUserDefaults>();
    PreferencesModel::ScopedDefaults scoped(store);

    EXPECT_EQ(TTSClient::usBaseURL(), "http://127.0.0.1:8880");
    EXPECT_EQ(TTSClient::cnBaseURL(), "http://127.0.0.1:8443");

    store->set(PreferencesModel::Key::ttsServerURL, " http://speech.example:9000 \n");
    EXPECT_EQ(TTSClient::usBaseURL(), "http://speech.example:9000");
    EXPECT_EQ(TTSClient::cnBaseURL(), "http://127.0.0.1:8443");
    TTSClient::Configuration configuration = TTSClient::systemConfiguration();
    EXPECT_EQ(configuration.usBaseURL, "http://speech.example:9000");
    EXPECT_EQ(configuration.cnBaseURL, "http://127.0.0.1:8443");

    // A cleared field is no address.
    store->set(PreferencesModel::Key::ttsServerURL, "   ");
    EXPECT_EQ(TTSClient::usBaseURL(), "http://127.0.0.1:8880");
}

TEST(TTSNodeChoice, AServerThePersonChoseIsTheOnlyNodeInEveryTimeZone)
{
    auto store = std::make_shared<InMemoryUserDefaults>();
    PreferencesModel::ScopedDefaults scoped(store);
    test::ScopedEnvironment zone("TZ", "Asia/Shanghai");

    // Nothing chosen: the second node first, the default node behind it.
    auto builtIn = TTSClient::make("af_heart");
    EXPECT_EQ(builtIn->primaryURL(), "http://127.0.0.1:8443");
    EXPECT_EQ(builtIn->fallbackURL(), "http://127.0.0.1:8880");

    store->set(PreferencesModel::Key::ttsServerURL, "http://speech.example:9000");
    for (const char* name : { "Asia/Shanghai", "PRC", "Europe/Berlin" }) {
        test::ScopedEnvironment other("TZ", name);
        auto chosen = TTSClient::make("af_heart");
        EXPECT_EQ(chosen->primaryURL(), "http://speech.example:9000") << name;
        EXPECT_EQ(chosen->fallbackURL(), std::nullopt) << name;
    }
}

} // namespace
} // namespace lorvantine
