#include "SimDesktop/Model/SimFixtureLoader.h"

#include "SimDesktopTestSupport.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

TEST(SimWorkspaceVersions, TheSystemAndEveryInstalledApplicationHaveTheFixturesVersion)
{
    auto fixture = SimFixtureLoader::parse(R"({
        "osVersion": "13.6",
        "installed": [{ "bundleID": "com.apple.iBooksX", "name": "Books", "bundlePath": "/Applications/Books.app", "version": "5.2" },
                      { "bundleID": "com.example.Unversioned" },
                      { "bundleID": "com.example.Both", "version": "1.0" }],
        "applications": [{ "bundleID": "com.example.Both", "version": "2.0" },
                         { "bundleID": "com.example.Running", "version": "3.1" }]
    })", "versions.json");
    ASSERT_TRUE(fixture) << fixture.error();
    PortsUnderTest desktop(SimDesktop::create(*fixture));
    WorkspacePort& workspace = *desktop.ports.workspace;

    EXPECT_EQ(workspace.operatingSystemVersion(), (OperatingSystemVersion { 13, 6, 0 }));
    const std::vector<std::pair<std::string, std::optional<std::string>>> cases {
        { "com.apple.iBooksX", "5.2" },        // installed, not running
        { "com.example.Running", "3.1" },     // running, not listed as installed
        { "com.example.Both", "2.0" },        // the running copy's own version
        { "com.example.Unversioned", std::nullopt },
        { "com.example.Absent", std::nullopt },
    };
    for (const auto& [bundleID, version] : cases)
        EXPECT_EQ(workspace.applicationVersion(bundleID), version) << bundleID;

    // Where a bundle lies: a running copy's own path first, then the installed entry's.
    EXPECT_EQ(workspace.applicationPath("com.apple.iBooksX"), "/Applications/Books.app");
    EXPECT_EQ(workspace.applicationPath("com.example.Unversioned"), std::nullopt);
    EXPECT_EQ(workspace.applicationPath("com.example.Absent"), std::nullopt);

    PortsUnderTest plain(SimDesktop::create());
    EXPECT_EQ(plain.ports.workspace->operatingSystemVersion(), (OperatingSystemVersion { 14, 5, 0 }));
}

TEST(SimWorkspaceVersions, MalformedVersionsAndInstalledEntriesAreRefused)
{
    const std::vector<std::pair<std::string, std::string>> cases {
        { R"({"osVersion": "14"})", "bad.json: /osVersion: expected a version such as \"14.5.1\"" },
        { R"({"osVersion": "14.5.1.2"})", "bad.json: /osVersion: expected a version such as \"14.5.1\"" },
        { R"({"osVersion": "14..1"})", "bad.json: /osVersion: expected a version such as \"14.5.1\"" },
        { R"({"osVersion": "fourteen.5"})", "bad.json: /osVersion: expected a version such as \"14.5.1\"" },
        { R"({"osVersion": 14.5})", "bad.json: /osVersion: expected a string, found a number" },
        { R"({"installed": [{"name": "Books"}]})", "bad.json: /installed/0: missing \"bundleID\"" },
        { R"({"installed": [{"bundleID": "a", "pid": 3}]})", "bad.json: /installed/0/pid: unknown key \"pid\"" },
        { R"({"installed": {}})", "bad.json: /installed: expected an array, found an object" },
    };
    for (const auto& [json, message] : cases) {
        auto result = SimFixtureLoader::parse(json, "bad.json");
        ASSERT_FALSE(result) << json;
        EXPECT_EQ(result.error(), message);
    }
}

} // namespace
} // namespace lorvantine
