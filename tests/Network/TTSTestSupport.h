#pragma once

#include "Network/TTSClient.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/HttpPort.h"

#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <vector>

namespace lorvantine::test {

// Installs a manual clock for the test's life, so retry waits pass only when the test moves time.
class ScopedManualClock {
public:
    ScopedManualClock() : m_previous(Clock::install(m_clock)) {}
    ~ScopedManualClock() { Clock::install(m_previous); }
    ManualClock& clock() { return *m_clock; }
    // Moves time on, firing what comes due and letting every exchange it starts finish.
    void advance(double secondsToMove) { Dispatch::advance(*m_clock, seconds(secondsToMove)); }

private:
    std::shared_ptr<ManualClock> m_clock = std::make_shared<ManualClock>();
    std::shared_ptr<Clock> m_previous;
};

// What one `generate` chain or one `requestPart` handed back, collected from the session queue.
class ChainRecorder {
public:
    TTSClient::PartHandler partHandler()
    {
        return [this](TTSPart part) {
            std::lock_guard lock(m_mutex);
            m_parts.push_back(std::move(part));
        };
    }
    TTSClient::DoneHandler doneHandler()
    {
        return [this](std::optional<ErrorValue> error) {
            std::lock_guard lock(m_mutex);
            ++m_doneCount;
            m_error = std::move(error);
        };
    }
    TTSClient::Completion completion()
    {
        return [this](TTSResult result) {
            std::lock_guard lock(m_mutex);
            ++m_doneCount;
            if (result)
                m_parts.push_back(result.value());
            else
                m_error = result.error();
        };
    }

    std::vector<TTSPart> parts() const
    {
        std::lock_guard lock(m_mutex);
        return m_parts;
    }
    int doneCount() const
    {
        std::lock_guard lock(m_mutex);
        return m_doneCount;
    }
    bool isDone() const { return doneCount() > 0; }
    std::optional<ErrorValue> error() const
    {
        std::lock_guard lock(m_mutex);
        return m_error;
    }
    std::vector<std::string> processedTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& part : parts())
            texts.push_back(part.processedText);
        return texts;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<TTSPart> m_parts;
    int m_doneCount = 0;
    std::optional<ErrorValue> m_error;
};

} // namespace lorvantine::test
