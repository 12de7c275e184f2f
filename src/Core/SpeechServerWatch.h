#pragma once

#include "Platform/Dispatch/Clock.h"
#include "Support/ErrorValue.h"

#include <cstdint>
#include <mutex>
#include <optional>

namespace lorvantine {

// Tells a reading when its speech server is as good as gone: three paragraphs in a row lost
// because the server could not be reached, or three minutes in which every attempt to reach it
// failed (a server that accepts and never answers costs minutes per paragraph, so the paragraph
// count alone comes too late). Answers of any kind, and errors the server itself sent, show it
// reachable.
//
// Threads: any; the reading session feeds it from the speech client's queue and asks it from
// the main thread. Holds no callbacks: the session schedules the check of a run of failures
// and gives up itself.
class SpeechServerWatch {
public:
    static constexpr int paragraphsInARow = 3;
    static constexpr Duration failingSpan = seconds(180);

    // A run of attempts that all failed to reach the server.
    struct FailureRun {
        std::uint64_t number = 0;
        TimePoint since {};
    };

    // Lost because the server could not be reached (not cancelled, not an answer too long).
    static bool meansUnreachable(const ErrorValue& error);

    // A new reading: nothing counted.
    void reset();
    // The server answered.
    void answered();
    // Generation is waiting for playback: no attempt is being made, so time does not count.
    void paused();
    // One attempt, sent at `sentAt`, failed. Answers the run this attempt begins, whose end the
    // caller checks at `since + failingSpan` with `isFailingSince`; none when it continues one
    // (or does not count).
    std::optional<FailureRun> attemptFailed(const ErrorValue& error, TimePoint sentAt);
    // True when `run` has gone on, attempts failing and nothing answered, since it began.
    bool isStillFailing(std::uint64_t run) const;
    // A paragraph's speech ended, with its error if it failed. True exactly when this is the
    // `paragraphsInARow`-th lost in a row.
    bool paragraphEnded(const std::optional<ErrorValue>& error);
    // The failure that last counted, for the message of a give-up.
    ErrorValue lastFailure() const;

private:
    mutable std::mutex m_mutex;
    int m_lostInRow = 0;
    std::optional<FailureRun> m_run;
    std::uint64_t m_runs = 0;
    ErrorValue m_lastFailure;
};

} // namespace lorvantine
