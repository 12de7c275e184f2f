#pragma once

#include "Platform/AXTypes.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

struct RunningApplication {
    ProcessID pid = 0;
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    std::optional<std::string> executableName;
    std::optional<std::string> bundlePath;
    std::optional<std::string> bundleVersion;
    bool isActive = false;
    bool isTerminated = false;
    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

// The version of the operating system, as the platform reports it ("14.5.0").
struct OperatingSystemVersion {
    int majorVersion = 0;
    int minorVersion = 0;
    int patchVersion = 0;
    friend bool operator==(const OperatingSystemVersion&, const OperatingSystemVersion&) = default;
};

// Running applications, activation and AppleScript: the workspace as the program drives it.
class WorkspacePort {
public:
    virtual ~WorkspacePort() = default;

    // In the workspace's own order.
    virtual std::vector<RunningApplication> runningApplications() = 0;
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    enum class ActivationOptions { none, allWindows };
    virtual bool activate(ProcessID pid, ActivationOptions options) = 0;
    virtual bool terminate(ProcessID pid) = 0;

    // Runs an AppleScript source in process. Returns the script's result as text, or an error
    // message in `error` (empty on success).
    virtual std::optional<std::string> runAppleScript(const std::string& source, std::string& error) = 0;

    // The version of the operating system the session runs.
    virtual OperatingSystemVersion operatingSystemVersion() = 0;
    // The short version ("CFBundleShortVersionString") of the installed application bundle with
    // `bundleID`, running or not; none when no such application is installed or it has no version.
    virtual std::optional<std::string> applicationVersion(const std::string& bundleID) = 0;
    // Where the installed application bundle with `bundleID` lies ("/Applications/X.app"), running
    // or not; none when no such application is installed.
    virtual std::optional<std::string> applicationPath(const std::string& bundleID)
    {
        (void)bundleID;
        return std::nullopt;
    }

    // Calls back (on the main run loop) whenever the frontmost application changes. Returns a
    // token; the callback stays registered until the token is destroyed.
    virtual std::shared_ptr<void> observeActivation(std::function<void(const RunningApplication&)> callback) = 0;

    // Hands `url` to the system's handler for its scheme (the browser, System Settings for
    // "x-apple.systempreferences:"). Answers whether a handler took it; a workspace that opens
    // nothing answers false.
    virtual bool openURL(const std::string& url)
    {
        (void)url;
        return false;
    }
};

} // namespace lorvantine
