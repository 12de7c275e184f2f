#pragma once

#include "CLI/CLIRouter.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/ManualClockTest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// What one run of a command through the router left: its status and its diagnostic lines (the
// router's permission line taken off the front).
struct CommandRun {
    int status = -1;
    std::vector<std::string> lines;
    std::string standardOutput;

    bool has(const std::string& line) const { return std::find(lines.begin(), lines.end(), line) != lines.end(); }
    // The lines from the first that equals `first`, `count` of them (fewer at the end).
    std::vector<std::string> from(const std::string& first, size_t count) const
    {
        auto it = std::find(lines.begin(), lines.end(), first);
        std::vector<std::string> part;
        for (; it != lines.end() && part.size() < count; ++it)
            part.push_back(*it);
        return part;
    }
    size_t countContaining(const std::string& needle) const
    {
        return static_cast<size_t>(std::count_if(lines.begin(), lines.end(),
                                                 [&](const std::string& l) { return l.find(needle) != std::string::npos; }));
    }
};

// Runs the one-shot diagnostics in process, through the router, on a desktop of the test's
// choosing and a manual clock that the commands' sleeps on the main thread move by themselves.
class DiagnosticCommandTest : public ManualClockTest {
protected:
    void SetUp() override
    {
        ManualClockTest::SetUp();
        clock->setMainThreadSleepsAdvance(true);
    }
    void TearDown() override
    {
        services.reset();
        ManualClockTest::TearDown();
    }

    // Installs `fixture`'s desktop; `wrap` may put a decorator in front of its services.
    void use(const SimFixture& fixture, std::function<PlatformServices(PlatformServices)> wrap = {})
    {
        services.reset();
        desktop = SimDesktop::create(fixture);
        PlatformServices base = desktop->services();
        services.emplace(wrap ? wrap(std::move(base)) : std::move(base));
    }

    CommandRun run(std::vector<std::string> arguments, bool captureStandardOutput = false)
    {
        arguments.insert(arguments.begin(), "lorvantine");
        CommandRun result;
        Log::Capture log;
        if (captureStandardOutput)
            ::testing::internal::CaptureStdout();
        result.status = CLIRouter::route(arguments);
        if (captureStandardOutput)
            result.standardOutput = ::testing::internal::GetCapturedStdout();
        result.lines = log.lines();
        EXPECT_FALSE(result.lines.empty());
        if (!result.lines.empty() && result.lines.front() == "✅ 辅助功能权限已授权")
            result.lines.erase(result.lines.begin());
        return result;
    }

    std::shared_ptr<SimDesktop> desktop;
    std::optional<Platform::ScopedServices> services;
};

} // namespace lorvantine
