#include "CLI/OCRSelectionE2ERunner.h"

#include "Platform/ProcessPort.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Support/Files.h"
#include "Support/Log.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace lorvantine::OCRSelectionE2ERunner {

namespace {

std::string absolutePath(const std::string& path)
{
    std::error_code error;
    auto absolute = std::filesystem::absolute(path, error);
    return error ? path : absolute.string();
}

// Reserves the copy's name, "/tmp/lorvantine-fixture-<milliseconds>.<extension>": the first one
// free from the current millisecond on, created empty and exclusively. A run started in the same
// millisecond (another runner, a test beside this one) keeps its copy rather than losing it to
// ours; a link planted at a name is never followed, the next name is taken.
Expected<std::string, std::string> reserveCopyPath(const std::string& source)
{
    std::string extension = std::filesystem::path(source).extension().string();
    if (!extension.empty())
        extension.erase(0, 1);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch());
    for (int64_t next = ms.count(), last = next + 1000; next < last; ++next) {
        const std::string path = "/tmp/lorvantine-fixture-" + std::to_string(next) + "." + (extension.empty() ? "md" : extension);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            ::close(fd);
            return path;
        }
        if (errno != EEXIST)
            return Unexpected(std::string(std::strerror(errno)));
    }
    return Unexpected(std::string("no free name in /tmp"));
}

std::optional<std::string> applicationPath(const std::string& bundleID)
{
    for (const RunningApplication& app : Platform::workspace().runningApplications())
        if (app.bundleIdentifier == bundleID) {
            if (app.bundlePath)
                return app.bundlePath;
            break;
        }
    return Platform::workspace().applicationPath(bundleID);
}

} // namespace

std::string stageFixtureAsTemp(const std::string& source)
{
    const std::string absolute = absolutePath(source);
    std::error_code error;
    if (!std::filesystem::is_regular_file(absolute, error))
        return absolute;
    auto reserved = reserveCopyPath(absolute);
    const std::string copy = reserved ? *reserved : std::string();
    std::string failure = reserved ? "" : reserved.error();
    if (failure.empty()) {
        auto bytes = Files::readInputFile(absolute);
        if (!bytes)
            failure = bytes.error().message;
        else if (auto written = Files::writeNoFollow(copy, *bytes); !written)
            failure = written.error().message;
        if (!failure.empty())
            std::filesystem::remove(copy, error);
    }
    if (!failure.empty()) {
        Log::line("⚠️  fixture 复制失败 (" + failure + ") — 用原路径");
        return absolute;
    }
    Log::line("📄 fixture 复制到 " + copy);
    return copy;
}

bool launchWithFixture(const std::string& bundleID, const std::string& fixture)
{
    const std::string path = absolutePath(fixture);
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        Log::line("❌ fixture 不存在: " + path);
        return false;
    }
    auto application = applicationPath(bundleID);
    if (!application) {
        Log::line("❌ 找不到 " + bundleID + " 的应用路径");
        return false;
    }
    auto outcome = Platform::processes().run("/usr/bin/open", { "-a", *application, path });
    return outcome && outcome->exitStatus == 0;
}

} // namespace lorvantine::OCRSelectionE2ERunner
