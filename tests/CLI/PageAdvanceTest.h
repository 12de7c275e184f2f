#pragma once

#include "CLI/CLIRouter.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/ManualClockTest.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace lorvantine {

// What a page turn or a screen scroll handed to its completion.
struct PageOutcome {
    int calls = 0;
    bool onMainThread = true;
    std::optional<std::vector<ArticleParagraph>> paragraphs;
};

// A desktop of its own and a manual clock on which the main thread's waits (the key presses of a
// page advance) move time by themselves.
class PageAdvanceTest : public ManualClockTest {
protected:
    void SetUp() override
    {
        ManualClockTest::SetUp();
        clock->setMainThreadSleepsAdvance(true);
    }

    void use(const SimFixture& fixture)
    {
        desktop = SimDesktop::create(fixture);
        services.emplace(desktop->services());
    }

    // Starts an advance with a completion that records what it got, then lets time run until the
    // completion has come (at most 20 s of the clock) and a second longer.
    PageOutcome await(const std::function<void(CLIRouter::PageCompletion)>& start)
    {
        auto outcome = std::make_shared<PageOutcome>();
        start([outcome](std::optional<std::vector<ArticleParagraph>> paragraphs) {
            ++outcome->calls;
            outcome->onMainThread = outcome->onMainThread && RunLoop::isMainThread();
            outcome->paragraphs = std::move(paragraphs);
        });
        for (int step = 0; step < 200 && outcome->calls == 0; ++step)
            Dispatch::advance(*clock, seconds(0.1));
        Dispatch::advance(*clock, seconds(1));
        return *outcome;
    }

    std::shared_ptr<SimDesktop> desktop;
    std::optional<Platform::ScopedServices> services;
};

} // namespace lorvantine
